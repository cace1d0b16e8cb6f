#include "app/lifecycle.h"

#include <GL/gl.h>

#include <cstdlib>

#include "platform/data_folder.h"
#include "platform/frame_timer.h"
#include "platform/message_box.h"
#include "platform/quit_signals.h"
#include "platform/video_start.h"
#include "assets/textures.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "render/screen_quads.h"
#include "demo/sequencer.h"

static void ExitNormally(int code) { std::exit(code); }
ProcessExit g_processExit = ExitNormally;

static void IgnoreKey(int, uint32_t, GLWindow*) {}

void SetRunGLState() {
  glClearColor(0, 0, 0, 1);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  glDisable(GL_LINE_SMOOTH);
  glDisable(GL_LIGHTING);
  // Blending itself is switched on only by the routines that blend.
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

int InitShow(GLWindow* window) {
  window->SetKeyCallback(IgnoreKey);
  window->SetTitle("Orvi: Tonaro");
  SetRunGLState();
  g_showEnd = Shutdown;
  if (!LoadTextures(window->GetPictureScale())) return 0;
  // The blood-cell field, the phone's offset, the three lights normalised,
  // scene -1 and event cursor 0: all of it, so a second show starts clean.
  ResetShow();
  return 1;
}

int Init(int fullscreen, GLWindow* window) {
  if (!window->Create(640, 480, 32, fullscreen, DemoFrame, 100, "Orvi")) return 0;
  if (!InitShow(window)) return 0;
  // A quit asked for while the pictures loaded: no music for a show that ends.
  if (QuitRequested()) return 0;
  if (!StartMusic()) return 0;
  // Timeline time is music time: the clock is what has been heard of the
  // tune, so a stall or a device running fast or slow keeps them together.
  g_clockSource = MusicClockMs;
  return g_timer.Begin() ? 1 : 0;
}

void Shutdown(GLWindow* window) {
  BASS_Stop();
  BASS_Free();
  if (g_clockSource == MusicClockMs) g_clockSource = MonotonicClockMs;
  g_timer.End();
  if (window) {
    window->Destroy();
    delete window;
  }
  g_processExit(0);
  std::abort();  // g_processExit never returns
}

// The same shutdown, with nothing of the window left to release.
static void EndWithoutDisplay() {
  GLWindow* window = g_window;
  if (window) window->Abandon();
  Shutdown(window);
}

void RunProgram(const LaunchOptions& options) {
  OnDisplayLost(EndWithoutDisplay);
  UseDataBesideProgram(g_textureFiles, kTextureSlotCount);
  g_reduceFlashing = options.reduceFlashing;
  GLWindow* window = new GLWindow();
  window->SetOptions(options.window);
  int fullscreen = options.fullscreen;
  // Video first, so the box and the window share one display connection. A
  // box on a connection of its own (X11 draws it from a forked child) can be
  // the display's last client as it closes: the X server then resets and
  // refuses the window's connection. Where video cannot start, Create says so.
  if (!options.windowed && !options.fullscreen && StartVideo()) {
    fullscreen = ShowMessage(MessageQuestion, "Orvi: Tonaro", "Go fullscreen?");
  }
  if (QuitRequested()) Shutdown(window);
  if (Init(fullscreen, window))
    window->Run();
  else
    ShowMessage(MessageError, "main()", "Init() failure!");
  Shutdown(window);
}
