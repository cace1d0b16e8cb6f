// Decodes one 8-bit, non-interlaced RGB or RGBA PNG file into a tightly packed
// buffer, top row first.
#pragma once
#include <png.h>

#include <cstdint>
#include <vector>

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
typedef int (*PngSizeCheck)(uint32_t width, uint32_t height, void* user);
int ReadPNGWithin(const char* fileName, PngSizeCheck check, void* user, int* components,
                  uint32_t* width, uint32_t* height, unsigned char** pixels);

// libpng's warning callback; the error callback shows the same box first.
void MyPNGErrorHandler(png_structp png, png_const_charp message);

// A box ReadPNG would have shown. While a thread has a collector set, its
// reads record their boxes there instead of showing them, so a caller that
// decodes on several threads can show them later, in its own order.
struct PngMessage {
  MessageKind kind;
  const char* caption;
  const char* text;
};
void CollectPngMessages(std::vector<PngMessage>* into);  // null: show at once
