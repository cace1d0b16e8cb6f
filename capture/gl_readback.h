// Frames read back from OpenGL, as the display would show them.
#pragma once
#include <cstdint>
#include <vector>

// The back buffer of the current context as 8-bit RGB, bottom row first.
std::vector<uint8_t> ReadBackBuffer(int width, int height);
