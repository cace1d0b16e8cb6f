#include "app/lifecycle.h"

#include <GL/gl.h>

#include <cstdlib>

#include "platform/data_folder.h"
#include "platform/frame_timer.h"
#include "platform/message_box.h"
#include "assets/textures.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/sequencer.h"
#include "render/vector3.h"

static void ExitNormally(int code) { std::exit(code); }
ProcessExit g_processExit = ExitNormally;

void IgnoreKey(int, uint32_t, GLWindow*) {}

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
  if (!LoadTextures()) return 0;
  InitBloodCells();
  g_phoneOffset = Vector3{0, 0, 0};
  Vector3Normalize(g_bloodLight);
  Vector3Normalize(g_phoneLight);
  Vector3Normalize(g_prisonLight);
  g_scene = -1;
  g_eventCursor = 0;
  return 1;
}

int Init(int fullscreen, GLWindow* window) {
  if (!window->Create(640, 480, 32, fullscreen, DemoFrame, 100, "Orvi")) return 0;
  if (!InitShow(window)) return 0;
  if (!StartMusic()) return 0;
  // Nothing between the music's start and the clock's: timeline time is music time.
  return g_timer.Begin() ? 1 : 0;
}

void Shutdown(GLWindow* window) {
  BASS_Stop();
  BASS_Free();
  g_timer.End();
  if (window) {
    window->Destroy();
    delete window;
  }
  g_processExit(0);
  std::abort();  // g_processExit never returns
}

void RunProgram() {
  UseDataBesideProgram();
  GLWindow* window = new GLWindow();
  // Asked before the video subsystem starts: some drivers cannot show a box after.
  int fullscreen = ShowMessage(MessageQuestion, "Orvi: Tonaro", "Go fullscreen?");
  if (Init(fullscreen, window))
    window->Run();
  else
    ShowMessage(MessageError, "main()", "Init() failure!");
  Shutdown(window);
}
