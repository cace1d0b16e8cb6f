// The page's entry points. main readies the page and returns with the
// program alive; the start screen's Play calls orvi_play with its "Reduce
// flashing" choice, which starts the show as RunProgram does after its
// question, then returns to the browser, which draws the frames.
#include <GL/gl.h>
#include <emscripten.h>

#include "platform/data_folder.h"
#include "platform/frame_timer.h"
#include "platform/message_box.h"
#include "platform/web_page.h"
#include "app/lifecycle.h"
#include "app/show_start.h"
#include "assets/textures.h"
#include "audio/music_player.h"
#include "render/screen_quads.h"
#include "demo/sequencer.h"

static int g_showOn = 0;     // from Play to the show's end
static double g_playedAtMs;  // when Play started the music

// Playing again takes the same canvas, and so the same WebGL context: the
// show's textures must go with the show, not with a process that never ends.
static void EndShow(GLWindow* window) {
  FreeTextures();
  g_showOn = 0;
  Shutdown(window);
}

// The desktop waits for the sound to start before the show's clock begins; a
// page may not wait, so its frames do: sound that has not come by the same
// deadline fails the start as it does there.
static void FrameOnceHeard(GLWindow* window) {
  if (!MusicHeard() && emscripten_get_now() - g_playedAtMs > kMusicStartWaitMs) {
    ShowMessage(MessageError, "Orvi", "Can't play music!");
    ShowMessage(MessageError, "main()", "Init() failure!");
    EndShow(window);
  }
  DemoFrame(window);
}

extern "C" EMSCRIPTEN_KEEPALIVE void orvi_play(int reduceFlashing) {
  // A second Play while a show starts or runs would take its sound and canvas.
  if (g_showOn) return;
  g_showOn = 1;
  GLWindow* window = new GLWindow();
  // No anti-aliasing: WebGL may give none, and a software browser would not
  // hold the frame rate with it. The page is the desktop the picture fills.
  WindowDesc desc;
  desc.fullscreen = FullscreenDesktop;
  desc.largeScreen = PageHasLargePictures();
  desc.frameCallback = FrameOnceHeard;
  ShowSettings settings;
  settings.reduceFlashing = reduceFlashing;
  settings.atEnd = EndShow;
  if (!StartShow(window, desc, settings)) {
    ShowMessage(MessageError, "main()", "Init() failure!");
    EndShow(window);
  }
  g_playedAtMs = emscripten_get_now();
  RunFramesInPage(window, EndShow);
}

// What the page and its test read while the show runs.
extern "C" EMSCRIPTEN_KEEPALIVE double orvi_show_ms() { return double(g_timer.ElapsedMs()); }
extern "C" EMSCRIPTEN_KEEPALIVE double orvi_music_seconds() { return MusicPositionSeconds(); }
extern "C" EMSCRIPTEN_KEEPALIVE int orvi_scene() { return g_scene; }

int main() {
  UseDataBesideProgram(g_textureFiles, kTextureSlotCount);
  ReadyPage();
  g_processExit = EndInPage;
  return 0;
}
