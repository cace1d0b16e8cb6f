#include "platform/video_start.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/quit_signals.h"

static int DisplayNamed() {
  const char* x11 = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// With no display SDL falls back to a driver that shows nothing; the show
// would then play unseen. Such a driver serves only when asked for by name
// (tests, the capture tool).
static int VideoDriverIsUsable() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return 0;
  if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return 1;
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  return asked && std::strstr(asked, driver) != nullptr;
}

static void (*g_displayLost)() = nullptr;

void OnDisplayLost(void (*end)()) { g_displayLost = end; }

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
// Xlib's handler for a broken connection: one that returns lets Xlib end the
// process with code 1.
static int DisplayWentAway(void*) {
  std::fprintf(stderr, "orvi: the display went away; the show ends\n");
  if (g_displayLost) g_displayLost();
  return 0;
}

// SDL loads Xlib itself; the handler is set in that same library.
static void WatchTheDisplay() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return;
  void* xlib = SDL_LoadObject("libX11.so.6");
  typedef int (*Handler)(void*);
  typedef Handler (*SetHandler)(Handler);
  if (!xlib) return;
  SetHandler set = reinterpret_cast<SetHandler>(SDL_LoadFunction(xlib, "XSetIOErrorHandler"));
  if (set) set(DisplayWentAway);
}
#else
static void WatchTheDisplay() {}
#endif

int StartVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return 1;
  // The class name window managers group and match by (X11 reads it when
  // video starts).
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", "Orvi", 1);
  const Uint32 giveUpAt = SDL_GetTicks() + 1000;
  for (;;) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
      if (VideoDriverIsUsable()) {
        WatchTheDisplay();
        return 1;
      }
      SDL_SetError("no display took the connection; SDL fell back to its %s driver", SDL_GetCurrentVideoDriver());
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    if (!DisplayNamed() || QuitRequested() || SDL_TICKS_PASSED(SDL_GetTicks(), giveUpAt)) break;
    SDL_Delay(50);
  }
  std::fprintf(stderr, "orvi: SDL_InitSubSystem(SDL_INIT_VIDEO): %s\n", SDL_GetError());
  return 0;
}
