// A FastTracker 2 module as the composer builds it: pattern cells, and
// instruments of one sample each with a volume envelope.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct XmCell {
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct XmSample {
  std::string name;
  std::vector<float> data;  // any scale: written normalised to the full 8-bit range
  uint32_t loopStart = 0, loopLength = 0;
  int relativeNote = 0, finetune = 0;
  uint8_t volume = 64, panning = 128;
  std::vector<std::pair<int, int>> envelope;  // volume envelope (tick, 0..64)
  int sustain = -1;                           // envelope point held until key-off; -1 none
  uint16_t fadeout = 0;
};

struct XmModule {
  std::string name;
  int channels = 0, rows = 0;                 // rows of every pattern
  std::vector<std::vector<XmCell>> patterns;  // rows × channels cells each, row by row
  std::vector<XmSample> instruments;
};

// Pattern notes: 1 = C-0, so C-4 = 49; 97 releases the note.
inline int XmNote(int semitoneFromC4) { return 49 + semitoneFromC4; }
const int kXmKeyOff = 97;
inline int XmVolume(int v) { return 0x10 + v; }  // volume column: set volume 0..64
