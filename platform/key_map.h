// SDL's key codes translated to the show's virtual-key codes (Escape is 27).
#pragma once
#include <SDL2/SDL.h>

// The virtual-key code of an SDL key, or -1 for a key that has none. Only
// SDLK_ESCAPE gives 27: SDL codes of keys without a character carry a high
// bit, so their low byte must never be taken as a code.
int VirtualKeyCode(SDL_Keycode key);
