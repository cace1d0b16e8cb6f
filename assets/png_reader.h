// Decodes one 8-bit, non-interlaced RGB or RGBA PNG file into a tightly packed
// buffer, top row first.
#pragma once
#include <png.h>

#include <cstdint>

#include "platform/message_box.h"

// Largest width or height accepted, so no picture is over 4096 x 4096 pixels
// (64 MiB as RGBA). libpng refuses a larger header with an error before any
// row is allocated. This bounds one picture's memory; it is no defence
// against a catalogue of large pictures, which the caller budgets in total.
enum { kPngMaxDimension = 4096 };

// On success the caller owns *pixels and releases it with free().
int ReadPNG(const char* fileName, int* components, uint32_t* width, uint32_t* height,
            unsigned char** pixels);

// Called with the header's size once it is read, before anything is
// allocated for the pixels; returning 0 fails the read as a libpng error.
// A null check accepts every size ReadPNG does.
typedef int (*PngSizeCheck)(uint32_t width, uint32_t height, void* user);
int ReadPNGWithin(const char* fileName, PngSizeCheck check, void* user, int* components,
                  uint32_t* width, uint32_t* height, unsigned char** pixels);

// libpng's warning callback; the error callback shows the same box first.
void MyPNGErrorHandler(png_structp png, png_const_charp message);
