// The XM file's layout: the header and order table, every pattern packed, then
// every instrument with its one sample, delta-coded.
#include "generators/xm_writer.h"

#include <cmath>
#include <string>

namespace {

struct Bytes {
  std::vector<uint8_t> out;
  void U8(int v) { out.push_back(uint8_t(v)); }
  void U16(int v) { U8(v & 0xFF), U8((v >> 8) & 0xFF); }
  void U32(uint32_t v) { U16(int(v & 0xFFFF)), U16(int(v >> 16)); }
  void Text(const std::string& s, size_t size, char pad) {
    for (size_t i = 0; i < size; ++i) U8(i < s.size() ? s[i] : pad);
  }
};

// A mask byte, then only the fields the cell uses.
std::vector<uint8_t> Pack(const std::vector<XmCell>& cells) {
  std::vector<uint8_t> out;
  for (const XmCell& c : cells) {
    uint8_t mask = 0x80;
    if (c.note) mask |= 1;
    if (c.instrument) mask |= 2;
    if (c.volume) mask |= 4;
    if (c.effect) mask |= 8;
    if (c.param) mask |= 16;
    out.push_back(mask);
    for (uint8_t field : {c.note, c.instrument, c.volume, c.effect, c.param})
      if (field) out.push_back(field);
  }
  return out;
}

void Instrument(const XmSample& s, Bytes& w) {
  w.U32(263);
  w.Text(s.name, 22, '\0');
  w.U8(0);
  w.U16(1);
  w.U32(40);
  for (int i = 0; i < 96; ++i) w.U8(0);  // every note plays the one sample
  for (size_t i = 0; i < 12; ++i) {
    bool used = i < s.envelope.size();
    w.U16(used ? s.envelope[i].first : 0);
    w.U16(used ? s.envelope[i].second : 0);
  }
  for (int i = 0; i < 12; ++i) w.U16(0), w.U16(32);  // panning envelope, unused
  w.U8(int(s.envelope.size()));
  w.U8(0);
  w.U8(s.sustain < 0 ? 0 : s.sustain);
  w.U8(0), w.U8(0);  // no volume loop
  w.U8(0), w.U8(0), w.U8(0);
  w.U8(s.envelope.empty() ? 0 : (1 | (s.sustain >= 0 ? 2 : 0)));
  w.U8(0);
  w.U8(0), w.U8(0), w.U8(0), w.U8(0);  // no auto-vibrato
  w.U16(s.fadeout);
  for (int i = 0; i < 22; ++i) w.U8(0);
  w.U32(uint32_t(s.data.size()));
  w.U32(s.loopStart);
  w.U32(s.loopLength);
  w.U8(s.volume);
  w.U8(uint8_t(int8_t(s.finetune)));
  w.U8(s.loopLength ? 1 : 0);
  w.U8(s.panning);
  w.U8(uint8_t(int8_t(s.relativeNote)));
  w.U8(0);
  w.Text(s.name, 22, '\0');
  // Every sample uses the whole 8-bit range; the mix is set by volumes.
  float top = 1e-6f;
  for (float v : s.data) top = std::fmax(top, std::fabs(v));
  int8_t previous = 0;
  for (float v : s.data) {
    int value = int(std::lround(v / top * 127));
    w.U8(uint8_t(int8_t(value - previous)));
    previous = int8_t(value);
  }
}

}  // namespace

std::vector<uint8_t> WriteXm(const XmModule& module) {
  Bytes w;
  const int patterns = int(module.patterns.size());
  w.Text("Extended Module: ", 17, ' ');
  w.Text(module.name, 20, ' ');
  w.U8(0x1A);
  w.Text("FastTracker v2.00", 20, ' ');
  w.U16(0x0104);
  w.U32(276);
  w.U16(patterns);  // song length: each pattern once, in order
  w.U16(0);         // restart position
  w.U16(module.channels);
  w.U16(patterns);
  w.U16(int(module.instruments.size()));
  w.U16(0);  // Amiga frequency table
  w.U16(6);  // the first row sets the song's own speed and tempo
  w.U16(125);
  for (int i = 0; i < 256; ++i) w.U8(i < patterns ? i : 0);
  for (const std::vector<XmCell>& cells : module.patterns) {
    std::vector<uint8_t> packed = Pack(cells);
    w.U32(9);
    w.U8(0);
    w.U16(module.rows);
    w.U16(int(packed.size()));
    w.out.insert(w.out.end(), packed.begin(), packed.end());
  }
  for (const XmSample& s : module.instruments) Instrument(s, w);
  return w.out;
}
