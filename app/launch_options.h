// The command line: how to start the show without asking, and how to draw it.
#pragma once
#include <string>

#include "platform/gl_window.h"

// Zero is each one's default, as in the window's own options it holds.
struct LaunchOptions {
  int windowed = 0;      // start in a window without asking
  int fullscreen = 0;    // start on the whole desktop without asking
  int reduceFlashing = 0;  // every flash softened to a faint glow
  int help = 0;
  int version = 0;
  WindowOptions window;  // --msaa, --no-vsync, and how the desktop is filled
};

extern const char* const kLaunchUsage;

// 1 when every argument is understood; otherwise 0 with the reason.
int ParseLaunchOptions(int argc, const char* const* argv, LaunchOptions* options,
                       std::string* reason);
// An argument as it can be shown on a terminal: bytes outside printable ASCII,
// and the backslash, as \xNN.
std::string Printable(const std::string& text);
// The project's version, as the build gives it.
const char* OrviVersion();
