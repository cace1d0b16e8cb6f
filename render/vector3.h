// The vector and angle helpers every part of the show shares.
#pragma once
#include <cmath>

struct Vector3 {
  float x, y, z;
};

// Summed z, y, x: the order fixes the rounding the shading depends on.
inline float Vector3Dot(const Vector3& a, const Vector3& b) { return a.z * b.z + a.y * b.y + a.x * b.x; }

// In place, by one reciprocal of the length; a zero vector stays zero.
// Inline: the toon shading calls it for every vertex of every frame.
inline void Vector3Normalize(Vector3& v) {
  float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (length == 0.0f) return;
  float reciprocal = 1.0f / length;
  v.x *= reciprocal;
  v.y *= reciprocal;
  v.z *= reciprocal;
}

// Angles of the show are in degrees.
float SinDeg(float degrees);
float CosDeg(float degrees);
