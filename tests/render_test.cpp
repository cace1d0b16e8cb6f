// Toon shading, screen-space quads and the chrome logo, pinned down by their
// formulas and by pixels read back from a real context.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/frame_timer.h"
#include "assets/textures.h"
#include "assets/toon_ramps.h"
#include "render/chrome_logo.h"
#include "render/screen_quads.h"
#include "render/toon_mesh.h"
#include "tests/test_support.h"

namespace {

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

MeshVertex WithNormal(float nx, float ny, float nz) { return {0, 0, 0, nx, ny, nz}; }

void ExpectRect(const QuadRect& r, double x0, double y0, double x1, double y1) {
  // Pulse factors are single-precision floats.
  EXPECT_NEAR(r.x0, x0, 1e-4);
  EXPECT_NEAR(r.y0, y0, 1e-4);
  EXPECT_NEAR(r.x1, x1, 1e-4);
  EXPECT_NEAR(r.y1, y1, 1e-4);
}

// A 1024x512 picture whose every texel tells its own column and row.
void UploadCoordinatePicture(GLuint name) {
  std::vector<unsigned char> texels(1024 * 512 * 3);
  for (int row = 0; row < 512; ++row)
    for (int x = 0; x < 1024; ++x) {
      unsigned char* t = &texels[(row * 1024 + x) * 3];
      t[0] = x & 0xFF, t[1] = row & 0xFF, t[2] = (x >> 8) | ((row >> 8) << 4);
    }
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, 3, 1024, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
}

void ExpectStateRestored(const float* modelviewBefore) {
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  float m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  if (modelviewBefore) {
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], modelviewBefore[i]);
  }
  GLint depth = 0;
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

}  // namespace

TEST(ToonShading, CoordinateIsTheClampedCosineOfTheEyeSpaceNormalAndLight) {
  const Vector3 light = {0, 0, 1};
  EXPECT_FLOAT_EQ(ToonCoordinate(kIdentity, WithNormal(0, 0, 1), light), 1.0f);
  EXPECT_FLOAT_EQ(ToonCoordinate(kIdentity, WithNormal(0, 0, -1), light), 0.0f);
  EXPECT_NEAR(ToonCoordinate(kIdentity, WithNormal(0.6f, 0, 0.8f), light), 0.8f, 1e-6);
  // A normal the matrix maps to zero stays zero and gives 0.
  const float flatten[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(ToonCoordinate(flatten, WithNormal(0, 0, 1), light), 0.0f);
  // Translation is ignored and a uniform scale renormalised away.
  float moved[16], scaled[16];
  std::copy(kIdentity, kIdentity + 16, moved);
  moved[12] = 5, moved[13] = -3, moved[14] = 9;
  std::copy(kIdentity, kIdentity + 16, scaled);
  scaled[0] = scaled[5] = scaled[10] = 3.5f;
  const MeshVertex v = WithNormal(0.48f, 0.6f, 0.64f);
  const Vector3 slanted = {0.36f, 0.48f, 0.8f};
  float plain = ToonCoordinate(kIdentity, v, slanted);
  EXPECT_EQ(ToonCoordinate(moved, v, slanted), plain);
  EXPECT_NEAR(ToonCoordinate(scaled, v, slanted), plain, 1e-6);
  // A turn of the matrix turns the normal: 90 degrees about y takes +x to -z.
  const float turn[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_FLOAT_EQ(ToonCoordinate(turn, WithNormal(-1, 0, 0), light), 1.0f);
}

TEST(ToonShading, AMeshFacingTheLightShowsTheHighlightAndOneFacingAwayTheShadow) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  GLuint ramp;
  glGenTextures(1, &ramp);
  UploadToonRamp(ramp, g_prisonCellRamp);
  // One big triangle in front of the camera, normals towards the viewer.
  TriangleRecord facing = {{{-1, -1, -2, 0, 0, 1}, {1, -1, -2, 0, 0, 1}, {0, 1, -2, 0, 0, 1}},
                           {0, 0, 1}};
  TriangleRecord away = facing;
  for (MeshVertex& v : away.vertex) v.nz = -1;
  GLint stackBefore = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &stackBefore);
  for (const TriangleRecord* t : {&facing, &away}) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    BeginToonBatch();
    glPushMatrix();
    float normalMatrix[16];
    CaptureNormalMatrix(normalMatrix);
    // Not straight on: a coordinate of exactly 1 would wrap to the shadow.
    Vector3 light = {0, 0.2f, 1};
    Vector3Normalize(light);
    DrawToonMesh(Mesh{t, 1}, ramp, light, normalMatrix);
    glPopMatrix();
    EndToonBatch();
    Rgb c = PixelAt(320, 220);
    const float* expected = g_prisonCellRamp[t == &facing ? 7 : 0];
    EXPECT_NEAR(c.r, expected[0] * 255, 1);
    EXPECT_NEAR(c.b, expected[2] * 255, 1);
  }
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_1D));
  GLint bound = -1, stackAfter = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
  EXPECT_EQ(bound, 0);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &stackAfter);
  EXPECT_EQ(stackAfter, stackBefore);
  CloseTestWindow(window);
}

// The per-vertex calls the toon drawing replaced: one glTexCoord1f and one
// glVertex3fv a vertex inside glBegin/glEnd.
static void DrawToonMeshPerVertex(const Mesh& mesh, GLuint ramp, const Vector3& light, const float* m) {
  glBindTexture(GL_TEXTURE_1D, ramp);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_TRIANGLES);
  for (int i = 0; i < mesh.triangleCount; ++i)
    for (const MeshVertex& v : mesh.triangles[i].vertex) {
      glTexCoord1f(ToonCoordinate(m, v, light));
      glVertex3fv(&v.x);
    }
  glEnd();
}

TEST(ToonShading, TheArrayDrawMatchesPerVertexCallsPixelForPixelAndLeavesNoArrayOn) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  GLuint ramp;
  glGenTextures(1, &ramp);
  UploadToonRamp(ramp, g_cellphoneRamp);
  Vector3 light = {-0.1f, 0.16f, 0.44f};
  Vector3Normalize(light);
  std::vector<uint8_t> frames[2];
  for (int way = 0; way < 2; ++way) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    // A close-up that fills most of the window, turned so every band shows.
    gluLookAt(-0.1, 0.16, 0.3, 0, 0, 0, 0, 1, 0);
    BeginToonBatch();
    glPushMatrix();
    glRotatef(37, 0, 1, 0);
    glRotatef(-24, 1, 0, 0);
    float normalMatrix[16];
    CaptureNormalMatrix(normalMatrix);
    if (way == 0)
      DrawToonMeshPerVertex(CellphoneMesh(), ramp, light, normalMatrix);
    else
      DrawToonMesh(CellphoneMesh(), ramp, light, normalMatrix);
    glPopMatrix();
    EndToonBatch();
    glFinish();
    frames[way] = ReadPixels(0, 0, 640, 480);
  }
  int drawn = 0;
  for (size_t i = 0; i < frames[0].size(); i += 4) drawn += frames[0][i] | frames[0][i + 1] | frames[0][i + 2];
  EXPECT_GT(drawn, 640 * 480 / 10);  // the phone is really on screen
  EXPECT_TRUE(frames[0] == frames[1]);
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
  glDeleteTextures(1, &ramp);
  CloseTestWindow(window);
}

// The pulse is read back from real pixels below; here, the window's size.
TEST(ScreenQuads, BackgroundsScaleAboutTheCentreAndSpriteSizesFollowTheWindow) {
  ExpectRect(BackgroundRect(640, 480, 1.0f), 0, 0, 1024, 512);
  ExpectRect(BackgroundRect(640, 480, 0.9f), 32, 24, 953.6, 484.8);
  ExpectRect(SpriteRect(1280, 960, 30, 40, 512, 256, 293, 65, 1.0f), 30, 40, 1054, 552);
}

TEST(ScreenQuads, ABackgroundShowsOneTexelPerPixelFromTheBottomLeftAndClearsDepth) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  glGenTextures(kTextureSlotCount, g_textureNames);
  UploadCoordinatePicture(g_textureNames[3]);
  gluLookAt(1, 2, 3, 0, 0, 0, 0, 1, 0);  // a scene's camera must survive the call
  float camera[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, camera);
  g_backgroundPulse = 1.0f;
  DrawBackground(window, 3);
  ExpectStateRestored(camera);
  std::vector<uint8_t> p = ReadPixels(0, 0, 640, 480);
  int wrong = 0;
  for (int y = 0; y < 480; y += 7)
    for (int x = 0; x < 640; x += 5) {
      const uint8_t* c = &p[(y * 640 + x) * 4];
      int row = 511 - y;
      if (c[0] != (x & 0xFF) || c[1] != (row & 0xFF) || c[2] != ((x >> 8) | ((row >> 8) << 4)))
        ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_FLOAT_EQ(DepthAt(100, 100), 1.0f);
  EXPECT_FLOAT_EQ(DepthAt(639, 479), 1.0f);
  // At 1.1 the picture grows about the window centre: the bottom-left pixel
  // shows texel (32, 24) / 1.1 in from the picture's corner.
  g_backgroundPulse = 1.1f;
  DrawBackground(window, 3);
  g_backgroundPulse = 1.0f;
  Rgb corner = PixelAt(0, 0);
  EXPECT_NEAR(corner.r, 32 / 1.1, 1.5);
  EXPECT_NEAR(corner.g, (511 - 24 / 1.1) - 256, 1.5);  // the row's low byte
  CloseTestWindow(window);
}

TEST(ScreenQuads, ASpriteAtAlphaZeroLeavesColourButWritesNearestDepth) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  glGenTextures(kTextureSlotCount, g_textureNames);
  UploadCoordinatePicture(g_textureNames[22]);
  glClearColor(0.2f, 0.4f, 0.6f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  g_spritePulse = 1.0f;
  DrawSprite(window, 22, 10, 20, 512, 256, 293, 65, 0.0f);
  ExpectStateRestored(nullptr);
  Rgb c = PixelAt(100, 100);
  EXPECT_NEAR(c.r, 51, 1);
  EXPECT_NEAR(c.g, 102, 1);
  EXPECT_FLOAT_EQ(DepthAt(100, 100), 0.0f);
  EXPECT_FLOAT_EQ(DepthAt(5, 5), 1.0f);  // outside: (10, 20) is the corner
  EXPECT_FLOAT_EQ(DepthAt(600, 300), 1.0f);
  // At 1.2 the sprite grows about its lettering's centre, 146.5 and 32.5
  // pixels in from its corner.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  g_spritePulse = 1.2f;
  DrawSprite(window, 22, 10, 20, 512, 256, 293, 65, 1.0f);
  g_spritePulse = 1.0f;
  // Corners now at (-19.3, 13.5) and (595.1, 320.7).
  EXPECT_FLOAT_EQ(DepthAt(0, 15), 0.0f);
  EXPECT_FLOAT_EQ(DepthAt(0, 12), 1.0f);
  EXPECT_FLOAT_EQ(DepthAt(594, 319), 0.0f);
  EXPECT_FLOAT_EQ(DepthAt(597, 322), 1.0f);
  CloseTestWindow(window);
}

TEST(ScreenQuads, TheFlashIsInvisibleAtItsEndsOpaqueInItsMiddleAndLeavesIdentity) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  for (int64_t age : {0, 85, 170}) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gluLookAt(1, 2, 3, 0, 0, 0, 0, 1, 0);
    DrawFlash(window, age);
    Rgb c = PixelAt(320, 240);
    int expected = age == 85 ? 255 : 0;
    EXPECT_NEAR(c.r, expected, 1) << age;
    EXPECT_NEAR(c.b, expected, 1) << age;
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[12], 0);
    EXPECT_FLOAT_EQ(m[0], 1);
    ExpectStateRestored(nullptr);
  }
  CloseTestWindow(window);
}

TEST(ChromeLogo, DrawsReflectiveMetalAndLeavesItsLookAtWithEverythingSwitchedOff) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  UseDrivenClock();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  DrawChromeLogo(7.0, -2.3, 1.8, 1, 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_T));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), g_textureNames[14]);
  float m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  EXPECT_FLOAT_EQ(m[12], 2.3f);  // the look-at's translation: (-eyeX, -eyeY, -eyeZ)
  EXPECT_FLOAT_EQ(m[13], -1.8f);
  EXPECT_FLOAT_EQ(m[14], -7.0f);
  // The logo sits right of and below the centre of view, and is not flat grey.
  std::vector<uint8_t> p = ReadPixels(320, 0, 320, 240);
  int lit = 0;
  for (size_t i = 0; i < p.size(); i += 4) lit += p[i] + p[i + 1] + p[i + 2] > 60;
  EXPECT_GT(lit, 5000);
  std::vector<uint8_t> top = ReadPixels(0, 300, 640, 180);
  int litTop = 0;
  for (size_t i = 0; i < top.size(); i += 4) litTop += top[i] + top[i + 1] + top[i + 2] > 60;
  EXPECT_EQ(litTop, 0);
  CloseTestWindow(window);
}

TEST(ChromeLogo, TheSpinCountsFromTheFirstCallAndAnInvisibleLogoStillWritesDepth) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  UseDrivenClock();
  g_fakeNowMs += 50400;  // the first credits frame
  auto draw = [&](float alpha) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    DrawChromeLogo(7.0, -2.3, 1.8, 1, alpha);
    return ReadPixels(320, 0, 320, 240);
  };
  auto differing = [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 4) n += std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) > 24;
    return n;
  };
  std::vector<uint8_t> first = draw(1.0f);
  EXPECT_EQ(g_chromeSpinStartMs, 50400u);
  g_fakeNowMs += 900;  // 180 degrees about y and about x: another view
  EXPECT_GT(differing(draw(1.0f), first), 2000);
  g_fakeNowMs += 900;  // 360: as at the first call, which stays the origin
  EXPECT_LT(differing(draw(1.0f), first), 200);
  EXPECT_EQ(g_chromeSpinStartMs, 50400u);
  std::vector<uint8_t> none = draw(0.0f);
  EXPECT_EQ(std::count(none.begin(), none.end(), 0), long(none.size() * 3 / 4));  // alpha stays 255
  std::vector<float> depth(320 * 240);
  glReadPixels(320, 0, 320, 240, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
  EXPECT_LT(*std::min_element(depth.begin(), depth.end()), 1.0f);
  CloseTestWindow(window);
}
