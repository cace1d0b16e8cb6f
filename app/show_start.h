// How every program that draws the show starts: one description of the
// window, one of the run, and nothing set afterwards. The run's settings are
// written here and nowhere else.
#pragma once
#include "platform/frame_timer.h"
#include "platform/gl_window.h"
#include "demo/sequencer.h"

struct ShowSettings {
  int reduceFlashing = 0;  // every flash softened to a faint glow
  // The show's clock; null for the music's, which StartShow then starts:
  // timeline time is what has been heard of the tune.
  ClockSource clock = nullptr;
  ShowEndCallback atEnd = nullptr;  // what the end record does; null: nothing
};

// The OpenGL state that holds for the whole run.
void SetRunGLState();
// The window as described, with the run's OpenGL state: for programs that
// draw parts of the show without starting it. 0 after a failure Create said.
int OpenShowWindow(GLWindow* window, const WindowDesc& desc);
// The window, then the show in it: title, pictures, the show's state from its
// start, the music unless a clock is given, and the clock begun. 1 when it
// runs; 0 after a failure it has reported (the window may be open).
int StartShow(GLWindow* window, const WindowDesc& desc, const ShowSettings& settings);
// The settings alone, the clock begun, for a test that plays part of a show.
void UseShowSettings(const ShowSettings& settings);
// The music has stopped: the show's clock is the monotonic one again.
void StopMusicClock();
