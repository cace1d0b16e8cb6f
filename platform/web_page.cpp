#include "platform/web_page.h"

#include <GL/gl.h>
#include <emscripten.h>

#include "platform/frame_body.h"
#include "platform/frame_timer.h"
#include "platform/message_box.h"

static GLWindow* g_pageWindow = nullptr;
static void (*g_pageEnd)(GLWindow*) = nullptr;
static int g_pageLeft = 0;
static int g_framesDrawn = 0;
static uint64_t g_frameShowMs = 0;  // the show's clock as the latest frame began (ms)

EM_JS(void, PageMessage, (int question, const char* caption, const char* text), {
  Module.orviMessage(UTF8ToString(caption), UTF8ToString(text), question);
});
EM_JS(void, PageEnded, (int code), { Module.orviEnded(code); });
EM_JS(void, PageFirstFrame, (), { Module.orviFirstFrame(); });

// The page has no modal box: the text stays on the page, a question is
// answered No (the page asks its own before the show: Play or fullscreen).
static int ShowInPage(MessageKind kind, const char* caption, const char* text) {
  const int question = kind == MessageQuestion || kind == MessageWarningYesNo;
  PageMessage(question, caption, text);
  return question ? 0 : 1;
}

void ReadyPage() { SetMessageHook(ShowInPage); }

int PageHasLargePictures() { return EM_ASM_INT({ return Module.largePictures ? 1 : 0; }); }

extern "C" EMSCRIPTEN_KEEPALIVE void orvi_leave() { g_pageLeft = 1; }
// A hidden page gets no animation frames, while the music plays on: frames
// then come from a timer (a few a second, as browsers allow a hidden page),
// so the show still ends with its music.
extern "C" EMSCRIPTEN_KEEPALIVE void orvi_hidden(int hidden) {
  if (!g_pageWindow) return;
  if (hidden)
    emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, 250);
  else
    emscripten_set_main_loop_timing(EM_TIMING_RAF, 1);
  // The animation frame the loop already waits for never comes to a hidden
  // page: the loop starts over on its new timing.
  emscripten_pause_main_loop();
  emscripten_resume_main_loop();
}
// What moment the picture on the page shows, for its test.
extern "C" EMSCRIPTEN_KEEPALIVE double orvi_frame_ms() { return double(g_frameShowMs); }

static void PageFrame() {
  GLWindow* window = g_pageWindow;
  SDL_Event event;
  int quit = g_pageLeft;
  while (SDL_PollEvent(&event)) {
    if (event.type == SDL_QUIT) quit = 1;
    else window->HandleEvent(event);
  }
  if (quit || window->KeyHeld(KeyEscape)) g_pageEnd(window);
  g_frameShowMs = g_timer.ElapsedMs();
  DrawFrameBody(window);
  if (g_framesDrawn++ == 0) PageFirstFrame();
}

void RunFramesInPage(GLWindow* window, void (*end)(GLWindow* window)) {
  g_pageWindow = window;
  g_pageEnd = end;
  g_pageLeft = 0;
  g_framesDrawn = 0;
  emscripten_set_main_loop(PageFrame, 0, 0);
}

void EndInPage(int code) {
  emscripten_cancel_main_loop();
  g_pageWindow = nullptr;
  PageEnded(code);
  emscripten_exit_with_live_runtime();
}
