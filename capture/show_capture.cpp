#include "capture/show_capture.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

#include "platform/frame_body.h"
#include "platform/frame_timer.h"
#include "app/show_start.h"
#include "platform/message_box.h"
#include "demo/sequencer.h"
#include "demo/timeline.h"
#include "render/screen_quads.h"
#include "capture/gl_readback.h"

namespace {

uint64_t g_captureNowMs = 0;
uint64_t CaptureClock() { return g_captureNowMs; }

// No one is there to click a box: say it on stderr.
int PrintMessage(MessageKind kind, const char* caption, const char* text) {
  std::fprintf(stderr, "orvi-capture: %s: %s\n", caption, text);
  return kind == MessageQuestion || kind == MessageWarningYesNo ? 0 : 1;
}

// The show's end record finishes the capture instead of the process.
int g_showEnded = 0;
void EndCapture(GLWindow*) { g_showEnded = 1; }

}  // namespace

volatile std::sig_atomic_t g_captureStop = 0;

uint64_t FrameTimeMs(int64_t frame, int fps) { return uint64_t(frame) * 1000u / uint64_t(fps); }

int64_t FirstFrame(const CaptureOptions& o) {
  int64_t n = 0;
  while (FrameTimeMs(n, o.fps) < uint64_t(o.fromSeconds * 1000)) ++n;
  return n;
}

int64_t LastFrame(const CaptureOptions& o) {
  uint64_t endMs = NthEventMs(EventEnd, 0);
  if (o.toSeconds * 1000 < double(endMs)) endMs = uint64_t(o.toSeconds * 1000);
  int64_t n = 0;
  while (FrameTimeMs(n, o.fps) < endMs) ++n;
  return n;
}

GLWindow* OpenCaptureWindow(const CaptureOptions& options) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  SetMessageHook(PrintMessage);
  GLWindow* window = new GLWindow();
  // Offscreen: nothing to wait for, exactly the samples asked, and the
  // frame's size as the desktop the picture is fitted to.
  WindowDesc desc;
  desc.framesPerSecond = options.fps;
  desc.title = "Orvi: Tonaro";
  desc.fullscreen = options.stretch ? FullscreenStretched : FullscreenDesktop;
  desc.samples = options.msaa;
  desc.noVsync = 1;
  desc.desktopWidth = options.width;
  desc.desktopHeight = options.height;
  desc.frameCallback = DemoFrame;
  ShowSettings settings;
  settings.reduceFlashing = options.reduceFlashing;
  settings.clock = CaptureClock;
  settings.atEnd = EndCapture;
  g_captureNowMs = 0;
  g_showEnded = 0;
  if (!StartShow(window, desc, settings)) {
    window->Destroy();
    delete window;
    return nullptr;
  }
  return window;
}

int64_t RunCapture(GLWindow* window, const CaptureOptions& options, FrameSink sink, void* user,
                   SceneTiming* timing) {
  const int64_t first = FirstFrame(options), last = LastFrame(options);
  int64_t kept = 0;
  for (int64_t n = 0; n < last; ++n) {
    if (g_captureStop) return -1;
    g_captureNowMs = FrameTimeMs(n, options.fps);
    if (n < first) {
      StepFrame(window);
      if (g_showEnded) break;
      continue;
    }
    const FrameStart started = StartFrameTiming();
    DrawFrameBody(window);
    glFinish();
    // The frame that met the end record is not part of the show.
    if (g_showEnded) break;
    if (timing && g_scene >= 0) RecordFrame(timing, g_scene, started);
    std::vector<uint8_t> rgb = ReadBackBuffer(options.width, options.height);
    window->SwapBuffers();
    if (!sink(n, g_captureNowMs, g_scene, rgb, user)) return -1;
    ++kept;
  }
  return kept;
}
