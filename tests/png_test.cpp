// The PNG loader on real files: what it decodes, what it refuses silently
// (left to the catalogue to report) and what fails with libpng's box. Broken
// data folders, FIFOs and chunk bombs go through the real program (start_test).
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <functional>

#include "assets/png_reader.h"
#include "tests/test_support.h"

static std::string Written(int width, int height, int depth = 8, int interlace = PNG_INTERLACE_NONE) {
  std::string path = TempDir() + "/picture.png";
  return WritePng(path, width, height, depth, interlace) ? ReadFile(path) : "";
}

TEST(ReadPNG, DecodesEightBitRgbUpTo4096ASideAndRefusesTheRest) {
  const std::string box = "MyPNGErrorHandler", good = Written(64, 64);
  const struct {
    const char* name;
    std::function<std::string()> bytes;
    int ok;
    std::string message;
  } cases[] = {
      {"one pixel", [] { return Written(1, 1); }, 1, ""},
      {"rgb16", [] { return Written(9, 7, 16); }, 0, ""},
      {"interlaced", [] { return Written(9, 7, 8, PNG_INTERLACE_ADAM7); }, 0, ""},
      {"truncated", [&] { return good.substr(0, good.size() / 2); }, 0, box},
      // No side over 4096: refused at the header, before any row is allocated.
      {"4096 wide", [] { return Written(4096, 2); }, 1, ""},
      {"4097 wide", [] { return Written(4097, 2); }, 0, box},
      {"4097 high", [] { return Written(2, 4097); }, 0, box},
  };
  for (const auto& c : cases) {
    ClearMessages();
    const std::string path = TempDir() + "/picture.png";
    WriteFile(path, c.bytes());
    int components = 0;
    uint32_t width = 0, height = 0;
    unsigned char* pixels = nullptr;
    EXPECT_EQ(ReadPNG(path.c_str(), &components, &width, &height, &pixels), c.ok) << c.name;
    EXPECT_EQ(pixels != nullptr, c.ok == 1) << c.name;
    std::free(pixels);
    EXPECT_EQ(LastMessage(), c.message) << c.name << " (" << g_messages.size() << " boxes)";
  }
}
