#include "capture/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>

// The caller reports a failure itself, with the errno of the write that
// failed: keep it, and keep libpng quiet.
static void KeepErrno(png_structp png, png_const_charp) {
  if (errno == 0) errno = EIO;
  png_longjmp(png, 1);
}
static void Quiet(png_structp, png_const_charp) {}

bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  errno = 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, KeepErrno, Quiet);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    const int failure = info ? errno : ENOMEM;
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    errno = failure;
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = height - 1; y >= 0; --y)  // PNG rows run top first
    png_write_row(png, const_cast<png_bytep>(&rgb[size_t(y) * width * 3]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}
