// The PNG loader on real files: what it accepts and decodes, what it refuses
// silently (left to the catalogue to report), what fails with libpng's box,
// and that no file can make it block, allocate without bound or crash.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>

#include "assets/png_reader.h"
#include "tests/test_support.h"

namespace {

struct Decoded {
  int ok = 0, components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  ~Decoded() { std::free(pixels); }
};

std::string Written(int width, int height, int type, int depth, int interlace) {
  std::string path = TempDir() + "/picture.png";
  return WritePng(path, width, height, type, depth, interlace) ? ReadFile(path) : "";
}

std::string Rgb8(int width, int height) {
  return Written(width, height, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_NONE);
}

// Chunks the show never uses, small on disk but huge once inflated or
// numerous: they must be skipped unread.
std::string Bombs() {
  const std::string inflates16M = Deflated(16 << 20);
  std::string bombs;
  for (int i = 0; i < 20; ++i) bombs += PngChunk("zTXt", "Comment" + std::to_string(i) + std::string(2, '\0') + inflates16M);
  bombs += PngChunk("iCCP", std::string("icc\0\0", 5) + Deflated(32 << 20));
  for (int i = 0; i < 3000; ++i) bombs += PngChunk("tEXt", std::string("k\0v", 3));
  for (int i = 0; i < 3000; ++i) bombs += PngChunk("prVt", std::string(8, 'x'));
  return BlackPng(64, 32, bombs);
}

}  // namespace

// Every kind of file the loader may meet in place of a picture, with its
// verdict and libpng's box (or none): each read must end within 10 s.
TEST(ReadPNG, EachPictureFaultEndsInItsVerdictAndBox) {
  const std::string box = "MyPNGErrorHandler";
  const std::string good = Rgb8(64, 64);
  const struct Case {
    const char* name;
    std::function<std::string()> bytes;  // what to write; null for a special file
    int ok;
    std::string message;
  } cases[] = {
      {"one pixel", [] { return Rgb8(1, 1); }, 1, ""},
      {"grey", [] { return Written(9, 7, PNG_COLOR_TYPE_GRAY, 8, PNG_INTERLACE_NONE); }, 0, ""},
      {"palette", [] { return Written(9, 7, PNG_COLOR_TYPE_PALETTE, 8, PNG_INTERLACE_NONE); }, 0, ""},
      {"rgb16", [] { return Written(9, 7, PNG_COLOR_TYPE_RGB, 16, PNG_INTERLACE_NONE); }, 0, ""},
      {"interlaced", [] { return Written(9, 7, PNG_COLOR_TYPE_RGB, 8, PNG_INTERLACE_ADAM7); }, 0, ""},
      {"truncated", [&] { return good.substr(0, good.size() / 2); }, 0, box},
      // No side over 4096: refused at the header, before any row is allocated.
      {"4096 wide", [] { return BlackPng(4096, 2); }, 1, ""},
      {"4096 high", [] { return BlackPng(2, 4096); }, 1, ""},
      {"4097 wide", [] { return BlackPng(4097, 2); }, 0, box},
      {"4097 high", [] { return BlackPng(2, 4097); }, 0, box},
      {"chunk bombs", Bombs, 1, ""},
      {"missing", nullptr, 0, ""},
      {"fifo", nullptr, 0, ""},
      {"folder", nullptr, 0, ""},
      {"device", nullptr, 0, ""},
  };
  for (const Case& c : cases) {
    ClearMessages();
    const std::string dir = TempDir();
    std::string path = dir + "/picture.png";
    const std::string name = c.name;
    if (c.bytes) WriteFile(path, c.bytes());
    if (name == "fifo") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    if (name == "folder") path = dir;
    if (name == "device") path = "/dev/zero";
    auto read = std::async(std::launch::async, [path] {
      Decoded d;
      d.ok = ReadPNG(path.c_str(), &d.components, &d.width, &d.height, &d.pixels);
      return std::make_tuple(d.ok, d.pixels == nullptr, d.width * 10000 + d.height);
    });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      WriteFile(path, "");  // a writer for a blocked FIFO, so the test can end
      read.wait();
      ADD_FAILURE() << c.name << ": the read blocked";
      continue;
    }
    auto [ok, noPixels, size] = read.get();
    EXPECT_EQ(ok, c.ok) << c.name;
    EXPECT_EQ(noPixels, !c.ok) << c.name;
    if (name == "chunk bombs") {
      EXPECT_EQ(size, 64u * 10000 + 32) << c.name;
    }
    EXPECT_EQ(LastMessage(), c.message) << c.name << " (" << g_messages.size() << " boxes)";
  }
}
