// libFuzzer target: any bytes as a picture file must end as a clean success or
// a clean failure of ReadPNG, never a crash, a leak or an over-read.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/message_box.h"
#include "assets/png_reader.h"

static int Silent(MessageKind, const char*, const char*) { return 0; }

static std::string PicturePath() {
  static const std::string path = "/tmp/orvi-fuzz-" + std::to_string(getpid()) + ".png";
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetMessageHook(Silent);
  std::FILE* f = std::fopen(PicturePath().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  if (ReadPNG(PicturePath().c_str(), &components, &width, &height, &pixels)) {
    // Touch the whole buffer: an over-short one shows up under ASan.
    volatile unsigned sum = 0;
    for (size_t i = 0; i < size_t(width) * height * components; ++i) sum += pixels[i];
    std::free(pixels);
  }
  return 0;
}
