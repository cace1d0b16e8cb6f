#include "render/toon_mesh.h"

void DrawToonMesh(const Mesh& mesh, GLuint ramp, const Vector3& light, const float* normalMatrix) {
  glBindTexture(GL_TEXTURE_1D, ramp);
  // White, so the default modulate environment leaves the ramp colour unchanged.
  glColor4f(1, 1, 1, 1);
  glBegin(GL_TRIANGLES);
  const TriangleRecord* end = mesh.triangles + mesh.triangleCount;
  for (const TriangleRecord* triangle = mesh.triangles; triangle != end; ++triangle) {
    for (const MeshVertex& vertex : triangle->vertex) {
      glTexCoord1f(ToonCoordinate(normalMatrix, vertex, light));
      glVertex3fv(&vertex.x);
    }
  }
  glEnd();
}

void BeginToonBatch() { glEnable(GL_TEXTURE_1D); }

void EndToonBatch() {
  glBindTexture(GL_TEXTURE_1D, 0);
  glDisable(GL_TEXTURE_1D);
}

void CaptureNormalMatrix(float* normalMatrix) { glGetFloatv(GL_MODELVIEW_MATRIX, normalMatrix); }
