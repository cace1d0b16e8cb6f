#include "capture/gl_readback.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

std::vector<uint8_t> ReadBackBuffer(int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  auto readBack = [&] {
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
  };
  GLint sampleBuffers = 0;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &sampleBuffers);
  if (!sampleBuffers) return readBack();
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
      !glDeleteFramebuffers || !glDeleteRenderbuffers)
    return readBack();
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
