#include "app/lifecycle.h"

#include <cstdlib>

#include "platform/data_folder.h"
#include "platform/message_box.h"
#include "platform/quit_signals.h"
#include "platform/video_start.h"
#include "assets/textures.h"
#include "audio/music_player.h"
#include "app/show_start.h"

static void ExitNormally(int code) { std::exit(code); }
ProcessExit g_processExit = ExitNormally;

void Shutdown(GLWindow* window) {
  BASS_Stop();
  BASS_Free();
  StopMusicClock();
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
  GLWindow* window = new GLWindow();
  WindowDesc desc = options.window;
  desc.frameCallback = DemoFrame;
  // Video first, so the box and the window share one display connection. A
  // box on a connection of its own (X11 draws it from a forked child) can be
  // the display's last client as it closes: the X server then resets and
  // refuses the window's connection. Where video cannot start, Create says so.
  if (!options.windowed && desc.fullscreen == NotFullscreen && StartVideo() &&
      ShowMessage(MessageQuestion, "Orvi: Tonaro", "Go fullscreen?"))
    desc.fullscreen = FullscreenModeSwitch;
  if (QuitRequested()) Shutdown(window);
  ShowSettings settings = options.show;
  settings.atEnd = Shutdown;
  if (StartShow(window, desc, settings))
    window->Run();
  else
    ShowMessage(MessageError, "main()", "Init() failure!");
  Shutdown(window);
}
