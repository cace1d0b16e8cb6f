// Start-up, the message loop's hand-over and the one shutdown sequence.
#pragma once
#include "app/launch_options.h"
#include "platform/gl_window.h"

int Init(int fullscreen, GLWindow* window);
// The steps of Init between the window and the music: title, GL state,
// pictures, scene state. The capture tool runs them without a sound device.
int InitShow(GLWindow* window);
// The OpenGL state that holds for the whole run.
void SetRunGLState();
[[noreturn]] void Shutdown(GLWindow* window);
// The body of main: question (unless the options answer it), Init, loop,
// shutdown. Does not return.
[[noreturn]] void RunProgram(const LaunchOptions& options = LaunchOptions());

// How the process ends. Tests and the capture tool replace it, so reaching the
// end of the show does not take their process with it; it must not return.
typedef void (*ProcessExit)(int code);
extern ProcessExit g_processExit;
