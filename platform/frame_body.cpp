#include "platform/frame_body.h"

#include <GL/gl.h>

void DrawFrameBody(GLWindow* window) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  window->CallFrameCallback();
  glFlush();
}
