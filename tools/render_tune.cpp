// Renders the embedded tune to a WAV file, so it can be listened to without
// the demo:   render_tune OUTPUT.wav [SECONDS]   (default: the whole song)
#include <libopenmpt/libopenmpt.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audio/music.h"
#include "tools/offline_audio.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: render_tune OUTPUT.wav [SECONDS]\n");
    return 2;
  }
  double seconds = argc == 3 ? std::atof(argv[2]) : 0;
  if (seconds <= 0) {
    openmpt_module* module = openmpt_module_create_from_memory2(
        g_moduleData, g_moduleSize, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    if (!module) return 1;
    seconds = openmpt_module_get_duration_seconds(module);
    openmpt_module_destroy(module);
  }
  auto started = std::chrono::steady_clock::now();
  std::vector<float> tune = RenderTune(0, size_t(std::lround(seconds * 44100)));
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (tune.empty() || !WriteWav(argv[1], tune, 44100)) {
    std::fprintf(stderr, "render_tune: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("wrote %s: %.1f s of music rendered in %.2f s (%.0fx real time)\n", argv[1], seconds,
              took, seconds / took);
  return 0;
}
