#include "platform/video_start.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/message_box.h"
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
  std::fprintf(stderr, "%s: the display went away; the show ends\n", g_programName);
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

// Only the drivers of the displays named are tried, unless the caller chose:
// a Wayland library asked for a display that is not there fills stderr with
// its own complaints on every try.
static void TryTheDisplaysNamed() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
  const char* x11 = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  const bool hasX11 = x11 && *x11, hasWayland = wayland && *wayland;
  if (hasX11 != hasWayland)
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, hasX11 ? "x11" : "wayland", SDL_HINT_DEFAULT);
#endif
}

// Why video did not start, once: the question's attempt and the window's
// would otherwise say it twice.
static void SayWhyNoVideo() {
  static int said = 0;
  if (said++) return;
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
  // No DISPLAY here: the desktop is the system's own.
  std::fprintf(stderr, "%s: video did not start (SDL: %s)\n", g_programName, SDL_GetError());
  return;
#endif
  const char* x11 = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  if (!DisplayNamed()) {
    std::fprintf(stderr, "%s: no display to show on: neither DISPLAY nor WAYLAND_DISPLAY is set\n",
                 g_programName);
    return;
  }
  std::string named;
  if (x11 && *x11) named = std::string("DISPLAY=") + x11;
  if (wayland && *wayland) named += (named.empty() ? "WAYLAND_DISPLAY=" : ", WAYLAND_DISPLAY=") + std::string(wayland);
  std::fprintf(stderr, "%s: the display %s did not take the connection (SDL: %s)\n", g_programName,
               named.c_str(), SDL_GetError());
}

int StartVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return 1;
  // The class name window managers group and match by (X11 reads it when
  // video starts).
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", "Orvi", 1);
  TryTheDisplaysNamed();
  const Uint32 giveUpAt = SDL_GetTicks() + 1000;
  for (;;) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
      if (VideoDriverIsUsable()) {
        WatchTheDisplay();
        return 1;
      }
      SDL_SetError("SDL fell back to its %s driver, which shows nothing", SDL_GetCurrentVideoDriver());
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    if (!DisplayNamed() || QuitRequested() || SDL_TICKS_PASSED(SDL_GetTicks(), giveUpAt)) break;
    SDL_Delay(50);
  }
  SayWhyNoVideo();
  return 0;
}
