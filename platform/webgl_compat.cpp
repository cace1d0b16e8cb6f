#include "platform/webgl_compat.h"

#include <cmath>
#include <cstdint>
#include <vector>

// Internal formats by component count (OpenGL 1.0's 3 and 4) are not WebGL's.
static GLint NamedFormat(GLint internalFormat) {
  if (internalFormat == 3) return GL_RGB;
  if (internalFormat == 4) return GL_RGBA;
  return internalFormat;
}

void WebTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                   GLsizei height, GLint border, GLenum format, GLenum type, const void* pixels) {
  glTexImage2D(target, level, NamedFormat(internalFormat), width, height, border, format, type,
               pixels);
}

// Float texels are not WebGL 1's: bytes, rounded as a driver stores them.
void WebTexImage1D(GLenum, GLint level, GLint internalFormat, GLsizei width, GLint border,
                   GLenum format, GLenum type, const void* pixels) {
  const int components = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : 1;
  std::vector<uint8_t> bytes;
  if (type == GL_FLOAT && pixels) {
    const float* in = static_cast<const float*>(pixels);
    bytes.resize(size_t(width) * components);
    for (size_t i = 0; i < bytes.size(); ++i) {
      float v = in[i] < 0 ? 0 : in[i] > 1 ? 1 : in[i];
      bytes[i] = uint8_t(std::lround(v * 255.0f));
    }
    pixels = bytes.data();
    type = GL_UNSIGNED_BYTE;
  }
  glTexImage2D(GL_TEXTURE_2D, level, NamedFormat(internalFormat), width, 1, border, format, type,
               pixels);
}

// The emulation's own gluLookAt passes its arguments on in the wrong order.
void WebLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centreX, GLdouble centreY,
               GLdouble centreZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
  double f[3] = {centreX - eyeX, centreY - eyeY, centreZ - eyeZ};
  double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
  for (double& c : f) c /= fl;
  double s[3] = {f[1] * upZ - f[2] * upY, f[2] * upX - f[0] * upZ, f[0] * upY - f[1] * upX};
  double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
  for (double& c : s) c /= sl;
  const double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2],
                       s[0] * f[1] - s[1] * f[0]};
  const GLfloat m[16] = {GLfloat(s[0]), GLfloat(u[0]), GLfloat(-f[0]), 0,
                         GLfloat(s[1]), GLfloat(u[1]), GLfloat(-f[1]), 0,
                         GLfloat(s[2]), GLfloat(u[2]), GLfloat(-f[2]), 0,
                         0,             0,             0,              1};
  glMultMatrixf(m);
  glTranslatef(GLfloat(-eyeX), GLfloat(-eyeY), GLfloat(-eyeZ));
}

// Sphere-map generation is done here, on the CPU, for array draws: the
// emulation has no texture generation.
namespace {
struct SphereMap {
  int sphereS, sphereT;  // glTexGeni chose GL_SPHERE_MAP
  int enabledS, enabledT;
  const uint8_t* normals;
  GLsizei normalStride;
  const uint8_t* vertices;
  GLsizei vertexStride;
  std::vector<GLfloat> coordinates;
};
SphereMap g_sphere;
}  // namespace

void WebTexGeni(GLenum coord, GLenum name, GLint param) {
  if (name != GL_TEXTURE_GEN_MODE) return;
  if (coord == GL_S) g_sphere.sphereS = param == GL_SPHERE_MAP;
  if (coord == GL_T) g_sphere.sphereT = param == GL_SPHERE_MAP;
}

// Capabilities WebGL does not know are kept here or dropped, not passed on
// to raise an error.
static int KeptHere(GLenum cap, int on) {
  if (cap == GL_TEXTURE_GEN_S) g_sphere.enabledS = on;
  if (cap == GL_TEXTURE_GEN_T) g_sphere.enabledT = on;
  return cap == GL_TEXTURE_GEN_S || cap == GL_TEXTURE_GEN_T || cap == GL_LINE_SMOOTH ||
         cap == GL_MULTISAMPLE;
}

void WebEnable(GLenum cap) {
  if (!KeptHere(cap, 1)) glEnable(cap);
}

void WebDisable(GLenum cap) {
  if (!KeptHere(cap, 0)) glDisable(cap);
}

void WebNormalPointer(GLenum type, GLsizei stride, const void* pointer) {
  g_sphere.normals = static_cast<const uint8_t*>(pointer);
  g_sphere.normalStride = stride ? stride : GLsizei(3 * sizeof(GLfloat));
  glNormalPointer(type, stride, pointer);
}

void WebVertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
  g_sphere.vertices = static_cast<const uint8_t*>(pointer);
  g_sphere.vertexStride = stride ? stride : GLsizei(size * sizeof(GLfloat));
  glVertexPointer(size, type, stride, pointer);
}

// OpenGL's sphere map: the eye-space reflection r of the view direction in
// the eye-space normal gives s, t = r.xy / (2 |r + (0, 0, 1)|) + 1/2. The
// show's modelviews are rotations and translations, so normals take the
// modelview's own 3x3.
static void SphereCoordinates(GLint first, GLsizei count) {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  // Indexed as the vertices are, from 0: the draw starts at `first` in both.
  g_sphere.coordinates.resize(size_t(first + count) * 2);
  for (GLsizei i = first; i < first + count; ++i) {
    const GLfloat* v =
        reinterpret_cast<const GLfloat*>(g_sphere.vertices + size_t(i) * g_sphere.vertexStride);
    const GLfloat* n =
        reinterpret_cast<const GLfloat*>(g_sphere.normals + size_t(i) * g_sphere.normalStride);
    float e[3], ne[3];
    for (int r = 0; r < 3; ++r) {
      e[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r];
      ne[r] = m[r] * n[0] + m[4 + r] * n[1] + m[8 + r] * n[2];
    }
    const float el = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    if (el > 0)
      for (float& c : e) c /= el;
    const float d = 2 * (ne[0] * e[0] + ne[1] * e[1] + ne[2] * e[2]);
    const float r[3] = {e[0] - d * ne[0], e[1] - d * ne[1], e[2] - d * ne[2]};
    const float len = 2 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1) * (r[2] + 1));
    g_sphere.coordinates[size_t(i) * 2] = len > 0 ? r[0] / len + 0.5f : 0.5f;
    g_sphere.coordinates[size_t(i) * 2 + 1] = len > 0 ? r[1] / len + 0.5f : 0.5f;
  }
}

void WebDrawArrays(GLenum mode, GLint first, GLsizei count) {
  const int generate = g_sphere.enabledS && g_sphere.enabledT && g_sphere.sphereS &&
                       g_sphere.sphereT && g_sphere.normals && g_sphere.vertices && count > 0;
  if (!generate) {
    glDrawArrays(mode, first, count);
    return;
  }
  SphereCoordinates(first, count);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, g_sphere.coordinates.data());
  glDrawArrays(mode, first, count);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

// Asking for a compatibility profile makes WebGL context creation fail; the
// emulation is what provides the fixed pipeline there.
int WebGLSetAttribute(SDL_GLattr attribute, int value) {
  if (attribute == SDL_GL_CONTEXT_PROFILE_MASK) return 0;
  return SDL_GL_SetAttribute(attribute, value);
}
