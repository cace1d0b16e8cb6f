// The command line: how to start the show without asking, and how to draw it.
#pragma once
#include <string>

#include "platform/gl_window.h"
#include "app/show_start.h"

struct LaunchOptions {
  LaunchOptions() { window.samples = ChooseSamples; }
  int windowed = 0;  // start in a window without asking
  int help = 0;
  int version = 0;
  WindowDesc window;  // --fullscreen, --stretch, --msaa, --no-vsync
  ShowSettings show;  // --reduce-flashing
};

extern const char* const kLaunchUsage;

// 1 when every argument is understood; otherwise 0 with the reason.
int ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* options,
                       std::string* reason);
// The project's version, as the build gives it.
const char* OrviVersion();
