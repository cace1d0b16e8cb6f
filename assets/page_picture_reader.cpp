// The page's stand-in for the PNG reader, with its interface: the browser
// decodes the page's pictures itself (a smaller format than PNG, made when
// the page is built), and the page writes each decoded picture where the
// show opens its PNG, as its width and height (little-endian 32-bit) and
// then its RGBA rows, top row first. libpng is not in the page at all.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/data_file.h"
#include "assets/png_reader.h"

void MyPNGErrorHandler(png_structp, png_const_charp) {
  ShowMessage(MessagePlain, "", "MyPNGErrorHandler");
}

// As on the desktop, the boxes name neither the file nor the fault: stderr does.
static int Refuse(const std::string& path, const char* reason, std::FILE* file) {
  std::fprintf(stderr, "orvi: %s: %s\n", path.c_str(), reason);
  if (file) std::fclose(file);
  return 0;
}

static uint32_t LittleEndian(const unsigned char* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

int ReadPNG(const char* fileName, int* components, uint32_t* width, uint32_t* height,
            unsigned char** pixels) {
  return ReadPNGWithin(fileName, nullptr, nullptr, components, width, height, pixels);
}

int ReadPNGWithin(const char* fileName, PngSizeCheck check, void* user, int* components,
                  uint32_t* width, uint32_t* height, unsigned char** pixels) {
  const std::string path = DataFilePath(fileName);
  const char* why = nullptr;
  std::FILE* file = OpenDataFile(fileName, &why);
  if (!file) return Refuse(path, why, nullptr);
  unsigned char header[8];
  if (std::fread(header, 1, sizeof header, file) != sizeof header)
    return Refuse(path, "shorter than a decoded picture's header", file);
  const uint32_t w = LittleEndian(header), h = LittleEndian(header + 4);
  if (w == 0 || h == 0 || w > kPngMaxDimension || h > kPngMaxDimension)
    return Refuse(path, "a decoded picture of no size or over the largest size", file);
  if (check && !check(w, h, user)) {
    Refuse(path, "picture over its pixel budget", file);
    MyPNGErrorHandler(nullptr, nullptr);
    return 0;
  }
  const size_t bytes = size_t(w) * h * 4;
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(bytes));
  if (!buffer) {
    ShowMessage(MessagePlain, "ReadPNG()", "Out of memory doing malloc()");
    return Refuse(path, "out of memory", file);
  }
  if (std::fread(buffer, 1, bytes, file) != bytes || std::fgetc(file) != EOF) {
    std::free(buffer);
    return Refuse(path, "not the size its header gives", file);
  }
  std::fclose(file);
  *width = w;
  *height = h;
  *components = 4;
  *pixels = buffer;
  return 1;
}
