// The picture catalogue through a real GL context: every slot filled from the
// real data folder, each way a broken folder fails, and the uploads themselves.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "assets/textures.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

GLint Level0(int slot, GLenum what) {
  const GLenum target = g_textureFiles[slot] ? GL_TEXTURE_2D : GL_TEXTURE_1D;  // the ramps are 1D
  glBindTexture(target, g_textureNames[slot]);
  GLint value = 0;
  glGetTexLevelParameteriv(target, 0, what, &value);
  return value;
}

}  // namespace

// Each slot holds its own file's picture: its size, and alpha where the file has it.
TEST(LoadTextures, FillsEverySlotWithItsPictureOrRamp) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1) << LastMessage();
  EXPECT_TRUE(g_messages.empty());
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    if (!g_textureFiles[slot]) {
      EXPECT_GT(Level0(slot, GL_TEXTURE_WIDTH), 1) << slot;
      continue;
    }
    std::string file = ReadFile(std::string(DATA_DIR) + "/" + std::string(g_textureFiles[slot]).substr(5));
    ASSERT_GT(file.size(), 26u) << slot;
    auto be32 = [&](size_t at) { return int(uint8_t(file[at])) << 24 | int(uint8_t(file[at + 1])) << 16 | int(uint8_t(file[at + 2])) << 8 | int(uint8_t(file[at + 3])); };
    EXPECT_EQ(Level0(slot, GL_TEXTURE_WIDTH), be32(16)) << slot;
    EXPECT_EQ(Level0(slot, GL_TEXTURE_HEIGHT), be32(20)) << slot;
    EXPECT_EQ(Level0(slot, GL_TEXTURE_ALPHA_SIZE) > 0, file[25] == PNG_COLOR_TYPE_RGB_ALPHA) << slot;
  }
  CloseTestWindow(window);
}

// A data folder broken one way: the first failing slot is the only one
// reported, after libpng's own boxes; slots before it are loaded, none after.
TEST(LoadTextures, EachBrokenDataFolderFailsAtItsFirstBadSlotAndLoadsNothingAfter) {
  const struct Case {
    const char* name;
    std::function<void(const std::string& data)> breakIt;
    std::string message;  // the last box; any before it are libpng's
    int firstBadSlot;
  } cases[] = {
      {"missing chrome", [](const std::string& data) { fs::remove(data + "/chrome.png"); },
       "Could not load Chrome texture!@#", 14},
      {"grey picture",
       [](const std::string& data) {
         WritePng(data + "/zmb.png", 512, 256, PNG_COLOR_TYPE_GRAY, 8, PNG_INTERLACE_NONE);
       },
       "Could not load ZMB texture!@#", 12},
  };
  for (const Case& c : cases) {
    const std::string dir = TempDir();
    fs::copy(DATA_DIR, dir + "/data");
    c.breakIt(dir + "/data");
    ASSERT_EQ(chdir(dir.c_str()), 0);
    GLWindow* window = OpenTestWindow();
    ASSERT_TRUE(window);
    ClearMessages();
    EXPECT_EQ(LoadTextures(), 0) << c.name;
    ASSERT_FALSE(g_messages.empty()) << c.name;
    EXPECT_EQ(g_messages.back().text, c.message) << c.name;
    EXPECT_EQ(g_messages.back().caption, "LoadTextures()") << c.name;
    EXPECT_EQ(g_messages.back().kind, MessageError) << c.name;
    for (size_t i = 0; i + 1 < g_messages.size(); ++i) EXPECT_EQ(g_messages[i].text, "MyPNGErrorHandler") << c.name;
    for (int slot = 0; slot < kTextureSlotCount; ++slot)
      EXPECT_EQ(Level0(slot, GL_TEXTURE_WIDTH) > 0, slot < c.firstBadSlot) << c.name << ", slot " << slot;
    CloseTestWindow(window);
  }
}

TEST(LoadTextureSlot, OddSizedRgbRowsUploadWithoutPaddingAndReadBackExactly) {
  ASSERT_EQ(chdir(TempDir().c_str()), 0);
  fs::create_directory("data");
  // A 3x3 RGB picture: 9-byte rows, not a multiple of 4.
  ASSERT_TRUE(WritePng("data/velkoran.png", 3, 3, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE));
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  glGenTextures(kTextureSlotCount, g_textureNames);
  ASSERT_EQ(LoadTextureSlot(0, GL_LINEAR), 1);
  EXPECT_EQ(Level0(0, GL_TEXTURE_WIDTH), 3);
  unsigned char back[27] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back);
  for (int i = 0; i < 27; ++i) EXPECT_EQ(back[i], (i / 9 * 16 + i % 9 * 3) & 0xFF) << i;
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4);  // left as it was found
  CloseTestWindow(window);
}
