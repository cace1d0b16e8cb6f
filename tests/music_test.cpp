// The composed module, parsed by two independent players, its timing against
// the timeline, and the player layer on SDL's dummy audio driver.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <unistd.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/music.h"
#include "audio/music_player.h"
#include "demo/timeline.h"
#include "tests/test_support.h"

namespace {

uint16_t U16(size_t offset) { return uint16_t(g_moduleData[offset] | g_moduleData[offset + 1] << 8); }
uint32_t U32(size_t offset) { return U16(offset) | uint32_t(U16(offset + 2)) << 16; }

openmpt_module* Open() {
  const openmpt_module_initial_ctl ctls[] = {{"play.at_end", "stop"}, {nullptr, nullptr}};
  openmpt_module* m = openmpt_module_create_from_memory2(g_moduleData, g_moduleSize,
                                                         openmpt_log_func_silent, nullptr,
                                                         nullptr, nullptr, nullptr, nullptr, ctls);
  if (m) openmpt_module_ctl_set_integer(m, "dither", 0);
  return m;
}

// The whole song rendered as the show plays it: 44.1 kHz, no dither, until
// the module ends.
struct Render {
  std::vector<float> left, right;
};
const int kRate = 44100;

Render RenderSong() {
  Render r;
  openmpt_module* m = Open();
  if (!m) return r;
  std::vector<float> left(4096), right(4096);
  for (;;) {
    size_t n = openmpt_module_read_float_stereo(m, kRate, left.size(), left.data(), right.data());
    if (n == 0) break;
    r.left.insert(r.left.end(), left.begin(), left.begin() + long(n));
    r.right.insert(r.right.end(), right.begin(), right.begin() + long(n));
  }
  openmpt_module_destroy(m);
  return r;
}

size_t Frame(double seconds) { return size_t(std::lround(seconds * kRate)); }

double Db(double power) { return 10 * std::log10(power + 1e-30); }

// Mean square of both channels over [from, to) seconds.
double Power(const Render& r, double from, double to) {
  double sum = 0;
  for (size_t k = Frame(from); k < Frame(to); ++k)
    sum += 0.5 * (double(r.left[k]) * r.left[k] + double(r.right[k]) * r.right[k]);
  return sum / double(Frame(to) - Frame(from));
}

// In-place radix-2 FFT; the size is a power of two.
void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> step = std::polar(1.0, -2 * M_PI / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Energy of both channels between `lowHz` and `highHz` over [from, to) seconds,
// summed over Hann-windowed 4096-sample frames.
double BandEnergy(const Render& r, double from, double to, double lowHz, double highHz) {
  const size_t n = 4096;
  double energy = 0;
  for (size_t start = Frame(from); start + n <= Frame(to); start += n / 2)
    for (const std::vector<float>* channel : {&r.left, &r.right}) {
      std::vector<std::complex<double>> a(n);
      for (size_t k = 0; k < n; ++k)
        a[k] = (*channel)[start + k] * (0.5 - 0.5 * std::cos(2 * M_PI * double(k) / n));
      Fft(a);
      for (size_t bin = 1; bin < n / 2; ++bin) {
        double hz = double(bin) * kRate / n;
        if (hz >= lowHz && hz < highHz) energy += std::norm(a[bin]);
      }
    }
  return energy;
}

int InstrumentNamed(openmpt_module* m, const char* name) {
  for (int i = 0; i < openmpt_module_get_num_instruments(m); ++i) {
    const char* text = openmpt_module_get_instrument_name(m, i);
    bool same = text && std::strcmp(text, name) == 0;
    openmpt_free_string(text);
    if (same) return i + 1;
  }
  return 0;
}

}  // namespace

TEST(Module, HeaderCarriesTheFastTrackerLayoutTheShowWasWrittenFor) {
  ASSERT_GT(g_moduleSize, 40000u);
  EXPECT_EQ(std::memcmp(g_moduleData, "Extended Module: ", 17), 0);
  EXPECT_EQ(g_moduleData[37], 0x1A);
  EXPECT_EQ(std::memcmp(g_moduleData + 38, "FastTracker v2.00   ", 20), 0);
  EXPECT_EQ(U16(58), 0x0104);
  EXPECT_EQ(U32(60), 276u);
  EXPECT_EQ(U16(64), 18);   // song length
  EXPECT_EQ(U16(66), 0);    // restart
  EXPECT_EQ(U16(68), 4);    // channels
  EXPECT_EQ(U16(70), 18);   // patterns
  EXPECT_EQ(U16(72), 31);   // instruments
  EXPECT_EQ(U16(74), 0);    // Amiga frequency table
  EXPECT_EQ(U16(76), 6);
  EXPECT_EQ(U16(78), 125);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(g_moduleData[80 + i], i < 18 ? i : 0);
  // Walk the patterns and instruments to the very last byte.
  size_t at = 60 + 276;
  for (int p = 0; p < 18; ++p) {
    EXPECT_EQ(U32(at), 9u);
    EXPECT_EQ(U16(at + 5), 48);
    at += 9 + U16(at + 7);
  }
  size_t sampleBytes = 0;
  for (int i = 0; i < 31; ++i) {
    ASSERT_EQ(U32(at), 263u) << "instrument " << i;
    ASSERT_EQ(U16(at + 27), 1);
    size_t header = at + 263;
    EXPECT_EQ(g_moduleData[header + 17], 0);  // reserved
    EXPECT_LE(g_moduleData[header + 14] & 3, 1);     // unlooped or forward loop
    EXPECT_EQ(g_moduleData[header + 14] & 0x10, 0);  // 8-bit
    sampleBytes += U32(header);
    at = header + 40 + U32(header);
  }
  EXPECT_EQ(at, g_moduleSize);
  // 8-bit samples of about the planned size; the file stays a small one.
  EXPECT_GT(sampleBytes, 30000u);
  EXPECT_LT(g_moduleSize, 96u * 1024);
}

TEST(Module, BothPlayersParseItAndTheSongLastsAbout82Seconds) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  EXPECT_EQ(openmpt_module_get_num_channels(m), 4);
  EXPECT_EQ(openmpt_module_get_num_patterns(m), 18);
  EXPECT_EQ(openmpt_module_get_num_instruments(m), 31);
  EXPECT_NEAR(openmpt_module_get_duration_seconds(m), 82.3, 0.2);
  for (int order = 0; order < 18; ++order)
    EXPECT_NEAR(openmpt_module_set_position_order_row(m, order, 0), order * 3.6, 0.05) << order;
  openmpt_module_destroy(m);

  xmp_context xmp = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(xmp, g_moduleData, long(g_moduleSize)), 0);
  xmp_module_info info;
  xmp_get_module_info(xmp, &info);
  EXPECT_EQ(info.mod->chn, 4);
  EXPECT_EQ(info.mod->len, 18);
  EXPECT_GE(info.mod->pat, 18);  // libxmp may add a blank pattern of its own
  EXPECT_EQ(info.mod->ins, 31);
  xmp_release_module(xmp);
  xmp_free_context(xmp);
}

TEST(Score, EveryPulseHasADrumHitEveryCutAKickAndACrashAndThePulsesAreHeard) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  auto command = [m](uint64_t ms, int channel, int what) {
    return openmpt_module_get_pattern_row_channel_command(m, int(ms / 3600), int(ms % 3600 / 75),
                                                          channel, what);
  };
  const int kick = InstrumentNamed(m, "kick"), crash = InstrumentNamed(m, "crash");
  ASSERT_GT(kick, 0);
  ASSERT_GT(crash, 0);
  int pulses = 0;
  for (const TimelineEvent& e : g_timeline) {
    if (e.type == EventPulse) {
      ++pulses;
      EXPECT_GT(command(e.timeMs + 37, 0, OPENMPT_MODULE_COMMAND_NOTE), 0) << "pulse at " << e.timeMs;
    }
    if (e.type != EventCut || e.timeMs == 0) continue;
    // The crash lands with the new scene, and a downbeat keeps its kick.
    const uint64_t scene = e.timeMs + kCutToSceneMs;
    int crashed = -1;
    for (int ch = 0; ch < 4; ++ch)
      if (command(scene, ch, OPENMPT_MODULE_COMMAND_INSTRUMENT) == crash) crashed = ch;
    EXPECT_GE(crashed, 0) << "cut at " << e.timeMs;
    if (crashed < 0) continue;
    // Nothing but another crash takes its channel for a second.
    for (uint64_t ms = scene + 75; ms <= scene + 1000; ms += 75) {
      bool note = command(ms, crashed, OPENMPT_MODULE_COMMAND_NOTE) != 0;
      EXPECT_TRUE(!note || command(ms, crashed, OPENMPT_MODULE_COMMAND_INSTRUMENT) == crash)
          << "cut at " << e.timeMs << ", " << ms - scene << " ms later";
    }
    if (scene % 3600 == 0) {
      EXPECT_EQ(command(scene, 0, OPENMPT_MODULE_COMMAND_INSTRUMENT), kick) << "cut at " << e.timeMs;
    }
  }
  EXPECT_EQ(pulses, 65);
  openmpt_module_destroy(m);

  // Look for a rise in high-frequency energy within 40 ms of each pulse.
  Render r = RenderSong();
  ASSERT_GE(r.left.size(), Frame(67));
  // High-frequency energy in 5 ms frames (220.5 samples: frame edges are
  // placed by time, so no drift builds up over the song).
  std::vector<double> energy(Frame(67) * 200 / kRate - 1);
  for (size_t f = 1; f < energy.size(); ++f)
    for (size_t k = f * kRate / 200; k < (f + 1) * kRate / 200; ++k) {
      double d = (r.left[k] - r.left[k - 1]) + (r.right[k] - r.right[k - 1]);
      energy[f] += d * d;
    }
  int heard = 0;
  for (const TimelineEvent& e : g_timeline) {
    if (e.type != EventPulse) continue;
    bool onset = false;
    for (int f = int(e.timeMs / 5) - 8; f <= int(e.timeMs / 5) + 8 && !onset; ++f) {
      double before = 1e-9;
      for (int k = f - 10; k < f; ++k) before += energy[k] / 10;
      onset = energy[f] > 2.5 * before && energy[f] > 1e-3;
    }
    heard += onset;
    if (!onset) std::printf("no onset near the pulse at %d ms\n", int(e.timeMs));
  }
  std::printf("onsets within 40 ms of a pulse: %d of 65\n", heard);
  EXPECT_EQ(heard, 65);
}

TEST(Score, TheMixIsStereoBuildsRingsAtEveryCutStaysCleanAndEndsInsideTheShow) {
  Render r = RenderSong();
  // Still playing, quietly, when the show ends at 67 s.
  ASSERT_GT(r.left.size(), Frame(75));
  double tail = Db(Power(r, 66.5, 67.0));
  std::printf("tail 66.5-67.0 s: %.1f dBFS RMS\n", tail);
  EXPECT_LE(tail, -40.0);

  double peak = 0;
  for (size_t k = 0; k < r.left.size(); ++k)
    peak = std::max({peak, std::fabs(double(r.left[k])), std::fabs(double(r.right[k]))});
  std::printf("peak: %.2f dBFS\n", 20 * std::log10(peak));
  EXPECT_GE(20 * std::log10(peak), -1.0);
  EXPECT_LE(20 * std::log10(peak), -0.3);

  // Left and right differ over the show, and neither side carries a section alone.
  double lr = 0, ll = 0, rr = 0;
  for (size_t k = 0; k < Frame(67); ++k) {
    lr += double(r.left[k]) * r.right[k];
    ll += double(r.left[k]) * r.left[k];
    rr += double(r.right[k]) * r.right[k];
  }
  std::printf("left/right correlation 0-67 s: %.3f\n", lr / std::sqrt(ll * rr));
  EXPECT_LT(lr / std::sqrt(ll * rr), 0.9);

  // Per 3.6 s pattern: no fizz above 14 kHz, no side more than 6 dB louder.
  for (int p = 0; p < 18; ++p) {
    double from = p * 3.6, to = from + 3.6;
    double ratio = Db(BandEnergy(r, from, to, 14000, 22050)) - Db(BandEnergy(r, from, to, 0, 22050));
    double left = 0, right = 0;
    for (size_t k = Frame(from); k < Frame(to); ++k) {
      left += double(r.left[k]) * r.left[k];
      right += double(r.right[k]) * r.right[k];
    }
    std::printf("%4.1f-%4.1f s: %6.1f dB RMS, above 14 kHz %6.1f dB, left-right %5.1f dB\n", from,
                to, Db(Power(r, from, to)), ratio, Db(left) - Db(right));
    EXPECT_LE(ratio, -35.0) << "pattern " << p;
    EXPECT_LT(std::fabs(Db(left) - Db(right)), 6.0) << "pattern " << p;
  }

  // The mix builds: the credits, the last full section, are at least as loud
  // as the blood cells and within a decibel of the loudest section before them.
  const double sections[][2] = {{0, 3.6}, {3.6, 7.2}, {7.2, 21.6}, {21.6, 36.0}, {36.0, 49.5}};
  double loudest = -300;
  for (const auto& s : sections) loudest = std::max(loudest, Db(Power(r, s[0], s[1])));
  double blood = Db(Power(r, 7.2, 21.6)), credits = Db(Power(r, 50.4, 61.2));
  std::printf("blood cells %.1f dB, credits %.1f dB, loudest before %.1f dB\n", blood, credits,
              loudest);
  EXPECT_GE(credits, blood);
  EXPECT_GE(credits, loudest - 1.0);

  // The crash on every scene change rings: 6-12 kHz in the 0.3-0.8 s after it
  // is clearly above the half second before it.
  for (const TimelineEvent& e : g_timeline) {
    if (e.type != EventCut || e.timeMs == 0) continue;
    double t = double(e.timeMs + kCutToSceneMs) / 1000;
    double ring = Db(BandEnergy(r, t + 0.3, t + 0.8, 6000, 12000)) -
                  Db(BandEnergy(r, t - 0.5, t, 6000, 12000));
    std::printf("crash at %.3f s: 6-12 kHz %+.1f dB after 0.3-0.8 s\n", t, ring);
    EXPECT_GT(ring, 3.0) << "cut at " << e.timeMs;
  }
}

TEST(Player, StartMusicPlaysOnTheDummyDeviceAndStopsWhenFreed) {
  RecordMessages();
  ASSERT_EQ(StartMusic(), 1) << (g_messages.empty() ? "" : g_messages[0].text);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_GT(MusicDeviceBufferFrames(), 0);
  double first = MusicPositionSeconds();
  EXPECT_GE(first, 0.0);
  usleep(300000);
  EXPECT_GT(MusicPositionSeconds(), first);
  BASS_Stop();
  BASS_Free();
  EXPECT_LT(MusicPositionSeconds(), 0);
}

TEST(Player, ADeviceThatCannotOpenFailsWithTheInitialisationMessage) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  RecordMessages();
  EXPECT_EQ(StartMusic(), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "BASS initialization failed! No music!");
  EXPECT_EQ(g_messages[0].caption, "Orvi");
  EXPECT_EQ(g_messages[0].kind, MessageError);
  BASS_Stop();
  BASS_Free();
}

TEST(Player, StopAndFreeWithoutAStartAreHarmlessAndEverythingFailsInOrderWithoutIt) {
  BASS_Stop();
  BASS_Free();
  BASS_Free();
  EXPECT_EQ(BASS_Start(), 0);
  EXPECT_EQ(BASS_MusicPlay(1), 0);
  EXPECT_EQ(BASS_MusicLoad(1, g_moduleData, 0, 0, 5), 0u);  // a memory block needs its length
  EXPECT_EQ(BASS_MusicLoad(1, "not a module", 0, 12, 5), 0u);
}
