// Runs the real show offscreen with its clock driven by the frame number, so
// every frame is drawn at its own moment however long it takes.
#pragma once
#include <csignal>
#include <cstdint>
#include <vector>

#include "platform/gl_window.h"
#include "capture/scene_timing.h"

struct CaptureOptions {
  int fps = 60;
  int width = 640;   // the frame's size: the show's 640x480 picture is
  int height = 480;  // fitted into it, centred between black bars
  int stretch = 0;   // fill the frame instead
  double fromSeconds = 0;   // frames before this only move the show on, undrawn
  double toSeconds = 1e9;   // the show's end event stops it sooner
  int msaa = 0;             // multisamples; 0 draws exactly as the reference frames
  int reduceFlashing = 0;   // every flash softened to a faint glow
};

// Set (by a signal handler) to stop RunCapture before its next frame, kept
// or not; it then returns -1.
extern volatile std::sig_atomic_t g_captureStop;

// The moment frame n is drawn at: floor(n * 1000 / fps) ms.
uint64_t FrameTimeMs(int64_t frame, int fps);
// The frames [first, last) that a range keeps; last is the frame at the show's end.
int64_t FirstFrame(const CaptureOptions& options);
int64_t LastFrame(const CaptureOptions& options);

// Receives each kept frame: RGB, bottom row first. Returns false to stop.
typedef bool (*FrameSink)(int64_t frame, uint64_t timeMs, int scene,
                          const std::vector<uint8_t>& rgb, void* user);

// Opens the offscreen window and starts the show as the program does, without a
// sound device. Reports failures on stderr; returns null after one.
GLWindow* OpenCaptureWindow(const CaptureOptions& options);
// Draws frames from 0 and hands the kept ones to the sink. Returns the number
// of frames kept, or -1 if the sink or g_captureStop stopped it. The show's
// end record ends the run before its frame; the window stays open either way.
// With timing, each kept frame's draw is timed.
int64_t RunCapture(GLWindow* window, const CaptureOptions& options, FrameSink sink, void* user,
                   SceneTiming* timing);
