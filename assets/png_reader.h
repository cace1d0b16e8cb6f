// Decodes one 8-bit, non-interlaced RGB or RGBA PNG file into a tightly packed
// buffer, top row first.
#pragma once
#include <png.h>

#include <cstdint>

// Largest width or height accepted: refuses decompression bombs before any
// large allocation.
enum { kPngMaxDimension = 8192 };

// On success the caller owns *pixels and releases it with free().
int ReadPNG(const char* fileName, int* components, uint32_t* width, uint32_t* height,
            unsigned char** pixels);

// libpng's warning callback; the error callback shows the same box first.
void MyPNGErrorHandler(png_structp png, png_const_charp message);
