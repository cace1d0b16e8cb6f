// Composes the show's soundtrack and writes it as a FastTracker 2 module:
//   xm_composer MODULE_DATA.cpp [TUNE.xm]
// The timeline is the score's source of truth: its cuts say which part of the
// tune plays where, every beat pulse gets a drum hit on its row, every scene
// change a crash where the new scene appears, every flash an accent. The tune
// ends inside the show: a cadence on the slow rows that has faded to a whisper
// by 66.5 s.
// The composer refuses to write a tune with a wrong note on a beat.
#include <algorithm>
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
const double kCrashRate = 33452.0;           // relative note 24: cymbal content up to 12 kHz

// Drums carry the kick, snare, hats and every timeline hit but the crash; the
// chords are one arpeggiated note; the lead rests where a scene begins, so the
// crash there rings on its channel.
enum Channel { Drums, Bass, Chords, Lead };

struct Cell {
  uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct Sample {
  std::string name;
  std::vector<float> data;  // any scale: written normalised to the full 8-bit range
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

// Band-limited: hard edges would hiss over the drums at these sample rates.
float Square(double p, int) {
  double v = 0;
  for (int h = 1; h <= 9; h += 2) v += std::sin(2 * M_PI * h * p) / h;
  return float(v * 0.75);
}
// The lead's square, rounded off above the seventh harmonic: a bright top
// would sit in the crash's band and fizz when played high.
float SoftSquare(double p, int) {
  double v = 0;
  for (int h = 1; h <= 7; h += 2) v += std::sin(2 * M_PI * h * p) / std::pow(h, 1.6);
  return float(v);
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

// Two-pole filter (RBJ biquad) for shaping noise.
struct Biquad {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  Biquad(double hz, double rate, bool highPass) {
    double w = 2 * M_PI * hz / rate, alpha = std::sin(w) / (2 * 0.7071), c = std::cos(w);
    double a0 = 1 + alpha;
    b1 = (highPass ? -(1 + c) : (1 - c)) / a0;
    b0 = b2 = (highPass ? (1 + c) : (1 - c)) / 2 / a0;
    a1 = -2 * c / a0;
    a2 = (1 - alpha) / a0;
  }
  double operator()(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};

float KickVoice(double t, double) {
  double pitch = 50 + 140 * std::exp(-t * 30);
  static double phase = 0;
  if (t == 0) phase = 0;
  phase += pitch / kSampleRate;
  return float(std::sin(2 * M_PI * phase) * std::exp(-t * 6));
}
// Sampled at the crash's rate, so its crack reaches above a ringing crash.
float SnareVoice(double t, double) {
  static Biquad low1(11000, kCrashRate, false), low2(11000, kCrashRate, false);
  double noise = low2(low1(Noise()));
  return float(1.1 * noise * std::exp(-t * 18) + 0.65 * std::sin(2 * M_PI * 185 * t) * std::exp(-t * 25));
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
// Noise from 5.5 to 10.5 kHz: the first 0.3 s carries the hit, the rest is a level
// stretch the sample loops while the instrument's envelope lets it decay.
// Nothing is left near the sample's top, which the player would mirror above 14 kHz.
float CrashVoice(double t, double) {
  static Biquad high1(5500, kCrashRate, true), high2(5500, kCrashRate, true);
  static Biquad low1(10500, kCrashRate, false), low2(10500, kCrashRate, false);
  double v = low2(low1(high2(high1(Noise()))));
  return float(2.2 * v * (0.75 + 0.25 * std::exp(-t * 12)));
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
  s[Kick - 1] = Drum("kick", 0.22, KickVoice);
  s[Snare - 1] = Drum("snare", 0.15, SnareVoice, kCrashRate);
  s[Clap - 1] = Drum("clap", 0.14, ClapVoice);
  s[HatClosed - 1] = Drum("hat closed", 0.05, HatClosedVoice);
  s[HatOpen - 1] = Drum("hat open", 0.15, HatOpenVoice);
  s[Crash - 1] = Drum("crash", 0.5, CrashVoice, kCrashRate);
  s[Crash - 1].loopStart = uint32_t(0.3 * kCrashRate);
  s[Crash - 1].loopLength = uint32_t(s[Crash - 1].data.size()) - s[Crash - 1].loopStart;
  // A quick fall, so the next beat's snare cuts through, then a long ring.
  s[Crash - 1].envelope = Envelope({{0, 64}, {4, 52}, {12, 40}, {20, 34}, {40, 24}, {64, 12}, {90, 4}, {110, 0}});
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
  s[LeadSquare - 1] = Tone("lead square", 64, 1, SoftSquare);
  s[LeadSaw - 1] = Tone("lead saw", 64, 1, SoftSaw);
  s[LeadSoft - 1] = Tone("lead soft", 32, 1, Sine);
  s[Bell - 1] = Tone("bell", 64, 1, BellWave);
  s[Strings - 1] = Tone("strings", 2048, 32, ChorusSaw);
  s[Brass - 1] = Tone("brass", 64, 1, SoftSaw);  // a full saw fizzes at the top
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
    s[i - 1].envelope = Envelope({{0, 0}, {4, 64}, {20, 56}, {60, 52}});
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
  // The credits' brass holds its level: the last section is the fullest.
  s[Brass - 1].envelope = Envelope({{0, 24}, {2, 64}, {8, 58}, {48, 54}});
  s[Bell - 1].envelope = Envelope({{0, 64}, {10, 30}, {40, 8}, {70, 0}});
  s[Bell - 1].volume = 44;
  // The hollow pad rings out by itself: the greetings' held chord and the
  // final one, which whispers on under −40 dBFS until its key-off fades it,
  // so the show's last second is quiet but never dead.
  s[PadChoir - 1].envelope = Envelope({{0, 0}, {3, 52}, {12, 44}, {26, 26}, {42, 12}, {58, 4}, {72, 2}});
  s[PadChoir - 1].sustain = -1;
  // The stereo picture: drums and bass in the middle, chords to the left,
  // the lead to the right.
  for (Instrument i : {PadSaw, PadOrgan, PadChoir, ArpSquare, ArpPulse, Strings, Drone}) s[i - 1].panning = 28;
  for (Instrument i : {LeadSquare, LeadSaw, LeadSoft, Brass, Glass, Bell}) s[i - 1].panning = 228;
  s[Snare - 1].panning = 120;
  s[Clap - 1].panning = 140;
  s[HatClosed - 1].panning = 184;
  s[HatOpen - 1].panning = 72;
  s[Tom - 1].panning = 100;
  s[Chime - 1].panning = 96;
  s[Crash - 1].panning = 64;  // leans towards the chords, away from the lead it interrupts
  return s;
}

// Notes: 1 = C-0, so C-4 = 49; 97 releases the note.
int Note(int semitoneFromC4) { return 49 + semitoneFromC4; }
const int kKeyOff = 97;
int Volume(int v) { return 0x10 + v; }  // volume column: set volume 0..64

struct Song {
  Cell cells[kPatterns][kRows][kChannels];
  Cell& at(int pattern, int row, int channel) { return cells[pattern][row][channel]; }
  // Rows counted from the start of the song; all but the last pattern's slow
  // rows last 75 ms, so a timeline time maps to a row exactly.
  Cell& atMs(uint64_t ms, int channel) {
    int row = int(ms / kRowMs);
    return cells[row / kRows][row % kRows][channel];
  }
};

// A chord as its root (semitones from C-4, in the pad's octave) and the two
// arpeggio steps above it.
struct Chord {
  int root, third, fifth;
  bool Has(int semitone) const {
    int pc = ((semitone - root) % 12 + 12) % 12;
    return pc == 0 || pc == third || pc == fifth;
  }
};
const Chord Am{-3, 3, 7}, F{-7, 4, 7}, C{0, 4, 7}, G{-5, 4, 7}, Dm{-10, 3, 7}, E{-8, 4, 7},
    Em{-8, 3, 7}, Bb{-2, 4, 7};

// Which part of the tune plays under each scene of the timeline.
enum Section { Intro, Title, Blood, Prison, Phone, Greetings, Credits, Ending };
const Section kSceneSection[] = {Intro,  Title, Blood, Blood, Blood,     Prison,  Prison,  Phone,
                                 Phone,  Phone, Phone, Greetings, Credits, Credits, Credits, Ending};

// The scene on screen at `ms`, counted from the timeline's cuts.
int SceneAt(uint64_t ms) {
  int scene = -1;
  for (const TimelineEvent& e : g_timeline)
    if (e.type == EventCut && (e.timeMs == 0 ? 0 : e.timeMs + kCutToSceneMs) <= ms) ++scene;
  return scene;
}
Section SectionAt(uint64_t ms) {
  int scene = SceneAt(ms);
  const int last = int(sizeof kSceneSection / sizeof kSceneSection[0]) - 1;
  return kSceneSection[scene < 0 ? 0 : scene > last ? last : scene];
}
// The pattern that opens the section playing at pattern `p`.
int SectionStart(int p) {
  int first = p;
  while (first > 0 && SectionAt(uint64_t(first - 1) * kPatternMs) == SectionAt(uint64_t(p) * kPatternMs))
    --first;
  return first;
}

// One chord a bar (24 rows), two bars a pattern, looping through each section.
const std::vector<Chord>& Progression(Section section) {
  static const std::vector<Chord> kIntro{Am, F}, kTitle{F, E}, kBlood{Am, F, C, G},
      kPrison{Dm, Am, Bb, E}, kPhone{Am, Em, F, G}, kCredits{Am, F, C, G, F, E}, kEnding{Am, Am};
  switch (section) {
    case Intro: return kIntro;
    case Title: return kTitle;
    case Blood: return kBlood;
    case Prison: return kPrison;
    case Phone:
    case Greetings: return kPhone;
    case Credits: return kCredits;
    case Ending: break;
  }
  return kEnding;
}

// The lead's phrases: (row, semitone from C-4); kRest releases the note. Every
// phrase starts at row 14 or later, so the crash that opens a scene on the
// lead's channel rings a full second first.
const int kRest = -99;
struct Step {
  int row, note;
};
using Phrase = std::vector<Step>;
const Phrase kBloodA{{15, 12}, {18, 16}, {21, 14}, {24, 12}, {27, 9}, {30, 12}, {36, 9}, {39, 7}, {42, 9}, {46, kRest}};
const Phrase kBloodB{{15, 7}, {16, 9}, {18, 12}, {21, 16}, {24, 19}, {30, 14}, {33, 11}, {36, 14}, {42, 11}, {45, kRest}};
const Phrase kPrisonA{{14, 9}, {18, 14}, {24, 12}, {30, 16}, {36, 12}, {42, 9}, {46, kRest}};
const Phrase kPrisonB{{14, 10}, {18, 14}, {24, 11}, {30, 16}, {36, 8}, {42, 11}, {46, kRest}};
const Phrase kPhoneA{{14, 16}, {16, 19}, {18, 21}, {21, 19}, {22, 16}, {24, 19}, {27, 16}, {30, 11},
                     {33, 12}, {34, 14}, {36, 16}, {39, 19}, {42, 16}, {45, kRest}};
const Phrase kPhoneB{{14, 17}, {16, 21}, {18, 24}, {21, 21}, {22, 17}, {24, 19}, {27, 23}, {30, 26},
                     {33, 23}, {36, 19}, {39, 14}, {42, 19}, {45, kRest}};
const Phrase kCreditsC{{14, 12}, {18, 17}, {21, 16}, {22, 14}, {24, 16}, {27, 14}, {30, 11}, {33, 12},
                       {36, 8}, {42, 11}, {46, kRest}};
const Phrase kIntroBell{{24, 21}, {27, 16}, {30, 12}, {36, 9}};
const Phrase kTitleRise{{16, 12}, {18, 12}, {24, 16}, {30, 20}, {36, 23}, {42, 28}, {45, kRest}};
const Phrase kEndingCall{{14, 16}, {18, 12}, {20, 11}, {22, 9}};

// The second pass of a loop: a neighbour note turns each long note, and the
// phrase's last note jumps an octave.
Phrase Varied(const Phrase& phrase, const std::vector<Chord>& bars) {
  Phrase out;
  for (size_t i = 0; i < phrase.size(); ++i) {
    Step s = phrase[i];
    bool lastNote = i + 2 == phrase.size() && phrase.back().note == kRest;
    if (lastNote && s.note + 12 <= 24) s.note += 12;
    out.push_back(s);
    int next = i + 1 < phrase.size() ? phrase[i + 1].row : kRows;
    if (s.note != kRest && next - s.row >= 6) {
      // Up a step of the scale on the off-beat, back before the next note.
      const Chord& chord = bars[size_t(s.row / 24)];
      int step = chord.Has(s.note + 2) || !chord.Has(s.note + 1) ? 2 : 1;
      out.push_back({s.row + 3, s.note + step});
      out.push_back({s.row + 4, s.note});
    }
  }
  return out;
}

struct Voicing {
  int lead, chords, bass;
};
Voicing VoicesOf(Section section) {
  switch (section) {
    case Intro: return {Bell, PadSaw, BassSub};
    case Title: return {LeadSaw, PadSaw, BassSaw};
    case Blood: return {LeadSaw, PadSaw, BassSaw};
    case Prison: return {LeadSoft, Drone, BassSub};
    case Phone:
    case Greetings: return {LeadSquare, ArpSquare, BassPluck};
    case Credits: return {Brass, Strings, BassSaw};
    case Ending: break;
  }
  return {Bell, Strings, BassSaw};
}

void WriteLead(Song& song, int p, const Phrase& phrase, int instrument, int accent) {
  for (size_t i = 0; i < phrase.size(); ++i) {
    const Step& s = phrase[i];
    Cell& c = song.at(p, s.row, Lead);
    if (s.note == kRest) {
      c.note = kKeyOff;
      continue;
    }
    c.note = uint8_t(Note(s.note));
    c.instrument = uint8_t(instrument);
    c.volume = uint8_t(Volume(s.row % 6 == 0 ? accent : accent * 5 / 6));  // accents on the beat
    // Vibrato only once a long note has settled.
    int next = i + 1 < phrase.size() ? phrase[i + 1].row : kRows;
    for (int r = s.row + 3; r < next && r < kRows; ++r) {
      song.at(p, r, Lead).effect = 4;
      song.at(p, r, Lead).param = 0x34;
    }
  }
}

void WriteChords(Song& song, int p, const std::vector<Chord>& bars, int instrument, int every,
                 int volume) {
  for (int r = 0; r < kRows; ++r) {
    const Chord& chord = bars[size_t(r / 24)];
    Cell& c = song.at(p, r, Chords);
    if (r % every == 0) {
      c.note = uint8_t(Note(chord.root));
      c.instrument = uint8_t(instrument);
      c.volume = uint8_t(Volume(r % 24 == 0 ? volume : volume * 3 / 4));
    }
    // The arpeggio on every row: the chord, not just its root, for the whole bar.
    c.effect = 0;
    c.param = uint8_t(chord.third << 4 | chord.fifth);
  }
}

void WriteBass(Song& song, int p, const std::vector<Chord>& bars, Section section, int pass,
               int instrument) {
  for (int r = 0; r < kRows; ++r) {
    const Chord& chord = bars[size_t(r / 24)];
    int root = chord.root - 12;  // the octave below the pad
    int inBar = r % 24, note = 0, volume = 0;
    if (section == Intro) {
      if (inBar == 0) note = root - 12, volume = 64;
    } else if (section == Prison) {
      if (inBar % 6 == 0) note = root, volume = inBar == 0 ? 64 : 52;
      if (pass == 1 && inBar == 21) note = root + chord.fifth, volume = 44;
    } else {
      // Eighths, the octave on the off-beats; the second pass pushes the
      // fifth in before the bar's last beat.
      if (inBar % 3 == 0) {
        note = inBar % 6 == 3 ? root + 12 : root;
        volume = inBar % 6 == 0 ? 64 : section == Credits ? 54 : 44;
      }
      if (pass == 1 && inBar == 16) note = root + chord.fifth, volume = 48;
    }
    if (!volume) continue;
    Cell& c = song.at(p, r, Bass);
    c.note = uint8_t(Note(note));
    c.instrument = uint8_t(instrument);
    c.volume = uint8_t(Volume(volume));
  }
}

void Beat(Song& song, int p, int r, int instrument, int volume) {
  Cell& c = song.at(p, r, Drums);
  c.note = uint8_t(Note(0));
  c.instrument = uint8_t(instrument);
  c.volume = uint8_t(Volume(volume));
}

void WriteDrums(Song& song, int p, Section section, int pass) {
  for (int r = 0; r < kRows; ++r) {
    if (section == Intro) {
      if (r % 24 == 0) Beat(song, p, r, Boom, 64);
      else if (r == 12 || r == 36) Beat(song, p, r, Kick, 40);
      else if (r == 42 || r == 45) Beat(song, p, r, Tom, 40);
      continue;
    }
    if (section == Title) {
      if (r % 12 == 0) Beat(song, p, r, Kick, 64);
      else if (r % 12 == 6) Beat(song, p, r, Tom, 52);
      else if (r % 3 == 0) Beat(song, p, r, HatClosed, 28);
      continue;
    }
    int backbeat = section == Prison ? Clap : Snare;
    if (r % 12 == 0) Beat(song, p, r, Kick, 64);
    else if (r % 12 == 6) Beat(song, p, r, backbeat, section == Credits ? 64 : 58);
    else if (section == Phone && r % 24 == 10) Beat(song, p, r, Kick, 52);
    else if (section == Credits && r % 24 == 15) Beat(song, p, r, Kick, 56);
    else if (section == Credits && r % 12 == 10) Beat(song, p, r, Snare, 18);  // ghost
    else if (r % 3 == 0) {
      bool open = (section == Phone && r % 6 == 3) || (pass == 1 && r % 12 == 9);
      int lift = section == Credits ? 12 : 0;
      Beat(song, p, r, open ? HatOpen : HatClosed, (r % 6 == 3 ? 26 : 18) + lift);
    } else if (pass == 1 && section != Prison && r % 6 == 4) {
      Beat(song, p, r, HatClosed, 16);
    }
  }
}

// A snare fill over the last beats of a pattern, louder to the downbeat.
void WriteFill(Song& song, int p, int fromRow) {
  for (int r = fromRow; r < kRows; ++r) {
    bool roll = r >= kRows - 6;
    if (!roll && (r - fromRow) % 3 != 0) {
      song.at(p, r, Drums) = Cell();
      continue;
    }
    int volume = 20 + 24 * (r - fromRow) / (kRows - fromRow);
    Beat(song, p, r, (r - fromRow) % 6 == 3 && !roll ? Tom : Snare, volume);
  }
}

// The timeline on the drum and lead channels: a hit on every pulse's row, a
// crash where every scene begins, an accent under every flash.
void FollowTimeline(Song& song) {
  for (const TimelineEvent& event : g_timeline) {
    switch (event.type) {
      case EventPulse: {
        Cell& c = song.atMs(event.timeMs, Drums);
        c.note = uint8_t(Note(0));
        c.instrument = uint8_t(event.timeMs % 900 == 450 ? Snare : Clap);
        c.volume = uint8_t(Volume(64));
        break;
      }
      case EventCut: {
        // The crash takes the lead's channel, which rests while it rings; the
        // drums keep their kick on the downbeat.
        // The greetings' crash is softer: the credits' crash follows 0.9 s later.
        uint64_t ms = event.timeMs == 0 ? 0 : event.timeMs + kCutToSceneMs;
        Cell& c = song.atMs(ms, Lead);
        c.note = uint8_t(Note(0));
        c.instrument = Crash;
        c.volume = uint8_t(Volume(SectionAt(ms) == Greetings ? 44 : 64));
        c.effect = 0;
        c.param = 0;
        break;
      }
      case EventFlash: {
        Cell& c = song.atMs(event.timeMs + kCutToSceneMs, Drums);
        c.note = uint8_t(Note(0));
        c.instrument = Zap;
        c.volume = uint8_t(Volume(56));
        break;
      }
      case EventShowZmb:
      case EventShowQvt: {
        Cell& c = song.atMs(event.timeMs, Drums);
        c.note = uint8_t(Note(0));
        c.instrument = Chime;
        c.volume = uint8_t(Volume(60));
        break;
      }
      default:
        break;
    }
  }
}

// The cadence on the last pattern's slow rows (775 ms each from row 23):
// Dm, E, then A minor from 64.475 s, rung out to a whisper before the show
// ends at 67 s. Note delays (EDx, 25 ms ticks) place the lead inside the slow rows.
void WriteEnding(Song& song) {
  const int p = kPatterns - 1;
  for (int r = kSlowRow; r < kRows; ++r)
    for (int ch = 0; ch < kChannels; ++ch) song.at(p, r, ch) = Cell();
  struct Slow {
    Chord chord;
    int lead, leadDelay;
  };
  const Slow slow[] = {{Dm, 14, 0}, {E, 11, 6}, {Am, 9, 8}};
  for (int k = 0; k < 3; ++k) {
    int r = kSlowRow + k;
    const Chord& chord = slow[k].chord;
    song.at(p, r, Chords) = Cell{uint8_t(Note(chord.root)), uint8_t(k == 2 ? PadChoir : Strings),
                                 uint8_t(Volume(k == 2 ? 52 : 44)), 0,
                                 uint8_t(chord.third << 4 | chord.fifth)};
    song.at(p, r, Bass) = Cell{uint8_t(Note(chord.root - 12)), uint8_t(k == 2 ? BassSub : BassSaw),
                               uint8_t(Volume(k == 2 ? 56 : 48)), 0, 0};
    song.at(p, r, Lead) = Cell{uint8_t(Note(slow[k].lead)), Bell, uint8_t(Volume(k == 2 ? 52 : 40)),
                               uint8_t(slow[k].leadDelay ? 0xE : 0),
                               uint8_t(slow[k].leadDelay ? 0xD0 | slow[k].leadDelay : 0)};
  }
  song.at(p, kSlowRow, Drums) = Cell{uint8_t(Note(0)), Crash, uint8_t(Volume(36)), 0, 0};
  song.at(p, kSlowRow + 1, Drums) = Cell{uint8_t(Note(0)), Tom, uint8_t(Volume(40)), 0, 0};
  song.at(p, kSlowRow + 2, Drums) = Cell{uint8_t(Note(0)), Boom, uint8_t(Volume(56)), 0, 0};
  // The home chord's arpeggio keeps running while it decays; the bass lets go.
  song.at(p, kSlowRow + 3, Chords).param = uint8_t(Am.third << 4 | Am.fifth);
  song.at(p, kSlowRow + 3, Bass).note = kKeyOff;
  for (int ch : {Chords, Lead}) song.at(p, kSlowRow + 4, ch).note = kKeyOff;
  // Speed 31 ticks a row from the first slow row.
  song.at(p, kSlowRow, Drums).effect = 0xF;
  song.at(p, kSlowRow, Drums).param = 31;
}

// Chords sounding at each row, for the self-check.
Chord g_chordAt[kPatterns][kRows];

Song Compose() {
  Song song;
  for (int p = 0; p < kPatterns; ++p) {
    Section section = SectionAt(uint64_t(p) * kPatternMs);
    int index = p - SectionStart(p);
    const std::vector<Chord>& progression = Progression(section);
    size_t loop = progression.size() / 2;  // patterns in one pass of the loop
    int pass = int(size_t(index) / loop) % 2;
    std::vector<Chord> bars{progression[(size_t(index) % loop) * 2],
                            progression[(size_t(index) % loop) * 2 + 1]};
    for (int r = 0; r < kRows; ++r) g_chordAt[p][r] = bars[size_t(r / 24)];
    Voicing voices = VoicesOf(section);
    WriteDrums(song, p, section, pass);
    WriteBass(song, p, bars, section, pass, voices.bass);
    int every = section == Phone ? (pass ? 3 : 6) : section == Credits ? 12 : 24;
    WriteChords(song, p, bars, voices.chords, every,
                section == Credits ? 64 : section == Phone ? 58 : section == Prison ? 34 : 50);
    const Phrase* phrase = nullptr;
    switch (section) {
      case Intro: phrase = &kIntroBell; break;
      case Title: phrase = &kTitleRise; break;
      case Blood: phrase = index % 2 ? &kBloodB : &kBloodA; break;
      case Prison: phrase = index % 2 ? &kPrisonB : &kPrisonA; break;
      case Phone:
      case Greetings: phrase = index % 2 ? &kPhoneB : &kPhoneA; break;
      case Credits: phrase = index == 2 ? &kCreditsC : index % 2 ? &kBloodB : &kBloodA; break;
      case Ending: phrase = &kEndingCall; break;
    }
    bool vary = pass == 1 || section == Credits;
    WriteLead(song, p, vary ? Varied(*phrase, bars) : *phrase, voices.lead, section == Credits ? 64 : section == Phone ? 48 : 54);
  }

  // The greetings (from 49.5 s) are a break: an E chord held under the two
  // pictures' chimes, then a snare roll into the credits.
  uint64_t greetingsMs = 0;
  for (const TimelineEvent& e : g_timeline)
    if (e.type == EventCut && !greetingsMs && SectionAt(e.timeMs + kCutToSceneMs) == Greetings)
      greetingsMs = e.timeMs + kCutToSceneMs;
  int breakPattern = int(greetingsMs / kPatternMs), breakRow = int(greetingsMs % kPatternMs / kRowMs);
  // The hats stop half a bar before it, so the break's crash opens a space.
  for (int r = std::max(0, breakRow - 12); r < breakRow; ++r) {
    Cell& c = song.at(breakPattern, r, Drums);
    if (c.instrument == HatClosed || c.instrument == HatOpen) c = Cell();
  }
  for (int r = breakRow; r < kRows; ++r) {
    for (int ch = 0; ch < kChannels; ++ch) song.at(breakPattern, r, ch) = Cell();
    g_chordAt[breakPattern][r] = E;
    song.at(breakPattern, r, Chords).param = uint8_t(E.third << 4 | E.fifth);
  }
  song.at(breakPattern, breakRow, Chords) =
      Cell{uint8_t(Note(E.root)), PadChoir, uint8_t(Volume(48)), 0, uint8_t(E.third << 4 | E.fifth)};
  song.at(breakPattern, breakRow, Bass) = Cell{uint8_t(Note(E.root - 12)), BassSub, uint8_t(Volume(56)), 0, 0};
  for (int r = kRows - 5; r < kRows; ++r) Beat(song, breakPattern, r, Snare, 16 + 6 * (r - kRows + 5));

  // Fills into the prison (21.6 s) and the phone (36.0 s): the last pattern
  // before each new section.
  for (int p = 1; p + 1 < kPatterns; ++p) {
    Section next = SectionAt(uint64_t(p + 1) * kPatternMs);
    if (next != SectionAt(uint64_t(p) * kPatternMs) && (next == Prison || next == Phone))
      WriteFill(song, p, 36);
  }
  // The last fast bar rolls into the cadence.
  WriteFill(song, kPatterns - 1, 15);
  for (int r = 15; r < kSlowRow; ++r)
    if (song.at(kPatterns - 1, r, Drums).note) song.at(kPatterns - 1, r, Drums).volume = uint8_t(Volume(20 + 2 * r));

  WriteEnding(song);
  for (int r = kSlowRow; r < kRows; ++r) g_chordAt[kPatterns - 1][r] = r == kSlowRow ? Dm : r == kSlowRow + 1 ? E : Am;
  FollowTimeline(song);

  // Timing: 100 BPM and 3 ticks a row from the first row, on the two
  // channels whose effect column is free there.
  song.at(0, 0, Drums).effect = 0xF;
  song.at(0, 0, Drums).param = 3;
  song.at(0, 0, Bass).effect = 0xF;
  song.at(0, 0, Bass).param = 100;
  return song;
}

// The composer's own ear: a bass or lead note sounding on a beat a semitone
// away from a tone of the chord under it is a wrong note.
bool CheckHarmony(const Song& song) {
  bool good = true;
  int sounding[kChannels] = {};  // note held on each channel; 0 when none
  for (int p = 0; p < kPatterns; ++p)
    for (int r = 0; r < kRows; ++r)
      for (int ch : {Bass, Lead}) {
        const Cell& c = song.cells[p][r][ch];
        if (c.note == kKeyOff || c.instrument == Crash) sounding[ch] = 0;
        else if (c.note) sounding[ch] = c.note;
        if (r % 6 != 0 || !sounding[ch]) continue;
        const Chord& chord = g_chordAt[p][r];
        int semitone = sounding[ch] - Note(0);
        if (chord.Has(semitone)) continue;
        for (int tone : {chord.root, chord.root + chord.third, chord.root + chord.fifth}) {
          int distance = ((semitone - tone) % 12 + 12) % 12;
          if (distance == 1 || distance == 11) {
            std::fprintf(stderr, "xm_composer: pattern %d row %d channel %d: note %d clashes with the chord\n",
                         p, r, ch, semitone);
            good = false;
          }
        }
      }
  return good;
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

void WriteInstrument(const Sample& s, Writer* out);

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
  for (const Sample& s : samples) WriteInstrument(s, &w);
  return w.bytes;
}

// One instrument of one sample: its header, envelope, the sample's header,
// then its delta-coded 8-bit data.
void WriteInstrument(const Sample& s, Writer* out) {
  Writer& w = *out;
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

// Written beside the final name and renamed, so a failure leaves no half file.
bool WriteFile(const char* path, const std::string& text) {
  std::string partial = std::string(path) + ".partial";
  std::FILE* f = std::fopen(partial.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok && std::rename(partial.c_str(), path) == 0;
  if (!ok) std::remove(partial.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage = "usage: xm_composer MODULE_DATA.cpp [TUNE.xm]\n"
                      "  writes the tune as C++ data for the program, and as an XM file\n";
  if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(usage, stdout);
    return 0;
  }
  if (argc < 2 || argc > 3 || argv[1][0] == '-' || (argc == 3 && argv[2][0] == '-')) {
    std::fprintf(stderr, "xm_composer: %s\n%s",
                 argc < 2 ? "no output file given" : argc > 3 ? "too many arguments" : "unknown option",
                 usage);
    return 2;
  }
  Song song = Compose();
  if (!CheckHarmony(song)) return 1;
  std::vector<uint8_t> module = WriteModule(song, Instruments());
  std::string source = "// Generated by generators/xm_composer; do not edit.\n#include <cstddef>\n\n";
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
