// The composed module, parsed by two independent players, its timing against
// the timeline, and the player layer on SDL's dummy audio driver.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <unistd.h>
#include <xmp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/music.h"
#include "audio/music_player.h"
#include "demo/timeline.h"
#include "tests/test_support.h"

namespace {

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

Render RenderSongOnce() {
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

// The tests share one rendering: the song takes seconds to render.
const Render& RenderSong() {
  static const Render song = RenderSongOnce();
  return song;
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

// Two independent parsers read the module the same way.
TEST(Module, BothPlayersParseItAlike) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  xmp_context xmp = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(xmp, g_moduleData, long(g_moduleSize)), 0);
  xmp_module_info info;
  xmp_get_module_info(xmp, &info);
  EXPECT_EQ(info.mod->chn, openmpt_module_get_num_channels(m));
  EXPECT_EQ(info.mod->len, openmpt_module_get_num_orders(m));
  EXPECT_EQ(info.mod->ins, openmpt_module_get_num_instruments(m));
  xmp_release_module(xmp);
  xmp_free_context(xmp);
  openmpt_module_destroy(m);
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
  openmpt_module_destroy(m);

  // Look for a rise in high-frequency energy within 40 ms of each pulse.
  const Render& r = RenderSong();
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
  }
  EXPECT_EQ(heard, pulses) << "pulses with an onset within 40 ms";
}

TEST(Score, TheSongIsLoudBuildsToTheCreditsAndFadesUnderTheShowsEnd) {
  const Render& r = RenderSong();
  ASSERT_GT(r.left.size(), Frame(75));  // still playing, quietly, when the show ends
  EXPECT_LE(Db(Power(r, 66.5, 67.0)), -40.0) << "dBFS RMS over 66.5-67 s";
  double peak = 0;
  for (size_t k = 0; k < r.left.size(); ++k) peak = std::max({peak, std::fabs(double(r.left[k])), std::fabs(double(r.right[k]))});
  EXPECT_NEAR(20 * std::log10(peak), -0.65, 0.35) << "peak dBFS";
  // The credits, the last full section, are at least as loud as the blood cells.
  EXPECT_GE(Db(Power(r, 50.4, 61.2)), Db(Power(r, 7.2, 21.6)));
}

TEST(Player, PlaysOnTheDummyDeviceStopsWhenFreedAndFailsInOrderWithoutADevice) {
  ASSERT_EQ(StartMusic(), 1) << LastMessage();
  EXPECT_TRUE(g_messages.empty());
  double first = MusicPositionSeconds();
  EXPECT_GE(first, 0.0);
  const auto started = std::chrono::steady_clock::now();
  while (MusicPositionSeconds() <= first && std::chrono::steady_clock::now() - started < std::chrono::seconds(20))
    usleep(5000);
  EXPECT_GT(MusicPositionSeconds(), first) << "the device never played on";
  BASS_Stop();
  BASS_Free();
  EXPECT_LT(MusicPositionSeconds(), 0);
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(StartMusic(), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "BASS initialization failed! No music!");
  EXPECT_EQ(g_messages[0].caption, "Orvi");
  EXPECT_EQ(g_messages[0].kind, MessageError);
  BASS_Stop();
  BASS_Free();
}

// A device that never pulls (here: never started) must not hang the start.
TEST(Player, PlayOnADeviceThatNeverPullsGivesUpAfterTwoSeconds) {
  ASSERT_EQ(BASS_Init(44100), 1);
  ASSERT_NE(BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize)), 0u);
  EXPECT_EQ(BASS_MusicPlay(1), 0);  // returns, not stuck
  BASS_Start();  // and once it pulls, play begins
  EXPECT_EQ(BASS_MusicPlay(1), 1);
  BASS_Stop();
  BASS_Free();
}
