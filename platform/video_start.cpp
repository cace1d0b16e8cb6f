#include "platform/video_start.h"

#include <SDL2/SDL.h>

#include <cstdio>

#include "platform/quit_signals.h"

static int DisplayNamed() {
  const char* x11 = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

int StartVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return 1;
  // The class name window managers group and match by (X11 reads it when
  // video starts).
  SDL_setenv("SDL_VIDEO_X11_WMCLASS", "Orvi", 1);
  const Uint32 giveUpAt = SDL_GetTicks() + 1000;
  for (;;) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return 1;
    if (!DisplayNamed() || QuitRequested() || SDL_TICKS_PASSED(SDL_GetTicks(), giveUpAt)) break;
    SDL_Delay(50);
  }
  std::fprintf(stderr, "orvi: SDL_InitSubSystem(SDL_INIT_VIDEO): %s\n", SDL_GetError());
  return 0;
}
