// The desktop program's run: start-up, the message loop's hand-over and the
// one shutdown sequence.
#pragma once
#include "app/launch_options.h"
#include "platform/gl_window.h"

[[noreturn]] void Shutdown(GLWindow* window);
// The body of main: question (unless the options answer it), the show's
// start-up, loop, shutdown. Does not return.
[[noreturn]] void RunProgram(const LaunchOptions& options = LaunchOptions());

// How the process ends. Tests and the capture tool replace it, so reaching the
// end of the show does not take their process with it; it must not return.
typedef void (*ProcessExit)(int code);
extern ProcessExit g_processExit;
