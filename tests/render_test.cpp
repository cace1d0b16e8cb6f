// Screen-space quads pinned down by pixels and depths read back from a real
// context.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/show_start.h"
#include "assets/textures.h"
#include "render/screen_quads.h"
#include "tests/test_support.h"

namespace {

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

// What every screen-space quad must leave behind for the scene after it.
void ExpectStateRestored(const float* modelviewBefore) {
  GLint mode = 0, projectionDepth = 0, modelviewDepth = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  float m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  if (modelviewBefore) {
    EXPECT_EQ(std::vector<float>(m, m + 16), std::vector<float>(modelviewBefore, modelviewBefore + 16));
  }
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);
  EXPECT_EQ(projectionDepth, 1);
  EXPECT_EQ(modelviewDepth, 1);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

}  // namespace

TEST(ScreenQuads, ABackgroundShowsATexelAPixelGrowsAboutTheCentreClearsDepthAndASpriteAtAlphaZeroWritesDepth) {
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
      wrong += c[0] != (x & 0xFF) || c[1] != (row & 0xFF) || c[2] != ((x >> 8) | ((row >> 8) << 4));
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_FLOAT_EQ(DepthAt(100, 100), 1.0f);
  EXPECT_FLOAT_EQ(DepthAt(639, 479), 1.0f);
  // At 1.1 the bottom-left pixel shows texel (32, 24) / 1.1 in from the corner.
  g_backgroundPulse = 1.1f;
  DrawBackground(window, 3);
  Rgb corner = PixelAt(0, 0);
  EXPECT_NEAR(corner.r, 32 / 1.1, 1.5);
  EXPECT_NEAR(corner.g, (511 - 24 / 1.1) - 256, 1.5);  // the row's low byte

  // A sprite at alpha zero leaves the colour but writes the nearest depth.
  UploadCoordinatePicture(g_textureNames[22]);
  glClearColor(0.2f, 0.4f, 0.6f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  g_spritePulse = 1.0f;
  DrawSprite(window, 22, SpritePlacement{10, 20, 512, 256, 0.0f});
  ExpectStateRestored(nullptr);
  Rgb c = PixelAt(100, 100);
  EXPECT_NEAR(c.r, 51, 1);
  EXPECT_NEAR(c.g, 102, 1);
  // Nearest depth inside, none outside: (10, 20) is the corner.
  const std::pair<int, int> inside[] = {{100, 100}, {10, 20}, {521, 275}}, outside[] = {{5, 5}, {9, 100}, {600, 300}};
  for (auto [x, y] : inside) EXPECT_FLOAT_EQ(DepthAt(x, y), 0.0f) << x << "," << y;
  for (auto [x, y] : outside) EXPECT_FLOAT_EQ(DepthAt(x, y), 1.0f) << x << "," << y;
  CloseTestWindow(window);
}

namespace {

double Linear(int c) {
  double v = c / 255.0;
  return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Columns of every grey level over the bottom half, of every red level over the top.
void ClearToEveryLevel() {
  glEnable(GL_SCISSOR_TEST);
  for (int level = 0; level < 256; ++level) {
    const float v = level / 255.0f;
    glScissor(level * 2, 0, 2, 240);
    glClearColor(v, v, v, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(level * 2, 240, 2, 240);
    glClearColor(v, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 0, 1);
}

}  // namespace

// The flash at its peak over every grey and red: full white as designed; the
// reduced one moves no pixel's relative luminance by 0.1 nor a saturated
// red's (R - G - B) x 320 by 20: no flash, whatever lies under it.
TEST(ScreenQuads, TheFlashPeaksWhiteAndTheReducedOneStaysUnderTheFlashThresholds) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  for (int reduce : {0, 1}) {
    ClearToEveryLevel();
    const std::vector<uint8_t> under = ReadPixels(0, 0, 512, 480);
    ShowSettings settings;
    settings.reduceFlashing = reduce;
    settings.clock = MonotonicClockMs;
    UseShowSettings(settings);
    DrawFlash(window, 85);
    const std::vector<uint8_t> over = ReadPixels(0, 0, 512, 480);
    double lightest = 1, mostLuminance = 0, mostRed = 0;
    for (size_t i = 0; i < over.size(); i += 4) {
      double a[3], b[3];
      for (int k = 0; k < 3; ++k) a[k] = Linear(under[i + k]), b[k] = Linear(over[i + k]);
      lightest = std::min(lightest, 0.2126 * b[0] + 0.7152 * b[1] + 0.0722 * b[2]);
      mostLuminance = std::max(mostLuminance, 0.2126 * (b[0] - a[0]) + 0.7152 * (b[1] - a[1]) +
                                                  0.0722 * (b[2] - a[2]));
      auto red = [](const double* c) { return std::max(0.0, c[0] - c[1] - c[2]) * 320; };
      mostRed = std::max(mostRed, std::abs(red(a) - red(b)));
    }
    if (reduce) {
      EXPECT_LT(mostLuminance, 0.1);
      EXPECT_LE(mostRed, 20);
      EXPECT_GT(mostLuminance, 0.05) << "a glow still to be seen";
    } else {
      EXPECT_GT(lightest, 0.99) << "the designed flash is full white at its peak";
    }
  }
  CloseTestWindow(window);
}
