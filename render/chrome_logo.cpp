#include "render/chrome_logo.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>

#include "platform/frame_timer.h"
#include "assets/mesh.h"
#include "assets/textures.h"

enum { kChromeSlot = 14 };

// Taken once for the whole show, so the spin carries on across credits scenes.
uint64_t g_chromeSpinStartMs;
int g_chromeSpinStartSet;

void ResetChromeLogo() {
  g_chromeSpinStartMs = 0;
  g_chromeSpinStartSet = 0;
}

float ChromeSpinAngle(unsigned long long t) { return float(t) * 0.001f * 200.0f; }

void DrawChromeLogo(double eyeZ, double eyeX, double eyeY, int spin, float alpha) {
  if (!g_chromeSpinStartSet) {
    g_chromeSpinStartMs = g_timer.ElapsedMs();
    g_chromeSpinStartSet = 1;
  }
  uint64_t t = g_timer.ElapsedMs() - g_chromeSpinStartMs;

  gluLookAt(eyeX, eyeY, eyeZ, eyeX, eyeY, 0, 0, 1, 0);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glEnable(GL_BLEND);
  glPushMatrix();
  if (spin) {
    float angle = ChromeSpinAngle(t);
    glRotatef(angle, 0, 1, 0);
    glRotatef(angle, 1, 0, 0);
  }
  glBindTexture(GL_TEXTURE_2D, g_textureNames[kChromeSlot]);
  glColor4f(1, 1, 1, alpha);
  // One face normal for all three vertices: each face reflects as a flat facet.
  glBegin(GL_TRIANGLES);
  const Mesh logo = ChromeLogoMesh();
  for (int i = 0; i < logo.triangleCount; ++i) {
    const TriangleRecord& triangle = logo.triangles[i];
    glNormal3fv(triangle.faceNormal);
    for (const MeshVertex& vertex : triangle.vertex) glVertex3fv(&vertex.x);
  }
  glEnd();
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_BLEND);
}
