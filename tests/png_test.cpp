// The PNG loader on real files written by libpng: what it accepts, what it
// refuses, and that a broken file always ends as a clean failure.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <future>

#include "assets/png_reader.h"
#include "assets/textures.h"
#include "tests/test_support.h"

namespace {

struct Decoded {
  int ok = 0, components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  ~Decoded() { std::free(pixels); }
};

void Read(const std::string& path, Decoded* d) {
  d->ok = ReadPNG(path.c_str(), &d->components, &d->width, &d->height, &d->pixels);
}

}  // namespace

TEST(ReadPNG, RgbAndRgbaDecodeTopRowFirstTightlyPacked) {
  RecordMessages();
  std::string dir = TempDir();
  ASSERT_TRUE(WritePng(dir + "/rgb.png", 3, 2, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE));
  ASSERT_TRUE(WritePng(dir + "/rgba.png", 5, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, PNG_INTERLACE_NONE));
  Decoded rgb, rgba;
  Read(dir + "/rgb.png", &rgb);
  ASSERT_EQ(rgb.ok, 1);
  EXPECT_EQ(rgb.components, 3);
  EXPECT_EQ(rgb.width, 3u);
  EXPECT_EQ(rgb.height, 2u);
  // Byte i of row y was written as y * 16 + i * 3.
  EXPECT_EQ(rgb.pixels[0], 0);
  EXPECT_EQ(rgb.pixels[8], 24);
  EXPECT_EQ(rgb.pixels[9], 16);  // row 1 follows row 0 with no padding
  Read(dir + "/rgba.png", &rgba);
  ASSERT_EQ(rgba.ok, 1);
  EXPECT_EQ(rgba.components, 4);
  EXPECT_EQ(rgba.pixels[20 + 1], 16 + 3);
  EXPECT_TRUE(g_messages.empty());
}

TEST(ReadPNG, ASinglePixelLoads) {
  std::string dir = TempDir();
  ASSERT_TRUE(WritePng(dir + "/one.png", 1, 1, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE));
  Decoded d;
  Read(dir + "/one.png", &d);
  EXPECT_EQ(d.ok, 1);
  EXPECT_EQ(d.width * d.height, 1u);
}

TEST(ReadPNG, EveryOtherFormatFailsAlthoughLibpngCouldDecodeIt) {
  RecordMessages();
  std::string dir = TempDir();
  struct Case {
    const char* name;
    int type, depth, interlace;
  } cases[] = {
      {"grey", PNG_COLOR_TYPE_GRAY, 8, PNG_INTERLACE_NONE},
      {"grey-alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, PNG_INTERLACE_NONE},
      {"palette", PNG_COLOR_TYPE_PALETTE, 8, PNG_INTERLACE_NONE},
      {"rgb16", PNG_COLOR_TYPE_RGB, 16, PNG_INTERLACE_NONE},
      {"grey1", PNG_COLOR_TYPE_GRAY, 1, PNG_INTERLACE_NONE},
      {"grey2", PNG_COLOR_TYPE_GRAY, 2, PNG_INTERLACE_NONE},
      {"palette4", PNG_COLOR_TYPE_PALETTE, 4, PNG_INTERLACE_NONE},
      {"interlaced", PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_ADAM7},
  };
  for (const Case& c : cases) {
    std::string path = dir + "/" + c.name + ".png";
    ASSERT_TRUE(WritePng(path, 9, 7, c.type, c.depth, c.interlace)) << c.name;
    Decoded d;
    Read(path, &d);
    EXPECT_EQ(d.ok, 0) << c.name;
    EXPECT_EQ(d.pixels, nullptr) << c.name;
  }
  EXPECT_TRUE(g_messages.empty());  // refusals are silent; the catalogue reports them
}

TEST(ReadPNG, AMissingFileFailsSilently) {
  RecordMessages();
  Decoded d;
  Read("data\\no-such-picture.png", &d);
  EXPECT_EQ(d.ok, 0);
  EXPECT_TRUE(g_messages.empty());
}

TEST(ReadPNG, CorruptTruncatedAndBadCrcFilesFailCleanlyAfterTheErrorBox) {
  std::string dir = TempDir();
  ASSERT_TRUE(WritePng(dir + "/good.png", 64, 64, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE));
  std::string good = ReadFile(dir + "/good.png");
  std::string truncated = good.substr(0, good.size() / 2);
  std::string badCrc = good;
  badCrc[33 + 8 + 4 + 2] ^= 0x40;  // inside the first IDAT's data: its CRC no longer matches
  std::string notPng = "this is not a picture at all, just words";
  int i = 0;
  for (const std::string& bytes : {truncated, badCrc, notPng}) {
    RecordMessages();
    ClearMessages();
    std::string path = dir + "/broken" + std::to_string(i++) + ".png";
    WriteFile(path, bytes);
    Decoded d;
    Read(path, &d);
    EXPECT_EQ(d.ok, 0) << path;
    ASSERT_FALSE(g_messages.empty()) << path;
    EXPECT_EQ(g_messages[0].text, "MyPNGErrorHandler");
    EXPECT_EQ(g_messages[0].caption, "");
  }
}

TEST(ReadPNG, AHugeDeclaredSizeIsRefusedBeforeAnyLargeAllocation) {
  RecordMessages();
  std::string dir = TempDir();
  ASSERT_TRUE(WritePng(dir + "/small.png", 4, 4, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE));
  std::string bytes = ReadFile(dir + "/small.png");
  // IHDR width and height at offsets 16 and 20; fix the chunk's CRC so only
  // the size is wrong.
  const uint32_t huge = 100000;
  for (int offset : {16, 20})
    for (int k = 0; k < 4; ++k) bytes[offset + k] = char((huge >> (24 - 8 * k)) & 0xFF);
  uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17));
  for (int k = 0; k < 4; ++k) bytes[29 + k] = char((crc >> (24 - 8 * k)) & 0xFF);
  WriteFile(dir + "/huge.png", bytes);
  Decoded d;
  Read(dir + "/huge.png", &d);
  EXPECT_EQ(d.ok, 0);
  EXPECT_FALSE(g_messages.empty());
}

TEST(Pictures, EveryFileInDataHasItsSlotsGeometryAndFormat) {
  RecordMessages();
  const int backgrounds[] = {0, 1, 3, 4, 5, 8, 9, 10, 11, 15, 17, 19, 21};
  const int sprites[] = {12, 13, 16, 18, 20, 22};
  for (int slot : backgrounds) {
    Decoded d;
    Read(g_textureFiles[slot], &d);
    ASSERT_EQ(d.ok, 1) << g_textureFiles[slot];
    EXPECT_EQ(d.width, 1024u) << g_textureFiles[slot];
    EXPECT_EQ(d.height, 512u) << g_textureFiles[slot];
    EXPECT_EQ(d.components, 3) << g_textureFiles[slot];
  }
  for (int slot : sprites) {
    Decoded d;
    Read(g_textureFiles[slot], &d);
    ASSERT_EQ(d.ok, 1) << g_textureFiles[slot];
    EXPECT_EQ(d.width, 512u);
    EXPECT_EQ(d.height, 256u);
    EXPECT_EQ(d.components, 4) << g_textureFiles[slot];
    // Transparent where nothing is drawn: the top-right corner.
    EXPECT_EQ(d.pixels[(0 * 512 + 511) * 4 + 3], 0) << g_textureFiles[slot];
  }
  for (int slot : {16, 18, 20, 22}) {
    // The lettering lies in the lower-left 293x65 and nowhere else.
    Decoded d;
    Read(g_textureFiles[slot], &d);
    int inside = 0, outside = 0;
    for (uint32_t y = 0; y < 256; ++y)
      for (uint32_t x = 0; x < 512; ++x) {
        bool covered = d.pixels[(y * 512 + x) * 4 + 3] > 0;
        (x < 293 && y >= 191 ? inside : outside) += covered;
      }
    EXPECT_GT(inside, 293 * 65 / 5) << g_textureFiles[slot];
    EXPECT_EQ(outside, 0) << g_textureFiles[slot];
  }
  Decoded chrome;
  Read(g_textureFiles[14], &chrome);
  ASSERT_EQ(chrome.ok, 1);
  EXPECT_EQ(chrome.width & (chrome.width - 1), 0u);
  EXPECT_EQ(chrome.height & (chrome.height - 1), 0u);
  EXPECT_TRUE(g_messages.empty());
}

// A FIFO, a directory or a device in place of a picture: the read must fail
// at once without a box, and never wait for a writer that will not come.
TEST(ReadPNG, ANonRegularFileFailsAtOnceWithoutBlocking) {
  RecordMessages();
  ClearMessages();
  std::string dir = TempDir();
  const std::string fifo = dir + "/fifo.png";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir, std::string("/dev/zero")}) {
    auto read = std::async(std::launch::async, [&] {
      Decoded d;
      Read(path, &d);
      return d.ok;
    });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Blocked in open: give it a writer so the test can end.
      int writer = open(fifo.c_str(), O_WRONLY);
      close(writer);
      read.wait();
      ADD_FAILURE() << path << ": the read blocked";
      continue;
    }
    EXPECT_EQ(read.get(), 0) << path;
  }
  EXPECT_TRUE(g_messages.empty());
}

// Chunks the show never uses, small on disk but huge once inflated or
// numerous: skipped unread, so the picture loads as a plain one does, with
// no box and the right pixels.
TEST(ReadPNG, AncillaryChunkBombsAreSkippedAndThePictureLoads) {
  RecordMessages();
  ClearMessages();
  const std::string inflates16M = Deflated(16 << 20);
  std::string bombs;
  for (int i = 0; i < 20; ++i) bombs += PngChunk("zTXt", "Comment" + std::to_string(i) + std::string(2, '\0') + inflates16M);
  bombs += PngChunk("iCCP", std::string("icc\0\0", 5) + Deflated(32 << 20));
  for (int i = 0; i < 3000; ++i) bombs += PngChunk("tEXt", std::string("k\0v", 3));
  for (int i = 0; i < 3000; ++i) bombs += PngChunk("prVt", std::string(8, 'x'));
  std::string dir = TempDir();
  const std::string bytes = BlackPng(64, 32, bombs);
  ASSERT_LT(bytes.size(), 2u << 20);
  WriteFile(dir + "/bomb.png", bytes);
  Decoded d;
  Read(dir + "/bomb.png", &d);
  ASSERT_EQ(d.ok, 1);
  EXPECT_EQ(d.width, 64u);
  EXPECT_EQ(d.height, 32u);
  EXPECT_EQ(d.components, 3);
  EXPECT_EQ(d.pixels[64 * 32 * 3 - 1], 0);
  EXPECT_TRUE(g_messages.empty()) << g_messages.size() << " boxes, the first: " << g_messages[0].text;
}

// No side over 4096: a larger header fails with libpng's box before any row
// is allocated; the largest allowed side still loads.
TEST(ReadPNG, APictureOverItsSizeBudgetIsRefusedAtTheHeader) {
  RecordMessages();
  std::string dir = TempDir();
  struct Case {
    uint32_t width, height;
    int ok;
  } cases[] = {{4096, 2, 1}, {2, 4096, 1}, {4097, 2, 0}, {2, 4097, 0}, {8192, 2, 0}};
  for (const Case& c : cases) {
    ClearMessages();
    const std::string path = dir + "/" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".png";
    WriteFile(path, BlackPng(c.width, c.height));
    Decoded d;
    Read(path, &d);
    EXPECT_EQ(d.ok, c.ok) << path;
    if (c.ok) {
      EXPECT_TRUE(g_messages.empty()) << path;
    } else {
      ASSERT_FALSE(g_messages.empty()) << path;
      EXPECT_EQ(g_messages.back().text, "MyPNGErrorHandler") << path;
    }
  }
}
