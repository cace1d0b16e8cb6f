#include "assets/png_reader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/message_box.h"

void MyPNGErrorHandler(png_structp, png_const_charp) {
  ShowMessage(MessagePlain, "", "MyPNGErrorHandler");
}

// libpng requires that its error function not return: after the box, control
// goes back to ReadPNG's recovery point.
static void PngErrorExit(png_structp png, png_const_charp message) {
  MyPNGErrorHandler(png, message);
  png_longjmp(png, 1);
}

// The catalogue names files with backslashes.
static std::FILE* OpenPicture(const char* fileName) {
  std::string path(fileName);
  for (char& c : path)
    if (c == '\\') c = '/';
  return std::fopen(path.c_str(), "rb");
}

// Everything that must survive a longjmp lives in this frame's plain locals or
// in the caller's outputs; nothing here has a destructor.
int ReadPNG(const char* fileName, int* components, uint32_t* width, uint32_t* height,
            unsigned char** pixels) {
  std::FILE* file = OpenPicture(fileName);
  if (!file) return 0;

  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorExit, MyPNGErrorHandler);
  if (!png) {
    std::fclose(file);
    return 0;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    std::fclose(file);
    png_destroy_read_struct(&png, nullptr, nullptr);
    return 0;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return 0;
  }
  png_set_user_limits(png, kPngMaxDimension, kPngMaxDimension);
  png_set_chunk_malloc_max(png, 8u << 20);
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);

  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  int bitDepth = png_get_bit_depth(png, info);
  int interlace = png_get_interlace_type(png, info);
  int colorType = png_get_color_type(png, info);

  int count = 0;
  if (bitDepth == 8 && interlace == PNG_INTERLACE_NONE) {
    if (colorType == PNG_COLOR_TYPE_RGB) count = 3;
    if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) count = 4;
  }
  if (count == 0) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return 0;
  }
  *components = count;

  png_bytepp rows = png_get_rows(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  unsigned char* buffer = static_cast<unsigned char*>(std::malloc(rowBytes * *height));
  if (!buffer) {
    ShowMessage(MessagePlain, "ReadPNG()", "Out of memory doing malloc()");
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return 0;
  }
  const size_t packedRow = size_t(*width) * count;
  for (uint32_t i = 0; i < *height; ++i)
    for (size_t j = 0; j < packedRow; ++j) buffer[i * packedRow + j] = rows[i][j];
  *pixels = buffer;

  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return 1;
}
