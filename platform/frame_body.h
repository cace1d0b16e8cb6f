// One frame's drawing, the same wherever frames are drawn: the window's
// loop, the page, the capture and the benchmark.
#pragma once
#include "platform/gl_window.h"

// Both buffers cleared, the model-view matrix reset, the window's frame
// callback, and the commands flushed to the driver. Pacing, swapping and
// reading back are the caller's.
void DrawFrameBody(GLWindow* window);
