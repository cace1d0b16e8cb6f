// Toon shading without OpenGL lighting: each vertex normal, turned into eye
// space, is dotted with the light and indexes an eight-texel 1D ramp.
#pragma once
#include <GL/gl.h>

#include "assets/mesh.h"
#include "render/vector3.h"

// Upper-left 3x3 of a column-major OpenGL matrix times n; translation ignored.
inline void TransformNormal(const float* m, const Vector3& n, Vector3& out) {
  out.x = m[0] * n.x + m[4] * n.y + m[8] * n.z;
  out.y = m[1] * n.x + m[5] * n.y + m[9] * n.z;
  out.z = m[2] * n.x + m[6] * n.y + m[10] * n.z;
}

// The ramp coordinate of one vertex normal: clamped below at 0, not above.
inline float ToonCoordinate(const float* normalMatrix, const MeshVertex& vertex,
                            const Vector3& light) {
  const Vector3 normal = {vertex.nx, vertex.ny, vertex.nz};
  Vector3 eyeNormal;
  TransformNormal(normalMatrix, normal, eyeNormal);
  Vector3Normalize(eyeNormal);
  float s = Vector3Dot(eyeNormal, light);
  return s < 0.0f ? 0.0f : s;
}

// Draws the mesh with the ramp's 1D texture; the caller has enabled
// GL_TEXTURE_1D and captured normalMatrix from the modelview at its chosen point.
// The vertices go in one array draw, the same values immediate mode would send.
void DrawToonMesh(const Mesh& mesh, GLuint ramp, const Vector3& light, const float* normalMatrix);

// The calling sequence around one or more objects of a batch.
void BeginToonBatch();
void EndToonBatch();
// Captures the current modelview as the normal matrix (16 floats).
void CaptureNormalMatrix(float* normalMatrix);
