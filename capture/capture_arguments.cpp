#include "capture/capture_arguments.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/printable_text.h"
#include "app/number_arguments.h"
#include "capture/encoder_pipe.h"
#include "demo/timeline.h"

const char* const kCaptureUsage =
    "usage: orvi-capture [options]   (reads data/ from the current folder, else beside itself)\n"
    "Renders the show offscreen at a fixed time step and writes it with its music.\n"
    "  -o, --output PATH   the video file (default orvi-tonaro.mp4; .mp4, .m4v, .mov or\n"
    "                      .mkv), - for a fragmented MP4 on standard output, or with\n"
    "                      --png the folder for frame-NNNNN.png files and tune.wav\n"
    "      --png           write a PNG sequence instead of a video\n"
    "      --fps N         frames per second, 1 to 1000 (default 60)\n"
    "      --size WxH      frame size, 16 to 8192 a side, even for a video (default\n"
    "                      640x480); the 4:3 picture is centred between black bars\n"
    "      --stretch       fill the whole frame with the picture instead\n"
    "      --from S        start at S seconds of the show (default 0)\n"
    "      --to S          stop at S seconds (default: the show's end, 67 s)\n"
    "      --msaa N        multisample anti-aliasing with N samples, 0 to 32 (default 8;\n"
    "                      0 draws the frames exactly as the reference frames)\n"
    "      --reduce-flashing  the show with every flash softened to a faint glow\n"
    "      --stats         print the time to draw a frame, per scene\n"
    "  -h, --help          this text\n"
    "      --version       the program's version\n"
    "A signal (INT, TERM, HUP, QUIT, PIPE, XFSZ) stops it and removes what it was writing.\n";

namespace {

// One option with its value; returns why the value is refused, or "".
std::string TakeValue(const std::string& a, const char* v, const char* range, bool* toGiven,
                      CaptureSettings* settings) {
  const double showSeconds = double(NthEventMs(EventEnd, 0)) / 1000;
  const std::string quoted = "'" + Printable(v) + "'";
  CaptureOptions& options = settings->options;
  if (a == "-o" || a == "--output") {
    if (!*v) return a + ": the path is empty";
    settings->output = v;
  } else if (a == "--fps") {
    long fps = 0;
    if (!ParseWholeNumber(v, &fps)) return "--fps: " + quoted + " is not a whole number";
    if (fps < 1 || fps > 1000) return "--fps: " + quoted + " is not between 1 and 1000";
    options.fps = int(fps);
  } else if (a == "--size") {
    const char* x = std::strchr(v, 'x');
    long w = 0, h = 0;
    if (!x || !ParseWholeNumber(std::string(v, x).c_str(), &w) || !ParseWholeNumber(x + 1, &h))
      return "--size: " + quoted + " is not WIDTHxHEIGHT in whole pixels";
    if (w < 16 || w > 8192 || h < 16 || h > 8192)
      return "--size: " + quoted + " has a side outside 16 to 8192";
    options.width = int(w);
    options.height = int(h);
  } else if (a == "--msaa") {
    long samples = 0;
    if (!ParseWholeNumber(v, &samples)) return "--msaa: " + quoted + " is not a whole number";
    if (samples < 0 || samples > 32) return "--msaa: " + quoted + " is not between 0 and 32";
    options.msaa = int(samples);
  } else {
    double seconds = 0;
    if (!ParseDecimal(v, &seconds)) return a + ": " + quoted + " is not a decimal number";
    if (seconds < 0 || seconds > showSeconds) return a + ": " + quoted + " is not " + range;
    (a == "--from" ? options.fromSeconds : options.toSeconds) = seconds;
    *toGiven |= a == "--to";
  }
  return "";
}

// The settings as a whole: a range in order and holding a frame, a video
// H.264 can encode, in a container named by its extension.
std::string CheckTogether(const CaptureSettings& settings) {
  const CaptureOptions& options = settings.options;
  if (settings.png && settings.output == "-")
    return "--png writes files into a folder, not to standard output";
  if (!settings.png) {
    const std::string refusal = CheckContainer(settings.output);
    if (!refusal.empty()) return refusal;
    if (options.width % 2 || options.height % 2)
      return "--size: " + std::to_string(options.width) + "x" + std::to_string(options.height) +
             " has an odd side; a video needs even ones (--png takes any)";
  }
  char why[96];
  if (!(options.fromSeconds < options.toSeconds)) {
    std::snprintf(why, sizeof why, "--from (%g s) must come before --to (%g s)",
                  options.fromSeconds, options.toSeconds);
    return why;
  }
  if (LastFrame(options) <= FirstFrame(options)) {
    std::snprintf(why, sizeof why, "--from %g to --to %g holds no frame at --fps %d",
                  options.fromSeconds, options.toSeconds, options.fps);
    return why;
  }
  return "";
}

}  // namespace

std::string ParseCaptureArguments(int argc, char** argv, CaptureSettings* settings) {
  const double showSeconds = double(NthEventMs(EventEnd, 0)) / 1000;
  char range[64];
  std::snprintf(range, sizeof range, "between 0 and %g (the show's length in seconds)",
                showSeconds);
  bool toGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kCaptureUsage, stdout);
      std::exit(0);
    }
    if (a == "--version") {
      std::puts("orvi-capture " ORVI_VERSION);
      std::exit(0);
    }
    if (a == "--png" || a == "--stats") {
      (a == "--png" ? settings->png : settings->stats) = true;
      continue;
    }
    if (a == "--stretch") {
      settings->options.stretch = 1;
      continue;
    }
    if (a == "--reduce-flashing") {
      settings->options.reduceFlashing = 1;
      continue;
    }
    const bool takesValue = a == "-o" || a == "--output" || a == "--fps" || a == "--size" ||
                            a == "--msaa" || a == "--from" || a == "--to";
    if (!takesValue) return "unknown option '" + Printable(a) + "'";
    if (i + 1 >= argc) return a + " needs a value";
    const std::string why = TakeValue(a, argv[++i], range, &toGiven, settings);
    if (!why.empty()) return why;
  }
  if (!toGiven) settings->options.toSeconds = showSeconds;
  return CheckTogether(*settings);
}
