#include "app/launch_options.h"

#include "app/number_arguments.h"
#include "app/printable_text.h"

const char* const kLaunchUsage =
    "usage: orvi [options]   (run from the folder that holds data/)\n"
    "Plays the show; without options it first asks whether to go fullscreen.\n"
    "  --windowed     play in a 640x480 window, without asking\n"
    "  --fullscreen   play on the whole desktop at its own resolution, the 4:3\n"
    "                 picture centred between black bars, without asking\n"
    "  --stretch      play on the whole desktop, the picture filling it\n"
    "  --msaa N       multisample anti-aliasing with N samples (0 = off; default\n"
    "                 4 on a graphics card, off on a software renderer)\n"
    "  --no-vsync     never wait for the display's refresh\n"
    "  --reduce-flashing\n"
    "                 every flash softened to a faint glow (see the warning below)\n"
    "  --version      print the version\n"
    "  -h, --help     this text\n"
    "Hold Escape or close the window to end the show early.\n"
    "\n"
    "Photosensitivity warning: the show flashes white at every scene change, and\n"
    "five times within one second at 6.2-7.2 s (the title, then the cut to the\n"
    "blood cells), more than the guidelines for photosensitive viewers allow.\n"
    "--reduce-flashing plays the same show with every flash a faint glow.\n";

const char* OrviVersion() { return ORVI_VERSION; }

// A whole number from 0 to 16, nothing else; 0 asks for none.
static int ParseSamples(const char* text, int* samples) {
  long value = 0;
  if (!ParseWholeNumber(text, &value) || value < 0 || value > 16) return 0;
  *samples = int(value);
  return 1;
}

int ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* options,
                       std::string* reason) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      options->help = 1;
    } else if (a == "--version") {
      options->version = 1;
    } else if (a == "--windowed") {
      options->windowed = 1;
    } else if (a == "--fullscreen") {
      options->window.fullscreen = FullscreenDesktop;
    } else if (a == "--stretch") {
      options->window.fullscreen = FullscreenStretched;
    } else if (a == "--no-vsync") {
      options->window.noVsync = 1;
    } else if (a == "--reduce-flashing") {
      options->show.reduceFlashing = 1;
    } else if (a == "--msaa") {
      if (i + 1 >= argc) {
        *reason = "--msaa needs a number of samples";
        return 0;
      }
      if (!ParseSamples(argv[++i], &options->window.samples)) {
        *reason = "--msaa takes a whole number from 0 to 16, not '" + Printable(argv[i]) + "'";
        return 0;
      }
    } else {
      *reason = "unknown option '" + Printable(a) + "'";
      return 0;
    }
  }
  if (options->windowed && options->window.fullscreen != NotFullscreen) {
    *reason = "--windowed cannot go with --fullscreen or --stretch";
    return 0;
  }
  return 1;
}
