// The picture catalogue through a real GL context: every slot filled from the
// real data folder, the large set against the small, a folder with a picture
// missing.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/png_reader.h"
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

// Each slot holds its own file's picture at either scale: its size, and alpha
// where the file has it.
TEST(LoadTextures, FillsEverySlotWithItsPictureOrRampAtEitherScaleTheLargeOnesTheSmallHalved) {
  for (int k : {1, 2}) {
    GLWindow* window = OpenTestWindow();
    ASSERT_TRUE(window);
    ASSERT_EQ(LoadTextures(k), 1) << LastMessage();
    EXPECT_TRUE(g_messages.empty());
    for (int slot = 0; slot < kTextureSlotCount; ++slot) {
      if (!g_textureFiles[slot]) {
        EXPECT_EQ(Level0(slot, GL_TEXTURE_WIDTH), 8) << "ramp " << slot;  // eight colours
        continue;
      }
      std::string path = PictureFile(slot, k);
      std::replace(path.begin(), path.end(), '\\', '/');
      std::string file = ReadFile(path);
      ASSERT_GT(file.size(), 26u) << slot;
      auto be32 = [&](size_t at) { return int(uint8_t(file[at])) << 24 | int(uint8_t(file[at + 1])) << 16 | int(uint8_t(file[at + 2])) << 8 | int(uint8_t(file[at + 3])); };
      EXPECT_EQ(Level0(slot, GL_TEXTURE_WIDTH), be32(16)) << slot << " at " << k;
      EXPECT_EQ(Level0(slot, GL_TEXTURE_HEIGHT), be32(20)) << slot << " at " << k;
      EXPECT_EQ(Level0(slot, GL_TEXTURE_ALPHA_SIZE) > 0, file[25] == PNG_COLOR_TYPE_RGB_ALPHA) << slot;
    }
    CloseTestWindow(window);
  }
  // Each large picture is its small one at twice the pixels: halved (in
  // premultiplied colour, as it blends) it differs only at its shapes' edges.
  for (int slot = 0; slot < kTextureSlotCount; ++slot) {
    if (!g_textureFiles[slot]) continue;
    int n1 = 0, n2 = 0;
    uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    unsigned char *small = nullptr, *large = nullptr;
    ASSERT_TRUE(ReadPNG(PictureFile(slot, 1).c_str(), &n1, &w1, &h1, &small)) << slot;
    ASSERT_TRUE(ReadPNG(PictureFile(slot, 2).c_str(), &n2, &w2, &h2, &large)) << slot;
    ASSERT_EQ(std::vector<uint32_t>({uint32_t(n2), w2, h2}), std::vector<uint32_t>({uint32_t(n1), 2 * w1, 2 * h1})) << slot;
    auto premultiplied = [&](const unsigned char* p, size_t i, int c) {
      return n1 == 4 && c < 3 ? p[i + c] * p[i + 3] / 255.0 : double(p[i + c]);
    };
    double sum = 0;
    for (uint32_t y = 0; y < h1; ++y)
      for (uint32_t x = 0; x < w1; ++x)
        for (int c = 0; c < n1; ++c) {
          double halved = 0;
          for (int d = 0; d < 4; ++d) halved += premultiplied(large, ((2 * y + d / 2) * w2 + 2 * x + d % 2) * n1, c) / 4;
          sum += std::abs(halved - premultiplied(small, (y * w1 + x) * n1, c));
        }
    std::free(small);
    std::free(large);
    EXPECT_LE(sum / (double(w1) * h1 * n1), 4.0) << PictureFile(slot, 2);
  }
}

// A data folder with a picture missing: the slot is the only one reported;
// slots before it are loaded, none after.
TEST(LoadTextures, AMissingPictureFailsAtItsSlotAndLoadsNothingAfter) {
  const std::string dir = TempDir();
  fs::copy(DATA_DIR, dir + "/data");
  fs::remove(dir + "/data/chrome.png");
  ASSERT_EQ(chdir(dir.c_str()), 0);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ClearMessages();
  EXPECT_EQ(LoadTextures(), 0);
  ASSERT_EQ(g_messages.size(), 1u) << LastMessage();
  EXPECT_EQ(g_messages[0].text, "Could not load Chrome texture!@#");
  EXPECT_EQ(g_messages[0].caption, "LoadTextures()");
  EXPECT_EQ(g_messages[0].kind, MessageError);
  for (int slot = 0; slot < kTextureSlotCount; ++slot)
    EXPECT_EQ(Level0(slot, GL_TEXTURE_WIDTH) > 0, slot < kChromeSlot) << "slot " << slot;
  CloseTestWindow(window);
}
