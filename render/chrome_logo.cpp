#include "render/chrome_logo.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>
#include <vector>

#include "platform/frame_timer.h"
#include "assets/mesh.h"
#include "assets/textures.h"


// Taken once for the whole show, so the spin carries on across credits scenes.
uint64_t g_chromeSpinStartMs;
int g_chromeSpinStartSet;

void ResetChromeLogo() {
  g_chromeSpinStartMs = 0;
  g_chromeSpinStartSet = 0;
}

struct ChromeVertex {
  float nx, ny, nz;
  float x, y, z;
};

// Filled at the first draw; the logo never changes.
static std::vector<ChromeVertex> g_chromeVertices;

static void FacetChromeLogo(const Mesh& logo, ChromeVertex* out) {
  for (int i = 0; i < logo.triangleCount; ++i) {
    const float* n = logo.triangles[i].faceNormal;
    for (const MeshVertex& v : logo.triangles[i].vertex)
      *out++ = ChromeVertex{n[0], n[1], n[2], v.x, v.y, v.z};
  }
}

// Degrees turned t ms after the first call.
static float ChromeSpinAngle(unsigned long long t) { return float(t) * 0.001f * 200.0f; }

void StartChromeSpin() {
  if (!g_chromeSpinStartSet) {
    g_chromeSpinStartMs = g_timer.ElapsedMs();
    g_chromeSpinStartSet = 1;
  }
}

void DrawChromeLogo(double eyeZ, double eyeX, double eyeY, int spin, float alpha) {
  StartChromeSpin();
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
  // One array draw with the values immediate mode would send: each face's
  // normal with all three of its vertices, so each face reflects as a flat facet.
  const Mesh logo = ChromeLogoMesh();
  const size_t count = size_t(logo.triangleCount) * 3;
  if (g_chromeVertices.size() != count) {
    g_chromeVertices.resize(count);
    FacetChromeLogo(logo, g_chromeVertices.data());
  }
  if (count) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glNormalPointer(GL_FLOAT, sizeof(ChromeVertex), &g_chromeVertices[0].nx);
    glVertexPointer(3, GL_FLOAT, sizeof(ChromeVertex), &g_chromeVertices[0].x);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(count));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
  }
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_BLEND);
}
