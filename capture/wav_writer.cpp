#include "capture/wav_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

static void Put16(std::FILE* f, int v) {
  std::fputc(v & 0xFF, f);
  std::fputc((v >> 8) & 0xFF, f);
}
static void Put32(std::FILE* f, uint32_t v) {
  Put16(f, int(v & 0xFFFF));
  Put16(f, int(v >> 16));
}

bool WriteWav(const std::string& path, const std::vector<float>& stereo, int rate) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  uint32_t bytes = uint32_t(stereo.size() * 2);
  std::fputs("RIFF", f);
  Put32(f, 36 + bytes);
  std::fputs("WAVEfmt ", f);
  Put32(f, 16);
  Put16(f, 1);  // PCM
  Put16(f, 2);
  Put32(f, uint32_t(rate));
  Put32(f, uint32_t(rate) * 4);
  Put16(f, 4);
  Put16(f, 16);
  std::fputs("data", f);
  Put32(f, bytes);
  for (float v : stereo) Put16(f, int(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767)));
  bool ok = !std::ferror(f);
  return std::fclose(f) == 0 && ok;
}
