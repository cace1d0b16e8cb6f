// Composes the show's soundtrack and writes it as a FastTracker 2 module:
//   xm_composer MODULE_DATA.cpp [TUNE.xm]
// The timeline is the score's source of truth: every beat pulse gets a drum hit
// on its row, every scene change a crash on its downbeat, every flash an accent.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "demo/timeline.h"

namespace {

const int kChannels = 4, kPatterns = 18, kRows = 48, kInstruments = 31;
const int kRowMs = 75;                       // 3 ticks at 100 BPM
const int kPatternMs = kRows * kRowMs;       // 3.6 s
const int kSlowRow = 23;                     // last pattern slows to 31 ticks a row here
const double kSampleRate = 16726.0;          // C-4 plays a drum at this rate (relative note 12)
const double kHalfRate = 8363.0;

enum Channel { Drums, Bass, Chords, Lead };

struct Cell {
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct Sample {
  std::string name;
  std::vector<float> data;  // -1..1
  uint32_t loopStart = 0, loopLength = 0;
  int relativeNote = 0, finetune = 0;
  uint8_t volume = 64, panning = 128;
  std::vector<std::pair<int, int>> envelope;  // volume envelope (tick, 0..64)
  int sustain = -1;
  uint16_t fadeout = 0;
};

// Instrument numbers (1-based, as in the pattern data).
enum Instrument {
  Kick = 1, Snare, Clap, HatClosed, HatOpen, Crash, Tom, Rim, Zap, Boom,
  BassSaw, BassSub, BassPluck, PadSaw, PadOrgan, PadChoir, ArpSquare, ArpPulse, LeadSquare,
  LeadSaw, LeadSoft, Bell, Strings, Brass, Glass, NoiseSweep, Riser, Drop, Blip, Chime, Drone,
};

std::mt19937 g_random(1986);
float Noise() { return std::uniform_real_distribution<float>(-1, 1)(g_random); }

// A drum sampled at kSampleRate, unlooped.
// Long, dull sounds are sampled at half the rate to keep the module small.
Sample Drum(const char* name, double seconds, float (*voice)(double t, double seconds),
            double rate = kSampleRate) {
  Sample s;
  s.name = name;
  for (int i = 0; i < int(seconds * rate); ++i) s.data.push_back(voice(i / rate, seconds));
  s.relativeNote = int(std::lround(12 * std::log2(rate / 8363.0)));
  return s;
}

// One looped stretch of `cycles` periods, `length` samples, tuned so note C-4
// sounds at middle C.
Sample Tone(const char* name, int length, int cycles, float (*wave)(double phase, int harmonic)) {
  Sample s;
  s.name = name;
  for (int i = 0; i < length; ++i) {
    double phase = double(i) * cycles / length;
    s.data.push_back(wave(phase - std::floor(phase), i));
  }
  s.loopStart = 0;
  s.loopLength = uint32_t(length);
  double semitones = 12 * std::log2(261.6256 * length / cycles / 8363.0);
  s.relativeNote = int(std::lround(semitones));
  s.finetune = int(std::lround((semitones - s.relativeNote) * 128));
  if (s.finetune > 127) s.finetune = 127;
  return s;
}

float Saw(double p, int) { return float(2 * p - 1); }
// Band-limited: hard edges would hiss over the drums at these sample rates.
float Square(double p, int) {
  double v = 0;
  for (int h = 1; h <= 9; h += 2) v += std::sin(2 * M_PI * h * p) / h;
  return float(v * 0.75);
}
float Pulse25(double p, int) {
  double v = 0;
  for (int h = 1; h <= 10; ++h) v += std::sin(M_PI * h * 0.25) * std::cos(2 * M_PI * h * (p - 0.125)) / h;
  return float(v * 0.9);
}
float Sine(double p, int) { return float(std::sin(2 * M_PI * p)); }
float Triangle(double p, int) { return float(p < 0.5 ? 4 * p - 1 : 3 - 4 * p); }
float Organ(double p, int) {
  return float(0.6 * std::sin(2 * M_PI * p) + 0.3 * std::sin(4 * M_PI * p) + 0.2 * std::sin(8 * M_PI * p));
}
float SoftSaw(double p, int) {
  double v = 0;
  for (int h = 1; h <= 6; ++h) v += std::sin(2 * M_PI * h * p) / h;
  return float(v * 0.55);
}
float Hollow(double p, int) { return float(0.7 * std::sin(2 * M_PI * p) + 0.3 * std::sin(6 * M_PI * p)); }
float BellWave(double p, int) {
  return float(0.6 * std::sin(2 * M_PI * p) + 0.4 * std::sin(2 * M_PI * 3 * p) * std::sin(2 * M_PI * p));
}

// Detuned pair over a long loop: 32 and 33 periods beat slowly, like a chorus.
float ChorusSaw(double, int i) {
  double a = std::fmod(i * 32.0 / 2048, 1.0), b = std::fmod(i * 32.5 / 2048, 1.0);
  return float((2 * a - 1) * 0.45 + (2 * b - 1) * 0.45);
}
float ChorusSquare(double, int i) {
  double a = std::fmod(i * 16.0 / 1024, 1.0), b = std::fmod(i * 16.25 / 1024, 1.0);
  return 0.5f * (Square(a, 0) + Square(b, 0));
}

float KickVoice(double t, double) {
  double pitch = 50 + 140 * std::exp(-t * 30);
  static double phase = 0;
  if (t == 0) phase = 0;
  phase += pitch / kSampleRate;
  return float(std::sin(2 * M_PI * phase) * std::exp(-t * 9) * 1.0);
}
float SnareVoice(double t, double) {
  return float((0.6 * Noise() * std::exp(-t * 18)) + 0.5 * std::sin(2 * M_PI * 185 * t) * std::exp(-t * 25));
}
float ClapVoice(double t, double) {
  double env = std::exp(-std::fmod(t, 0.011) * 250) * (t < 0.033 ? 1 : 0) + std::exp(-(t - 0.033) * 20) * (t >= 0.033 ? 1 : 0);
  return float(Noise() * env * 0.8);
}
float HatClosedVoice(double t, double) {
  static float last = 0;
  float n = Noise();
  float high = n - last;
  last = n;
  return float(high * 0.5 * std::exp(-t * 60));
}
float HatOpenVoice(double t, double) {
  static float last = 0;
  float n = Noise();
  float high = n - last;
  last = n;
  return float(high * 0.45 * std::exp(-t * 9));
}
float CrashVoice(double t, double s) {
  static float last = 0;
  float n = Noise();
  float high = 0.7f * n - 0.3f * last;
  last = n;
  return float(high * std::exp(-t * 4.0) * (1 - t / s));
}
float TomVoice(double t, double) {
  return float(std::sin(2 * M_PI * (110 * t + 30 * (1 - std::exp(-t * 20)) / 20)) * std::exp(-t * 8));
}
float RimVoice(double t, double) {
  return float((std::sin(2 * M_PI * 900 * t) * 0.6 + Noise() * 0.3) * std::exp(-t * 70));
}
float ZapVoice(double t, double) {
  return float(std::sin(2 * M_PI * (1800 * t - 4000 * t * t)) * std::exp(-t * 12) * 0.8);
}
float BoomVoice(double t, double) {
  return float((std::sin(2 * M_PI * (40 * t + 60 * (1 - std::exp(-t * 8)) / 8)) * 0.8 + Noise() * 0.2 * std::exp(-t * 10)) * std::exp(-t * 3));
}
float SweepVoice(double t, double s) {
  return float(Noise() * std::sin(M_PI * t / s) * 0.6);
}
float RiserVoice(double t, double s) {
  return float(std::sin(2 * M_PI * (200 * t + 400 * t * t / s)) * (t / s) * 0.7);
}
float DropVoice(double t, double) {
  return float(std::sin(2 * M_PI * (600 * t - 500 * t * t)) * std::exp(-t * 5) * 0.8);
}
float BlipVoice(double t, double) { return float(Square(std::fmod(t * 1320, 1.0), 0) * std::exp(-t * 40)); }
float ChimeVoice(double t, double) {
  return float((std::sin(2 * M_PI * 1046.5 * t) + 0.5 * std::sin(2 * M_PI * 2093 * t * 1.01)) * 0.5 * std::exp(-t * 6));
}

std::vector<std::pair<int, int>> Envelope(std::initializer_list<std::pair<int, int>> points) { return points; }

std::vector<Sample> Instruments() {
  std::vector<Sample> s(kInstruments);
  s[Kick - 1] = Drum("kick", 0.16, KickVoice);
  s[Snare - 1] = Drum("snare", 0.15, SnareVoice);
  s[Clap - 1] = Drum("clap", 0.14, ClapVoice);
  s[HatClosed - 1] = Drum("hat closed", 0.05, HatClosedVoice);
  s[HatOpen - 1] = Drum("hat open", 0.15, HatOpenVoice);
  s[Crash - 1] = Drum("crash", 0.5, CrashVoice, kHalfRate);
  s[Tom - 1] = Drum("tom", 0.16, TomVoice);
  s[Rim - 1] = Drum("rim", 0.04, RimVoice);
  s[Zap - 1] = Drum("zap", 0.12, ZapVoice);
  s[Boom - 1] = Drum("boom", 0.25, BoomVoice, kHalfRate);
  s[BassSaw - 1] = Tone("bass saw", 64, 1, SoftSaw);
  s[BassSub - 1] = Tone("bass sub", 64, 1, Triangle);
  s[BassPluck - 1] = Tone("bass pluck", 64, 1, Pulse25);
  s[PadSaw - 1] = Tone("pad chorus", 2048, 32, ChorusSaw);
  s[PadOrgan - 1] = Tone("pad organ", 64, 1, Organ);
  s[PadChoir - 1] = Tone("pad hollow", 64, 1, Hollow);
  s[ArpSquare - 1] = Tone("arp square", 1024, 16, ChorusSquare);
  s[ArpPulse - 1] = Tone("arp pulse", 64, 1, Pulse25);
  s[LeadSquare - 1] = Tone("lead square", 32, 1, Square);
  s[LeadSaw - 1] = Tone("lead saw", 64, 1, SoftSaw);
  s[LeadSoft - 1] = Tone("lead soft", 32, 1, Sine);
  s[Bell - 1] = Tone("bell", 64, 1, BellWave);
  s[Strings - 1] = Tone("strings", 2048, 32, ChorusSaw);
  s[Brass - 1] = Tone("brass", 64, 1, Saw);
  s[Glass - 1] = Tone("glass", 32, 1, Triangle);
  s[NoiseSweep - 1] = Drum("sweep", 0.3, SweepVoice, kHalfRate);
  s[Riser - 1] = Drum("riser", 0.4, RiserVoice, kHalfRate);
  s[Drop - 1] = Drum("drop", 0.25, DropVoice, kHalfRate);
  s[Blip - 1] = Drum("blip", 0.06, BlipVoice);
  s[Chime - 1] = Drum("chime", 0.2, ChimeVoice);
  s[Drone - 1] = Tone("drone", 1024, 16, ChorusSquare);
  // Tonal instruments shape their notes with volume envelopes (ticks of 25 ms).
  for (Instrument i : {BassSaw, BassSub, BassPluck}) {
    s[i - 1].envelope = Envelope({{0, 64}, {4, 48}, {12, 34}, {40, 26}});
    s[i - 1].sustain = 3;
    s[i - 1].fadeout = 2048;
  }
  for (Instrument i : {PadSaw, PadOrgan, PadChoir, Strings, Drone}) {
    s[i - 1].envelope = Envelope({{0, 0}, {6, 40}, {20, 34}, {60, 30}});
    s[i - 1].sustain = 3;
    s[i - 1].fadeout = 512;
    s[i - 1].volume = 40;
  }
  for (Instrument i : {ArpSquare, ArpPulse}) {
    s[i - 1].envelope = Envelope({{0, 56}, {6, 36}, {30, 28}});
    s[i - 1].sustain = 2;
    s[i - 1].fadeout = 1024;
    s[i - 1].volume = 26;
  }
  for (Instrument i : {LeadSquare, LeadSaw, LeadSoft, Brass, Glass}) {
    s[i - 1].envelope = Envelope({{0, 20}, {2, 60}, {8, 46}, {48, 40}});
    s[i - 1].sustain = 3;
    s[i - 1].fadeout = 1024;
    s[i - 1].volume = 44;
  }
  s[Bell - 1].envelope = Envelope({{0, 64}, {10, 30}, {40, 8}, {80, 0}});
  s[Bell - 1].volume = 44;
  return s;
}

// Notes: 1 = C-0, so C-4 = 49.
int Note(int semitoneFromC4) { return 49 + semitoneFromC4; }

struct Song {
  Cell cells[kPatterns][kRows][kChannels];
  Cell& at(int pattern, int row, int channel) { return cells[pattern][row][channel]; }
};

// Chords as (root semitone from A-2 bass, arpeggio intervals).
struct Chord {
  int root;    // semitones from A
  int third;   // arpeggio x
  int fifth;   // arpeggio y
};
const Chord Am{0, 3, 7}, F{-4, 4, 7}, C{3, 4, 7}, G{-2, 4, 7}, Dm{5, 3, 7}, E{7, 4, 7},
    Em{7, 3, 7}, Bb{1, 4, 7};

// Section of the show each pattern plays under.
enum Section { Intro, Title, Blood, Prison, Phone, Credits, Ending };
Section SectionOf(int pattern) {
  if (pattern == 0) return Intro;
  if (pattern == 1) return Title;
  if (pattern <= 5) return Blood;
  if (pattern <= 9) return Prison;
  if (pattern <= 13) return Phone;
  if (pattern <= 16) return Credits;
  return Ending;
}

void Progression(Section section, int pattern, Chord* first, Chord* second) {
  switch (section) {
    case Intro: *first = Am, *second = Am; break;
    case Title: *first = F, *second = G; break;
    case Blood: *first = pattern % 2 ? C : Am, *second = pattern % 2 ? G : F; break;
    case Prison: *first = pattern % 2 ? Bb : Dm, *second = pattern % 2 ? E : Am; break;
    case Phone: *first = pattern % 2 ? F : Am, *second = pattern % 2 ? G : Em; break;
    case Credits: *first = pattern % 2 ? C : Am, *second = pattern % 2 ? G : F; break;
    case Ending: *first = F, *second = Am; break;
  }
}

// Melodies as scale degrees of A minor per row pairs; -99 is a rest.
const int kScale[] = {0, 2, 3, 5, 7, 8, 10};
int Degree(int d) {
  int octave = d >= 0 ? d / 7 : -((-d + 6) / 7);
  return kScale[d - octave * 7] + 12 * octave;
}
const int kRest = -99;
const int kThemeA[16] = {4, kRest, 4, 5, 4, 2, 0, kRest, 2, 3, 4, kRest, 7, 6, 4, kRest};
const int kThemeB[16] = {0, kRest, kRest, 1, 2, kRest, 1, kRest, 0, kRest, -1, kRest, -3, kRest, kRest, kRest};
const int kThemeC[16] = {7, 9, 7, 4, 5, 7, 4, 2, 4, 5, 7, 9, 11, 9, 7, kRest};

void WriteBar(Song& song, int pattern, int firstRow, Chord chord, Section section, int variation) {
  // Bass: eighths (every 3 rows) on the root, octave up on the offbeats.
  int bassInstrument = section == Prison ? BassSub : (section == Phone ? BassPluck : BassSaw);
  for (int r = 0; r < 24; r += 3) {
    if (section == Intro && r % 12 != 0) continue;
    int octave = (r / 3) % 2 && section != Intro ? 12 : 0;
    Cell& c = song.at(pattern, firstRow + r, Bass);
    c.note = uint8_t(Note(chord.root - 24 + 9 + octave));  // A-2 is 9 - 24 from C-4
    c.instrument = uint8_t(bassInstrument);
  }
  // Chords: an arpeggiated pad note each beat, the classic tracker chord.
  int padInstrument = section == Prison ? Drone
                      : section == Phone ? ArpSquare
                      : section == Credits ? Strings
                      : PadSaw;
  for (int r = 0; r < 24; r += section == Phone ? 6 : 12) {
    Cell& c = song.at(pattern, firstRow + r, Chords);
    c.note = uint8_t(Note(chord.root + 9 - 12));
    c.instrument = uint8_t(padInstrument);
    c.param = uint8_t(chord.third << 4 | chord.fifth);
  }
  // Lead: the section's theme, a note every 3 rows (half a beat).
  const int* theme = section == Prison ? kThemeB : section == Phone ? kThemeC : kThemeA;
  int leadInstrument = section == Prison ? LeadSoft
                       : section == Phone ? LeadSquare
                       : section == Credits ? Brass
                       : LeadSaw;
  if (section == Intro || section == Title) return;
  for (int k = 0; k < 8; ++k) {
    int degree = theme[(variation * 8 + k) % 16];
    if (degree == kRest) continue;
    Cell& c = song.at(pattern, firstRow + 3 * k, Lead);
    c.note = uint8_t(Note(Degree(degree) + 9));
    c.instrument = uint8_t(leadInstrument);
    if (section == Credits || section == Blood) {
      c.effect = 4;  // vibrato on held notes
      c.param = 0x24;
    }
  }
}

void WriteDrums(Song& song, int pattern, Section section) {
  for (int r = 0; r < kRows; ++r) {
    Cell& c = song.at(pattern, r, Drums);
    int instrument = 0;
    if (section == Intro) {
      if (r % 12 == 0) instrument = Boom;
    } else if (section == Title) {
      if (r % 6 == 0) instrument = r % 12 == 0 ? Kick : Tom;
      else if (r % 3 == 0) instrument = HatClosed;
    } else {
      if (r % 12 == 0) instrument = Kick;
      else if (r % 12 == 6) instrument = section == Prison ? Clap : Snare;
      else if (r % 3 == 0) instrument = r % 6 == 3 && section == Phone ? HatOpen : HatClosed;
      else if (section == Phone && r % 12 == 10) instrument = Kick;
    }
    if (instrument) {
      c.note = uint8_t(Note(0));
      c.instrument = uint8_t(instrument);
    }
  }
}

// Puts `instrument` on the drum channel at the row nearest to `timeMs`.
void Hit(Song& song, uint64_t timeMs, int instrument, int volume) {
  int pattern = int(timeMs / kPatternMs);
  int row = int(((timeMs % kPatternMs) + kRowMs / 2) / kRowMs);
  if (row >= kRows) row = kRows - 1;
  if (pattern >= kPatterns) return;
  Cell& c = song.at(pattern, row, Drums);
  c.note = uint8_t(Note(0));
  c.instrument = uint8_t(instrument);
  c.volume = uint8_t(0x10 + volume);  // volume column: set volume 0..64
}

Song Compose() {
  Song song;
  for (int p = 0; p < kPatterns; ++p) {
    Section section = SectionOf(p);
    Chord first, second;
    Progression(section, p, &first, &second);
    WriteDrums(song, p, section);
    WriteBar(song, p, 0, first, section, p % 2);
    WriteBar(song, p, 24, second, section, (p + 1) % 2);
  }

  // The picture scene (from 49.5 s) is a break: only the greetings' hits.
  for (int r = 36; r < kRows; ++r)
    for (int ch = 0; ch < kChannels; ++ch) song.at(13, r, ch) = Cell();
  song.at(13, 36, Chords) = Cell{uint8_t(Note(-3)), PadChoir, 0, 0, 0x37};
  song.at(13, 36, Bass) = Cell{uint8_t(Note(-27)), BassSub, 0, 0, 0};

  // The ending: a last phrase, then from row 23 the song slows to 775 ms rows
  // and lets the final chords ring.
  const int last = kPatterns - 1;
  for (int r = kSlowRow; r < kRows; ++r)
    for (int ch = 0; ch < kChannels; ++ch) song.at(last, r, ch) = Cell();
  song.at(last, kSlowRow, Drums) = Cell{uint8_t(Note(0)), Crash, 0, 0, 0};
  song.at(last, kSlowRow, Bass) = Cell{uint8_t(Note(-31)), BassSaw, 0, 0, 0};
  song.at(last, kSlowRow, Chords) = Cell{uint8_t(Note(-7)), Strings, 0, 0, 0x47};
  song.at(last, kSlowRow, Lead) = Cell{uint8_t(Note(9)), Bell, 0, 0, 0};
  const int endingBass[] = {-31, -34, -36, -39};  // F, D, C, A
  for (int k = 1; k < 4; ++k) {
    int r = kSlowRow + 6 * k;
    song.at(last, r, Bass) = Cell{uint8_t(Note(endingBass[k])), BassSaw, 0, 0, 0};
    song.at(last, r, Lead) = Cell{uint8_t(Note(k == 3 ? 9 : 12 - 2 * k)), Bell, 0, 0, 0};
    song.at(last, r, Drums) = Cell{uint8_t(Note(0)), k == 3 ? Crash : Boom, 0, 0, 0};
  }
  song.at(last, kSlowRow + 18, Chords) = Cell{uint8_t(Note(-3)), Strings, 0, 0, 0x37};
  song.at(last, kRows - 1, Chords) = Cell{97, 0, 0, 0, 0};  // key off the last chord
  song.at(last, kRows - 1, Lead) = Cell{97, 0, 0, 0, 0};

  // The score follows the timeline.
  for (const TimelineEvent& event : g_timeline) {
    switch (event.type) {
      case EventPulse:
        Hit(song, event.timeMs, event.timeMs % 900 == 450 ? Snare : Clap, 64);
        break;
      case EventCut:
        if (event.timeMs > 0) Hit(song, event.timeMs + kCutToSceneMs, Crash, 60);
        break;
      case EventFlash:
        Hit(song, event.timeMs + kCutToSceneMs, Zap, 56);
        break;
      case EventShowZmb:
      case EventShowQvt:
        Hit(song, event.timeMs, Chime, 60);
        break;
      default:
        break;
    }
  }
  song.at(0, 0, Drums) = Cell{uint8_t(Note(0)), Crash, 0, 0, 0};

  // Timing: 100 BPM and 3 ticks a row from the first row; 31 ticks a row at
  // the ending. Effects go on the lead channel's free effect column.
  song.at(0, 0, Lead).effect = 0xF;
  song.at(0, 0, Lead).param = 100;
  song.at(0, 0, Chords).effect = 0xF;
  song.at(0, 0, Chords).param = 3;
  song.at(0, 0, Chords).note = uint8_t(Note(-3));
  song.at(0, 0, Chords).instrument = PadSaw;
  song.at(last, kSlowRow, Drums).effect = 0xF;
  song.at(last, kSlowRow, Drums).param = 31;
  return song;
}

struct Writer {
  std::vector<uint8_t> bytes;
  void U8(int v) { bytes.push_back(uint8_t(v)); }
  void U16(int v) { U8(v & 0xFF), U8((v >> 8) & 0xFF); }
  void U32(uint32_t v) { U16(int(v & 0xFFFF)), U16(int(v >> 16)); }
  void Text(const std::string& s, size_t size, char pad) {
    for (size_t i = 0; i < size; ++i) U8(i < s.size() ? s[i] : pad);
  }
};

std::vector<uint8_t> PackPattern(const Song& song, int p) {
  std::vector<uint8_t> out;
  for (int r = 0; r < kRows; ++r)
    for (int ch = 0; ch < kChannels; ++ch) {
      const Cell& c = song.cells[p][r][ch];
      uint8_t mask = 0x80;
      if (c.note) mask |= 1;
      if (c.instrument) mask |= 2;
      if (c.volume) mask |= 4;
      if (c.effect) mask |= 8;
      if (c.param) mask |= 16;
      out.push_back(mask);
      if (c.note) out.push_back(c.note);
      if (c.instrument) out.push_back(c.instrument);
      if (c.volume) out.push_back(c.volume);
      if (c.effect) out.push_back(c.effect);
      if (c.param) out.push_back(c.param);
    }
  return out;
}

std::vector<uint8_t> WriteModule(const Song& song, const std::vector<Sample>& samples) {
  Writer w;
  w.Text("Extended Module: ", 17, ' ');
  w.Text("Orvi: Tonaro", 20, ' ');
  w.U8(0x1A);
  w.Text("FastTracker v2.00", 20, ' ');
  w.U16(0x0104);
  w.U32(276);
  w.U16(kPatterns);  // song length
  w.U16(0);          // restart position
  w.U16(kChannels);
  w.U16(kPatterns);
  w.U16(kInstruments);
  w.U16(0);  // Amiga frequency table
  w.U16(6);
  w.U16(125);
  for (int i = 0; i < 256; ++i) w.U8(i < kPatterns ? i : 0);
  for (int p = 0; p < kPatterns; ++p) {
    std::vector<uint8_t> packed = PackPattern(song, p);
    w.U32(9);
    w.U8(0);
    w.U16(kRows);
    w.U16(int(packed.size()));
    w.bytes.insert(w.bytes.end(), packed.begin(), packed.end());
  }
  for (const Sample& s : samples) {
    w.U32(263);
    w.Text(s.name, 22, '\0');
    w.U8(0);
    w.U16(1);
    w.U32(40);
    for (int i = 0; i < 96; ++i) w.U8(0);
    for (int i = 0; i < 12; ++i) {
      bool used = i < int(s.envelope.size());
      w.U16(used ? s.envelope[i].first : 0);
      w.U16(used ? s.envelope[i].second : 0);
    }
    for (int i = 0; i < 12; ++i) w.U16(0), w.U16(32);
    w.U8(int(s.envelope.size()));
    w.U8(0);
    w.U8(s.sustain < 0 ? 0 : s.sustain);
    w.U8(0);
    w.U8(0);
    w.U8(0);
    w.U8(0);
    w.U8(0);
    w.U8(s.envelope.empty() ? 0 : (1 | (s.sustain >= 0 ? 2 : 0)));
    w.U8(0);
    w.U8(0), w.U8(0), w.U8(0), w.U8(0);  // no auto-vibrato
    w.U16(s.fadeout);
    for (int i = 0; i < 22; ++i) w.U8(0);
    // Sample header, then its delta-coded 8-bit data.
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
    int8_t previous = 0;
    for (float v : s.data) {
      int value = int(std::lround(std::fmax(-1.0f, std::fmin(1.0f, v)) * 127));
      w.U8(uint8_t(int8_t(value - previous)));
      previous = int8_t(value);
    }
  }
  return w.bytes;
}

bool WriteFile(const char* path, const std::string& text) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xm_composer MODULE_DATA.cpp [TUNE.xm]\n");
    return 2;
  }
  std::vector<uint8_t> module = WriteModule(Compose(), Instruments());
  std::string source = "// Generated by tools/xm_composer; do not edit.\n#include <cstddef>\n\n";
  source += "extern const unsigned char g_moduleData[] = {";
  for (size_t i = 0; i < module.size(); ++i) {
    if (i % 24 == 0) source += "\n ";
    source += " " + std::to_string(module[i]) + ",";
  }
  source += "\n};\nextern const size_t g_moduleSize = sizeof g_moduleData;\n";
  if (!WriteFile(argv[1], source)) {
    std::perror(argv[1]);
    return 1;
  }
  if (argc > 2 && !WriteFile(argv[2], std::string(module.begin(), module.end()))) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
