#include "assets/png_reader.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/data_file.h"

// The show uses no ancillary chunk; libpng still parses a few it cannot be
// told to skip (tRNS), and none of those is large.
static const png_uint_32 kChunkCacheMax = 16;
static const png_alloc_size_t kChunkMallocMax = 1u << 20;

void MyPNGErrorHandler(png_structp, png_const_charp) {
  ShowMessage(MessagePlain, "", "MyPNGErrorHandler");
}

// The boxes name neither the file nor the fault: stderr does.
static void SayWhy(const char* path, const char* reason) {
  std::fprintf(stderr, "%s: %s: %s\n", g_programName, path, reason);
}

static void PngWarning(png_structp png, png_const_charp message) {
  SayWhy(static_cast<const char*>(png_get_error_ptr(png)), message);
  MyPNGErrorHandler(png, message);
}

// libpng requires that its error function not return: after the box, control
// goes back to ReadPNG's recovery point. The error pointer is the file's path.
static void PngErrorExit(png_structp png, png_const_charp message) {
  SayWhy(static_cast<const char*>(png_get_error_ptr(png)), message);
  MyPNGErrorHandler(png, message);
  png_longjmp(png, 1);
}

// The header read within the show's limits: no side over kPngMaxDimension,
// and text, colour profiles, times and the like skipped unread, so a file
// full of them costs no more than a plain one.
static void ReadHeader(png_structp png, png_infop info, std::FILE* file) {
  png_set_user_limits(png, kPngMaxDimension, kPngMaxDimension);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_chunk_cache_max(png, kChunkCacheMax);
  png_set_chunk_malloc_max(png, kChunkMallocMax);
  png_init_io(png, file);
  png_read_info(png, info);
}

// 3 for 8-bit RGB, 4 for 8-bit RGBA, both without interlacing; 0 for any
// other layout, which the show does not read.
static int ComponentCount(png_structp png, png_infop info) {
  if (png_get_bit_depth(png, info) != 8 || png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)
    return 0;
  const int colorType = png_get_color_type(png, info);
  if (colorType == PNG_COLOR_TYPE_RGB) return 3;
  if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) return 4;
  return 0;
}

int ReadPNG(const char* fileName, int* components, uint32_t* width, uint32_t* height,
            unsigned char** pixels) {
  return ReadPNGWithin(fileName, nullptr, nullptr, components, width, height, pixels);
}

// What a read holds, given back; rows and buffer may be null.
static void Release(png_structp* png, png_infop* info, std::FILE* file, void* rows, void* buffer) {
  std::free(rows);
  std::free(buffer);
  png_destroy_read_struct(png, info, nullptr);
  std::fclose(file);
}

// Everything that must survive a longjmp lives in this frame's plain locals
// (volatile where set after the recovery point) or in the caller's outputs;
// the path, made before it and never changed, is the only one with a
// destructor, and the jump lands in its own frame.
int ReadPNGWithin(const char* fileName, PngSizeCheck check, void* user, int* components,
                  uint32_t* width, uint32_t* height, unsigned char** pixels) {
  const std::string path = DataFilePath(fileName);
  const char* why = nullptr;
  std::FILE* file = OpenDataFile(fileName, &why);
  if (!file) SayWhy(path.c_str(), why);
  if (!file) return 0;

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, const_cast<char*>(path.c_str()),
                                           PngErrorExit, PngWarning);
  if (!png) {
    std::fclose(file);
    return 0;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    Release(&png, nullptr, file, nullptr, nullptr);
    return 0;
  }
  unsigned char* volatile buffer = nullptr;
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    Release(&png, &info, file, rows, buffer);
    return 0;
  }
  ReadHeader(png, info, file);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  const int count = ComponentCount(png, info);
  if (count == 0) {
    SayWhy(path.c_str(), "not an 8-bit, non-interlaced RGB or RGBA picture");
    Release(&png, &info, file, nullptr, nullptr);
    return 0;
  }
  if (check && !check(*width, *height, user)) png_error(png, "picture over its pixel budget");
  *components = count;

  // Rows are decoded straight into the packed buffer: 8-bit RGB and RGBA
  // rows have no padding, so libpng's row length is width * count.
  const size_t rowBytes = png_get_rowbytes(png, info);
  buffer = static_cast<unsigned char*>(std::malloc(rowBytes * *height));
  rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * *height));
  if (!buffer || !rows) {
    ShowMessage(MessagePlain, "ReadPNG()", "Out of memory doing malloc()");
    Release(&png, &info, file, rows, buffer);
    return 0;
  }
  for (uint32_t i = 0; i < *height; ++i) rows[i] = buffer + i * rowBytes;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  *pixels = buffer;
  Release(&png, &info, file, rows, nullptr);
  return 1;
}
