// Renders the embedded tune to a WAV file, so it can be listened to without
// the demo:   render_tune [--channel N] OUTPUT.wav [SECONDS]
// (default: the whole song; --channel renders one of the module's channels
// alone, for looking at the mix).
#include <libopenmpt/libopenmpt.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/number_arguments.h"
#include "audio/music.h"
#include "capture/tune_render.h"
#include "capture/wav_writer.h"

static int Usage(const char* reason) {
  if (reason) std::fprintf(stderr, "render_tune: %s\n", reason);
  std::fprintf(reason ? stderr : stdout,
               "usage: render_tune [--channel N] OUTPUT.wav [SECONDS]\n"
               "  --channel N  render channel N of the module alone (from 0: kick, snare, hats, bass,\n"
               "               pad, stabs, lead, countermelody, crash, effects)\n"
               "  SECONDS      length to render (default: the whole song)\n");
  return reason ? 2 : 0;
}

// A whole number or decimal in [low, high], or -1.
static double Number(const char* text, double low, double high) {
  double v = 0;
  if (!ParseDecimal(text, &v) || !(v >= low && v <= high)) return -1;
  return v;
}

int main(int argc, char** argv) {
  int channel = -1;
  const char* output = nullptr;
  double seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return Usage(nullptr);
    if (!std::strcmp(argv[i], "--channel")) {
      if (i + 1 == argc) return Usage("--channel needs a channel number");
      double v = Number(argv[++i], 0, 63);
      if (v < 0 || v != std::floor(v)) return Usage("--channel takes a channel number from 0");
      channel = int(v);
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return Usage((std::string("unknown option ") + argv[i]).c_str());
    } else if (!output) {
      output = argv[i];
    } else if (seconds == 0) {
      seconds = Number(argv[i], 0.001, 3600);
      if (seconds < 0) return Usage("SECONDS must be a number from 0.001 to 3600");
    } else {
      return Usage("too many arguments");
    }
  }
  if (!output) return Usage("no output file given");
  if (seconds <= 0) {
    openmpt_module* module = openmpt_module_create_from_memory2(
        g_moduleData, g_moduleSize, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    if (!module) return 1;
    seconds = openmpt_module_get_duration_seconds(module);
    openmpt_module_destroy(module);
  }
  auto started = std::chrono::steady_clock::now();
  std::vector<float> tune = RenderTune(0, size_t(std::lround(seconds * 44100)), channel);
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // Written beside the final name and renamed, so no half-written file is left under it.
  std::string partial = std::string(output) + ".partial";
  if (tune.empty() && channel >= 0) {
    std::fprintf(stderr, "render_tune: the module has no channel %d\n", channel);
    return 2;
  }
  if (tune.empty() || !WriteWav(partial, tune, 44100) || std::rename(partial.c_str(), output) != 0) {
    std::remove(partial.c_str());
    std::fprintf(stderr, "render_tune: cannot write %s\n", output);
    return 1;
  }
  std::printf("wrote %s: %.1f s of music rendered in %.2f s (%.0fx real time)\n", output, seconds,
              took, seconds / took);
  return 0;
}
