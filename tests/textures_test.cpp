// The picture catalogue through a real GL context: load order, the ramps in
// their slots, the failure of a missing picture, and the uploads themselves;
// and the sprites' lettering where the scenes put it on screen.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "assets/png_reader.h"
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

// Two pictures of the largest size fill the catalogue's budget with what the
// first slots take: the slot that goes over fails at its header with
// libpng's box and its own, and no later slot is reported, however the
// decoding was shared out.
TEST(LoadTextures, TheSlotThatGoesOverTheCatalogueBudgetFailsAndNothingLaterIsReported) {
  std::string dir = TempDir();
  fs::copy(DATA_DIR, fs::path(dir) / "data");
  WriteFile(dir + "/data/veri-tausta1.png", BlackPng(4096, 4096));
  WriteFile(dir + "/data/veri-tausta2.png", BlackPng(4096, 4096));
  WriteFile(dir + "/data/veri-tausta3.png", "broken");
  WriteFile(dir + "/data/kaenny-tausta1.png", "broken");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ClearMessages();
  EXPECT_EQ(LoadTextures(), 0);
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(g_messages[0].text, "MyPNGErrorHandler");
  EXPECT_EQ(g_messages[0].caption, "");
  EXPECT_EQ(g_messages[1].text, "Could not load Bloodcell BG2 texture!@#");
  EXPECT_EQ(g_messages[1].caption, "LoadTextures()");
  EXPECT_EQ(Level0(GL_TEXTURE_2D, g_textureNames[3], GL_TEXTURE_WIDTH), 4096);
  for (int slot = 4; slot < kTextureSlotCount; ++slot)
    EXPECT_EQ(Level0(slot == 6 || slot == 7 ? GL_TEXTURE_1D : GL_TEXTURE_2D, g_textureNames[slot],
                     GL_TEXTURE_WIDTH), 0) << slot;
  CloseTestWindow(window);
}

// Every later slot broken: still only the first failure is reported.
TEST(LoadTextures, OnlyTheFirstFailingSlotIsReportedWhenLaterOnesFailFaster) {
  std::string dir = TempDir();
  fs::copy(DATA_DIR, fs::path(dir) / "data");
  // Slot 1 is slow to fail (a large picture with broken data); the rest fail
  // at once.
  std::string slow = BlackPng(4096, 2048);
  slow.resize(slow.size() - 20);
  WriteFile(dir + "/data/tonaro.png", slow);
  for (int slot = 3; slot < kTextureSlotCount; ++slot)
    if (g_textureFiles[slot]) fs::remove(fs::path(dir) / std::string(g_textureFiles[slot]).replace(4, 1, "/"));
  ASSERT_EQ(chdir(dir.c_str()), 0);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ClearMessages();
  EXPECT_EQ(LoadTextures(), 0);
  ASSERT_FALSE(g_messages.empty());
  EXPECT_EQ(g_messages.back().text, "Could not load Tonaro logo texture!@#");
  for (size_t i = 0; i + 1 < g_messages.size(); ++i) EXPECT_EQ(g_messages[i].text, "MyPNGErrorHandler");
  EXPECT_GT(Level0(GL_TEXTURE_2D, g_textureNames[0], GL_TEXTURE_WIDTH), 0);
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

namespace {

// Texels a viewer sees of a sprite: alpha above an eighth.
struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive
  bool Empty() const { return x1 < 0; }
  int Width() const { return x1 - x0 + 1; }
  int Height() const { return y1 - y0 + 1; }
};

// The visible texels of a data picture, in image columns and rows (top row 0),
// read through the program's own loader.
Box OpaqueBox(const std::string& name) {
  Box box;
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  const std::string path = std::string(DATA_DIR) + "/" + name;
  if (!ReadPNG(path.c_str(), &components, &width, &height, &pixels)) {
    ADD_FAILURE() << "cannot read " << path;
    return box;
  }
  EXPECT_EQ(components, 4) << name;
  EXPECT_EQ(width, 512u) << name;
  EXPECT_EQ(height, 256u) << name;
  for (uint32_t r = 0; components == 4 && r < height; ++r)
    for (uint32_t c = 0; c < width; ++c)
      if (pixels[(r * width + c) * 4 + 3] > 32) {
        box.x0 = std::min(box.x0, int(c)), box.x1 = std::max(box.x1, int(c));
        box.y0 = std::min(box.y0, int(r)), box.y1 = std::max(box.y1, int(r));
      }
  free(pixels);
  return box;
}

// A sprite's box on a 640x480 screen when drawn 512x256 with its lower-left
// corner at (x, y): y counts up from the bottom, the image's last row lowest.
Box OnScreen(const Box& image, int x, int y) {
  Box b;
  b.x0 = x + image.x0, b.x1 = x + image.x1;
  b.y0 = y + 255 - image.y1, b.y1 = y + 255 - image.y0;
  return b;
}

}  // namespace

TEST(Pictures, GreetingsStayOnScreenAndQvtCoversNoneOfZmb) {
  Box zmb = OnScreen(OpaqueBox("zmb.png"), 0, 216), qvt = OnScreen(OpaqueBox("qvt.png"), 270, 136);
  ASSERT_FALSE(zmb.Empty());
  ASSERT_FALSE(qvt.Empty());
  std::printf("on screen: ZMB x %d-%d y %d-%d, QVT x %d-%d y %d-%d\n", zmb.x0, zmb.x1, zmb.y0,
              zmb.y1, qvt.x0, qvt.x1, qvt.y0, qvt.y1);
  for (const Box& b : {zmb, qvt}) {
    EXPECT_GE(b.x0, 0);
    EXPECT_LE(b.x1, 639);
    EXPECT_GE(b.y0, 0);
    EXPECT_LE(b.y1, 479);
  }
  bool apart = qvt.x0 > zmb.x1 || zmb.x0 > qvt.x1 || qvt.y0 > zmb.y1 || zmb.y0 > qvt.y1;
  EXPECT_TRUE(apart) << "QVT's lettering box overlaps ZMB's";
  // Together they reach down into the lower half of the screen.
  EXPECT_LE(std::min(zmb.y0, qvt.y0), 160);
}

TEST(Pictures, TitleAndCreditLetteringFillsTheRegionThePulseScalesAbout) {
  for (const char* name : {"tonaro_teksti.png", "kredu_jastu.png", "kredu_pelan.png", "kredu_sorvo.png"}) {
    SCOPED_TRACE(name);
    Box b = OpaqueBox(name);
    ASSERT_FALSE(b.Empty());
    std::printf("%s: columns %d-%d, rows %d-%d: %.0f%% of the width, %.0f%% of the height\n", name,
                b.x0, b.x1, b.y0, b.y1, 100.0 * b.Width() / 293, 100.0 * b.Height() / 65);
    EXPECT_GE(b.x0, 0);
    EXPECT_LE(b.x1, 292);
    EXPECT_GE(b.y0, 191);
    EXPECT_LE(b.y1, 255);
    EXPECT_GE(b.Width(), 0.9 * 293);
    EXPECT_GE(b.Height(), 0.75 * 65);
  }
}
