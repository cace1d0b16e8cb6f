// The instruments' sounds. Drums are sampled at twice or four times C-4's
// 8363 Hz, so a C-4 note plays them as made; tones are one looped stretch of
// whole periods tuned so that C-4 sounds at middle C.
#include "generators/xm_instruments.h"

#include <cmath>
#include <initializer_list>
#include <random>

namespace {

const double kDrumRate = 16726.0;  // relative note 12: dull drums, half the bytes
const double kHighRate = 33452.0;  // relative note 24: cymbal and snare content up to 12 kHz
const double kLowRate = 8363.0;    // relative note 0: long, dark sounds

std::mt19937 g_random(1986);
float Noise() { return std::uniform_real_distribution<float>(-1, 1)(g_random); }

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

// A voice gets the time and the sample's length, and keeps its own filters.
template <typename Voice>
XmSample Drum(const char* name, double seconds, double rate, Voice voice) {
  XmSample s;
  s.name = name;
  for (int i = 0; i < int(seconds * rate); ++i) s.data.push_back(float(voice(i / rate, seconds)));
  s.relativeNote = int(std::lround(12 * std::log2(rate / 8363.0)));
  return s;
}

// `cycles` periods over `length` samples, looped.
template <typename Wave>
XmSample Tone(const char* name, int length, int cycles, Wave wave) {
  XmSample s;
  s.name = name;
  for (int i = 0; i < length; ++i) s.data.push_back(float(wave(double(i) * cycles / length)));
  s.loopLength = uint32_t(length);
  double semitones = 12 * std::log2(261.6256 * length / cycles / 8363.0);
  s.relativeNote = int(std::lround(semitones));
  s.finetune = std::min(127, int(std::lround((semitones - s.relativeNote) * 128)));
  return s;
}

// A sum of harmonics h = 1..top (every `step`th) at amplitude 1 / h^slope: band-limited,
// so the single periods do not alias into a hiss when played high.
double Harmonics(double phase, int top, int step, double slope) {
  double v = 0;
  for (int h = 1; h <= top; h += step) v += std::sin(2 * M_PI * h * phase) / std::pow(h, slope);
  return v;
}
double PulseWave(double phase, double width, int top) {
  double v = 0;
  for (int h = 1; h <= top; ++h) v += std::sin(M_PI * h * width) * std::cos(2 * M_PI * h * (phase - width / 2)) / h;
  return v;
}

std::vector<std::pair<int, int>> Envelope(std::initializer_list<std::pair<int, int>> points) { return points; }

void Shape(XmSample& s, std::initializer_list<std::pair<int, int>> envelope, int sustain, int fadeout,
           int volume, int panning) {
  s.envelope = Envelope(envelope);
  s.sustain = sustain;
  s.fadeout = uint16_t(fadeout);
  s.volume = uint8_t(volume);
  s.panning = uint8_t(panning);
}

}  // namespace

std::vector<XmSample> MakeInstruments() {
  std::vector<XmSample> s(kXmInstruments);
  // Drums. The kick's body sits under 100 Hz, its click where the snare is not.
  double kickPhase = 0;
  s[Kick - 1] = Drum("kick", 0.32, kDrumRate, [&](double t, double) {
    kickPhase += (46 + 150 * std::exp(-t * 28)) / kDrumRate;
    return std::sin(2 * M_PI * kickPhase) * std::exp(-t * 7) + 0.25 * Noise() * std::exp(-t * 300);
  });
  Biquad snareLow1(11000, kHighRate, false), snareLow2(11000, kHighRate, false), snareHigh(1500, kHighRate, true);
  s[Snare - 1] = Drum("snare", 0.2, kHighRate, [&](double t, double) {
    return 1.1 * snareHigh(snareLow2(snareLow1(Noise()))) * std::exp(-t * 16) +
           0.6 * std::sin(2 * M_PI * 190 * t) * std::exp(-t * 28);
  });
  Biquad clapHigh(900, kDrumRate, true);
  s[Clap - 1] = Drum("clap", 0.16, kDrumRate, [&](double t, double) {
    double env = t < 0.033 ? std::exp(-std::fmod(t, 0.011) * 250) : std::exp(-(t - 0.033) * 20);
    return clapHigh(Noise()) * env;
  });
  s[Rim - 1] = Drum("rim", 0.05, kHighRate, [](double t, double) {
    return (std::sin(2 * M_PI * 1700 * t) * 0.6 + Noise() * 0.4) * std::exp(-t * 70);
  });
  // Hats from 3 to 11 kHz: bright, but nothing that fizzes above 14 kHz.
  Biquad closedHigh1(3200, kHighRate, true), closedHigh2(3200, kHighRate, true);
  Biquad closedLow1(11000, kHighRate, false), closedLow2(11000, kHighRate, false);
  s[HatClosed - 1] = Drum("hat closed", 0.06, kHighRate, [&](double t, double) {
    return closedLow2(closedLow1(closedHigh2(closedHigh1(Noise())))) * std::exp(-t * 38);
  });
  Biquad openHigh1(3000, kHighRate, true), openHigh2(3000, kHighRate, true);
  Biquad openLow1(11000, kHighRate, false), openLow2(11000, kHighRate, false);
  s[HatOpen - 1] = Drum("hat open", 0.22, kHighRate, [&](double t, double) {
    return openLow2(openLow1(openHigh2(openHigh1(Noise())))) * std::exp(-t * 9);
  });
  // Noise from 5.5 to 10.5 kHz: the first 0.3 s carries the hit, the rest is a level
  // stretch the sample loops while the instrument's envelope lets it ring out.
  // Nothing is left near the sample's top, which the player would mirror above 14 kHz.
  Biquad crashHigh1(5500, kHighRate, true), crashHigh2(5500, kHighRate, true);
  Biquad crashLow1(10500, kHighRate, false), crashLow2(10500, kHighRate, false);
  s[Crash - 1] = Drum("crash", 0.5, kHighRate, [&](double t, double) {
    return crashLow2(crashLow1(crashHigh2(crashHigh1(Noise())))) * (0.75 + 0.25 * std::exp(-t * 12));
  });
  s[Crash - 1].loopStart = uint32_t(0.3 * kHighRate);
  s[Crash - 1].loopLength = uint32_t(s[Crash - 1].data.size()) - s[Crash - 1].loopStart;
  s[Tom - 1] = Drum("tom", 0.2, kDrumRate, [](double t, double) {
    return std::sin(2 * M_PI * (100 * t + 40 * (1 - std::exp(-t * 20)) / 20)) * std::exp(-t * 9);
  });
  s[Boom - 1] = Drum("boom", 0.6, kLowRate, [](double t, double) {
    return (std::sin(2 * M_PI * (38 * t + 60 * (1 - std::exp(-t * 8)) / 8)) * 0.85 +
            Noise() * 0.15 * std::exp(-t * 10)) * std::exp(-t * 2.5);
  });
  s[Zap - 1] = Drum("zap", 0.12, kDrumRate, [](double t, double) {
    return std::sin(2 * M_PI * (2400 * t - 6000 * t * t)) * std::exp(-t * 12);
  });
  s[Chime - 1] = Drum("chime", 0.4, kHighRate, [](double t, double) {
    return (std::sin(2 * M_PI * 1046.5 * t) + 0.5 * std::sin(2 * M_PI * 2093 * 1.01 * t) +
            0.25 * std::sin(2 * M_PI * 3140 * t)) * std::exp(-t * 5);
  });
  Biquad riserHigh(1500, kLowRate, true);
  s[Riser - 1] = Drum("riser", 1.8, kLowRate, [&](double t, double length) {
    double x = t / length;
    return (riserHigh(Noise()) * 0.5 + 0.5 * std::sin(2 * M_PI * (300 * t + 500 * t * t / length))) * x * x;
  });

  // Tones.
  s[BassSaw - 1] = Tone("bass saw", 64, 1, [](double p) { return Harmonics(p, 8, 1, 1.5); });
  s[BassSub - 1] = Tone("bass sub", 64, 1, [](double p) { return std::sin(2 * M_PI * p) + 0.15 * std::sin(4 * M_PI * p); });
  s[BassPluck - 1] = Tone("bass pluck", 64, 1, [](double p) { return PulseWave(p, 0.3, 12); });
  // Detuned pairs over a long loop: 32 and 32.5 periods beat slowly, like a chorus.
  s[PadChorus - 1] = Tone("pad chorus", 2048, 32, [](double p) {
    return Harmonics(p, 7, 1, 1.2) + Harmonics(p * 32.5 / 32, 7, 1, 1.2);
  });
  s[PadHollow - 1] = Tone("pad hollow", 64, 1, [](double p) { return 0.7 * std::sin(2 * M_PI * p) + 0.3 * std::sin(6 * M_PI * p); });
  s[Drone - 1] = Tone("drone", 1024, 16, [](double p) {
    return Harmonics(p, 9, 2, 1.0) + Harmonics(p * 16.25 / 16, 9, 2, 1.0);
  });
  s[Stab - 1] = Tone("stab", 64, 1, [](double p) { return PulseWave(p, 0.25, 24); });
  s[Keys - 1] = Tone("keys", 64, 1, [](double p) { return Harmonics(p, 13, 1, 1.3); });
  s[LeadSaw - 1] = Tone("lead saw", 64, 1, [](double p) { return Harmonics(p, 11, 1, 0.85); });
  // The leads reach D-6: ten or eleven harmonics keep their tops near 14 kHz.
  s[LeadBright - 1] = Tone("lead bright", 64, 1, [](double p) { return PulseWave(p, 0.4, 10) + 0.3 * Harmonics(p, 10, 1, 0.7); });
  s[LeadSoft - 1] = Tone("lead soft", 64, 1, [](double p) { return std::sin(2 * M_PI * p) + 0.2 * std::sin(6 * M_PI * p); });
  s[Bell - 1] = Tone("bell", 64, 1, [](double p) {
    return 0.6 * std::sin(2 * M_PI * p) + 0.4 * std::sin(6 * M_PI * p) * std::sin(2 * M_PI * p);
  });
  s[Brass - 1] = Tone("brass", 64, 1, [](double p) { return Harmonics(p, 11, 1, 1.0); });
  s[Strings - 1] = Tone("strings", 2048, 32, [](double p) {
    return Harmonics(p, 8, 1, 1.1) + Harmonics(p * 32.5 / 32, 8, 1, 1.1);
  });
  // The pads' right-hand twins beat at another rate, so the two sides differ.
  s[PadChorusRight - 1] = Tone("pad chorus right", 2048, 32, [](double p) {
    return Harmonics(p, 7, 1, 1.2) + Harmonics(p * 32.75 / 32, 7, 1, 1.2);
  });
  s[StringsRight - 1] = Tone("strings right", 2048, 32, [](double p) {
    return Harmonics(p, 8, 1, 1.1) + Harmonics(p * 32.75 / 32, 8, 1, 1.1);
  });

  // Envelopes (ticks of 25 ms) and the stereo picture: drums, bass and the
  // crash in the middle; the pad and the countermelody to the left, the stabs
  // and the lead to the right, its echo to the left; the pads on both sides;
  // the hats spread apart.
  s[Crash - 1].envelope = Envelope({{0, 64}, {4, 52}, {12, 40}, {20, 34}, {40, 24}, {64, 12}, {90, 4}, {110, 0}});
  s[HatClosed - 1].panning = 232;
  s[HatOpen - 1].panning = 24;
  s[Rim - 1].panning = 104;
  s[Tom - 1].panning = 112;
  s[Chime - 1].panning = 100;
  for (XmInstrument i : {BassSaw, BassSub, BassPluck})
    Shape(s[i - 1], {{0, 64}, {4, 50}, {12, 38}, {40, 30}}, 3, 2048, 64, 128);
  Shape(s[PadChorus - 1], {{0, 0}, {6, 64}, {20, 56}, {60, 52}}, 3, 512, 40, 0);
  Shape(s[Drone - 1], {{0, 0}, {10, 64}, {30, 56}, {80, 52}}, 3, 384, 40, 40);
  Shape(s[Stab - 1], {{0, 64}, {3, 40}, {8, 20}, {20, 8}}, 3, 3000, 40, 248);
  Shape(s[Keys - 1], {{0, 64}, {6, 44}, {24, 32}, {60, 24}}, 3, 1024, 48, 12);
  for (XmInstrument i : {LeadSaw, LeadBright, LeadSoft})
    Shape(s[i - 1], {{0, 24}, {2, 62}, {8, 50}, {48, 44}}, 3, 1024, 44, 240);
  Shape(s[Brass - 1], {{0, 24}, {3, 64}, {10, 56}, {48, 52}}, 3, 1024, 48, 232);
  Shape(s[PadChorusRight - 1], {{0, 0}, {6, 64}, {20, 56}, {60, 52}}, 3, 512, 40, 255);
  Shape(s[Strings - 1], {{0, 0}, {6, 60}, {20, 56}, {60, 52}}, 3, 768, 44, 0);
  Shape(s[StringsRight - 1], {{0, 0}, {6, 60}, {20, 56}, {60, 52}}, 3, 768, 44, 255);
  Shape(s[Bell - 1], {{0, 64}, {10, 30}, {40, 8}, {70, 0}}, -1, 0, 44, 150);
  // The hollow pad rings out by itself: the greetings' held chord and the
  // final one, which whispers on under −40 dBFS until its key-off fades it,
  // so the show's last second is quiet but never dead.
  Shape(s[PadHollow - 1], {{0, 0}, {3, 52}, {12, 44}, {26, 26}, {42, 12}, {58, 4}, {72, 2}}, -1, 512, 40, 128);
  return s;
}
