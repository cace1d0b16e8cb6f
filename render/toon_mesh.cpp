#include "render/toon_mesh.h"

#include <vector>

// One vertex as the arrays hand it to OpenGL: ramp coordinate, then position.
struct ToonVertex {
  float s;
  float x, y, z;
};

// The mesh's vertices in storage order, 3 a triangle, each with its ramp
// coordinate.
static void ShadeToonMesh(const Mesh& mesh, const Vector3& light, const float* normalMatrix,
                   ToonVertex* out) {
  const TriangleRecord* end = mesh.triangles + mesh.triangleCount;
  for (const TriangleRecord* triangle = mesh.triangles; triangle != end; ++triangle) {
    for (const MeshVertex& vertex : triangle->vertex)
      *out++ = ToonVertex{ToonCoordinate(normalMatrix, vertex, light), vertex.x, vertex.y, vertex.z};
  }
}

// Grows to the largest mesh once; OpenGL copies the arrays at the draw, so
// the next object may refill it at once.
static std::vector<ToonVertex> g_toonVertices;

void DrawToonMesh(const Mesh& mesh, GLuint ramp, const Vector3& light, const float* normalMatrix) {
  const size_t count = size_t(mesh.triangleCount) * 3;
  if (g_toonVertices.size() < count) g_toonVertices.resize(count);
  ShadeToonMesh(mesh, light, normalMatrix, g_toonVertices.data());
  glBindTexture(GL_TEXTURE_1D, ramp);
  // White, so the default modulate environment leaves the ramp colour unchanged.
  glColor4f(1, 1, 1, 1);
  if (count == 0) return;
  // Two calls a vertex cost more than the shading; one draw sends the lot.
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glTexCoordPointer(1, GL_FLOAT, sizeof(ToonVertex), &g_toonVertices[0].s);
  glVertexPointer(3, GL_FLOAT, sizeof(ToonVertex), &g_toonVertices[0].x);
  glDrawArrays(GL_TRIANGLES, 0, GLsizei(count));
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void BeginToonBatch() { glEnable(GL_TEXTURE_1D); }

void EndToonBatch() {
  glBindTexture(GL_TEXTURE_1D, 0);
  glDisable(GL_TEXTURE_1D);
}

void CaptureNormalMatrix(float* normalMatrix) { glGetFloatv(GL_MODELVIEW_MATRIX, normalMatrix); }
