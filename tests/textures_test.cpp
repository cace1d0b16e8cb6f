// The picture catalogue through a real GL context: load order, the ramps in
// their slots, the failure of a missing picture, and the uploads themselves.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "assets/textures.h"
#include "assets/toon_ramps.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

static GLint Level0(GLenum target, GLuint name, GLenum what) {
  glBindTexture(target, name);
  GLint value = 0;
  glGetTexLevelParameteriv(target, 0, what, &value);
  return value;
}

TEST(LoadTextures, FillsAllSlotsRampsAsOneDimensionalAndPicturesAsTwo) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  EXPECT_TRUE(g_messages.empty());
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    bool ramp = slot == 2 || slot == 6 || slot == 7;
    GLenum target = ramp ? GL_TEXTURE_1D : GL_TEXTURE_2D;
    EXPECT_GT(Level0(target, g_textureNames[slot], GL_TEXTURE_WIDTH), 0) << "slot " << slot;
  }
  EXPECT_EQ(Level0(GL_TEXTURE_1D, g_textureNames[2], GL_TEXTURE_WIDTH), 8);
  EXPECT_EQ(Level0(GL_TEXTURE_2D, g_textureNames[3], GL_TEXTURE_WIDTH), 1024);
  EXPECT_EQ(Level0(GL_TEXTURE_2D, g_textureNames[22], GL_TEXTURE_HEIGHT), 256);
  EXPECT_GT(Level0(GL_TEXTURE_2D, g_textureNames[22], GL_TEXTURE_ALPHA_SIZE), 0);  // RGBA
  EXPECT_EQ(Level0(GL_TEXTURE_2D, g_textureNames[3], GL_TEXTURE_ALPHA_SIZE), 0);   // RGB
  GLint mode = 0;
  glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
  EXPECT_EQ(mode, GL_SPHERE_MAP);
  CloseTestWindow(window);
}

TEST(LoadTextures, AMissingChromePictureStopsTheLoadBeforeTheSphereMapAndLaterSlots) {
  std::string dir = TempDir();
  fs::copy(fs::current_path() / "data", fs::path(dir) / "data");
  fs::remove(fs::path(dir) / "data" / "chrome.png");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(LoadTextures(), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "Could not load Chrome texture!@#");
  EXPECT_EQ(g_messages[0].caption, "LoadTextures()");
  EXPECT_EQ(g_messages[0].kind, MessageError);
  EXPECT_GT(Level0(GL_TEXTURE_2D, g_textureNames[13], GL_TEXTURE_WIDTH), 0);
  for (int slot = 15; slot <= 22; ++slot)
    EXPECT_EQ(Level0(GL_TEXTURE_2D, g_textureNames[slot], GL_TEXTURE_WIDTH), 0) << slot;
  GLint mode = 0;
  glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &mode);
  EXPECT_NE(mode, GL_SPHERE_MAP);
  CloseTestWindow(window);
}

TEST(LoadTextures, AGreyPictureFailsItsSlot) {
  std::string dir = TempDir();
  fs::copy(fs::current_path() / "data", fs::path(dir) / "data");
  ASSERT_TRUE(WritePng(dir + "/data/zmb.png", 512, 256, PNG_COLOR_TYPE_GRAY, 8, PNG_INTERLACE_NONE));
  ASSERT_EQ(chdir(dir.c_str()), 0);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(LoadTextures(), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "Could not load ZMB texture!@#");
  CloseTestWindow(window);
}

TEST(LoadTextureSlot, OddSizedRgbRowsUploadWithoutPaddingAndReadBackExactly) {
  std::string dir = TempDir();
  ASSERT_EQ(chdir(dir.c_str()), 0);
  fs::create_directory("data");
  // A 3x3 RGB picture: 9-byte rows, not a multiple of 4.
  ASSERT_TRUE(WritePng("data/velkoran.png", 3, 3, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE));
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  glGenTextures(kTextureSlotCount, g_textureNames);
  ASSERT_EQ(LoadTextureSlot(0, GL_LINEAR), 1);
  EXPECT_EQ(Level0(GL_TEXTURE_2D, g_textureNames[0], GL_TEXTURE_WIDTH), 3);
  unsigned char back[27] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 9; ++i) EXPECT_EQ(back[y * 9 + i], (y * 16 + i * 3) & 0xFF) << y << "," << i;
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // left as it was found
  CloseTestWindow(window);
}

// Draws a quad whose 1D texture coordinate is s and reads the colour back.
static Rgb RampSample(GLuint ramp, float s) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_TEXTURE_1D);
  glBindTexture(GL_TEXTURE_1D, ramp);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord1f(s);
  glVertex2f(-1, -1);
  glVertex2f(1, -1);
  glVertex2f(1, 1);
  glVertex2f(-1, 1);
  glEnd();
  glDisable(GL_TEXTURE_1D);
  return PixelAt(320, 240);
}

TEST(ToonRamps, NearestFilteringGivesHardBandsAndOneWrapsToTheShadow) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  GLuint ramp;
  glGenTextures(1, &ramp);
  UploadToonRamp(ramp, g_cellphoneRamp);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_1D, &bound);
  EXPECT_EQ(GLuint(bound), ramp);
  auto texel = [](int i) { return int(std::lround(g_cellphoneRamp[i][0] * 255)); };
  EXPECT_NEAR(RampSample(ramp, 0.0f).r, texel(0), 1);
  EXPECT_NEAR(RampSample(ramp, 0.374f).r, texel(2), 1);
  EXPECT_NEAR(RampSample(ramp, 0.375f).r, texel(3), 1);
  EXPECT_NEAR(RampSample(ramp, 0.874f).r, texel(6), 1);
  EXPECT_NEAR(RampSample(ramp, 0.875f).r, texel(7), 1);
  EXPECT_NEAR(RampSample(ramp, 1.0f).r, texel(0), 1);
  UploadToonRamp(ramp, g_bloodCellRamp);
  Rgb red = RampSample(ramp, 0.9f);
  EXPECT_NEAR(red.r, 230, 1);
  EXPECT_EQ(red.g, 0);
  CloseTestWindow(window);
}

TEST(LoadTextures, AFailedSlotLeavesTheRampsAfterItUnloaded) {
  std::string dir = TempDir();
  fs::copy(fs::current_path() / "data", fs::path(dir) / "data");
  fs::remove(fs::path(dir) / "data" / "veri-tausta2.png");  // slot 4, between the ramps
  ASSERT_EQ(chdir(dir.c_str()), 0);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(LoadTextures(), 0);
  EXPECT_EQ(Level0(GL_TEXTURE_1D, g_textureNames[2], GL_TEXTURE_WIDTH), 8);
  EXPECT_EQ(Level0(GL_TEXTURE_1D, g_textureNames[6], GL_TEXTURE_WIDTH), 0);
  EXPECT_EQ(Level0(GL_TEXTURE_1D, g_textureNames[7], GL_TEXTURE_WIDTH), 0);
  CloseTestWindow(window);
}
