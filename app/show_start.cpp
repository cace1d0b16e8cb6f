#include "app/show_start.h"

#include <GL/gl.h>

#include "platform/quit_signals.h"
#include "assets/textures.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "render/screen_quads.h"

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

int OpenShowWindow(GLWindow* window, const WindowDesc& desc) {
  if (!window->Create(desc)) return 0;
  SetRunGLState();
  return 1;
}

void UseShowSettings(const ShowSettings& settings) {
  g_reduceFlashing = settings.reduceFlashing ? 1 : 0;
  g_showEnd = settings.atEnd;
  g_clockSource = settings.clock ? settings.clock : MusicClockMs;
  g_timer.Begin();
}

void StopMusicClock() {
  if (g_clockSource == MusicClockMs) g_clockSource = MonotonicClockMs;
}

int StartShow(GLWindow* window, const WindowDesc& desc, const ShowSettings& settings) {
  if (!OpenShowWindow(window, desc)) return 0;
  window->SetTitle("Orvi: Tonaro");
  if (!LoadTextures(window->GetPictureScale())) return 0;
  // The blood-cell field, the phone's offset, the three lights normalised,
  // scene -1 and event cursor 0: all of it, so a second show starts clean.
  ResetShow();
  if (!settings.clock) {
    // A quit asked for while the pictures loaded: no music for a show that ends.
    if (QuitRequested()) return 0;
    if (!StartMusic()) return 0;
  }
  UseShowSettings(settings);
  return 1;
}
