#include "tools/png_writer.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>
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

std::vector<uint8_t> ReadBackBuffer(int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  GLint sampleBuffers = 0;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  if (!sampleBuffers) {
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }
  // Mesa reads a multisampled back buffer without resolving it: resolve it
  // into a plain one first, as the swap would. (Looked up: a system's GL
  // library need not export calls newer than 1.1.)
  static const auto glGenRenderbuffers =
      reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(SDL_GL_GetProcAddress("glGenRenderbuffers"));
  static const auto glBindRenderbuffer =
      reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(SDL_GL_GetProcAddress("glBindRenderbuffer"));
  static const auto glRenderbufferStorage = reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(
      SDL_GL_GetProcAddress("glRenderbufferStorage"));
  static const auto glGenFramebuffers =
      reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(SDL_GL_GetProcAddress("glGenFramebuffers"));
  static const auto glBindFramebuffer =
      reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBindFramebuffer"));
  static const auto glFramebufferRenderbuffer = reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(
      SDL_GL_GetProcAddress("glFramebufferRenderbuffer"));
  static const auto glBlitFramebuffer =
      reinterpret_cast<PFNGLBLITFRAMEBUFFERPROC>(SDL_GL_GetProcAddress("glBlitFramebuffer"));
  static const auto glDeleteFramebuffers = reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(
      SDL_GL_GetProcAddress("glDeleteFramebuffers"));
  static const auto glDeleteRenderbuffers = reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(
      SDL_GL_GetProcAddress("glDeleteRenderbuffers"));
  if (!glGenRenderbuffers || !glBindRenderbuffer || !glRenderbufferStorage || !glGenFramebuffers ||
      !glBindFramebuffer || !glFramebufferRenderbuffer || !glBlitFramebuffer ||
      !glDeleteFramebuffers || !glDeleteRenderbuffers) {
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  }
  GLuint framebuffer = 0, colour = 0;
  glGenRenderbuffers(1, &colour);
  glBindRenderbuffer(GL_RENDERBUFFER, colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
  glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
  glReadBuffer(GL_BACK);
  glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glDeleteFramebuffers(1, &framebuffer);
  glDeleteRenderbuffers(1, &colour);
  glReadBuffer(GL_BACK);
  return rgb;
}
