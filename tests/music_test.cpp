// The composed module, parsed by two independent players, its timing against
// the timeline, and the player layer on SDL's dummy audio driver.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <unistd.h>
#include <xmp.h>

#include <cmath>
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
    EXPECT_LE(g_moduleData[header + 14] & 3, 1);
    sampleBytes += U32(header);
    at = header + 40 + U32(header);
  }
  EXPECT_EQ(at, g_moduleSize);
  EXPECT_NEAR(double(sampleBytes), 37707, 37707 * 0.25);
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

TEST(Score, EveryPulseHasADrumNoteOnItsRowAndAnAudibleOnsetAtItsTime) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  int pulses = 0;
  for (const TimelineEvent& e : g_timeline) {
    if (e.type != EventPulse) continue;
    ++pulses;
    int pattern = int(e.timeMs / 3600), row = int((e.timeMs % 3600 + 37) / 75);
    EXPECT_GT(openmpt_module_get_pattern_row_channel_command(m, pattern, row, 0,
                                                             OPENMPT_MODULE_COMMAND_NOTE),
              0)
        << "pulse at " << e.timeMs;
  }
  EXPECT_EQ(pulses, 65);

  // Render the first 67 s offline and look for a rise in high-frequency energy
  // within 40 ms of each pulse.
  openmpt_module_set_position_seconds(m, 0);
  const int rate = 44100;
  std::vector<float> left(size_t(rate) * 67), right(left.size());
  size_t done = 0;
  while (done < left.size()) {
    size_t n = openmpt_module_read_float_stereo(m, rate, std::min<size_t>(4096, left.size() - done),
                                                &left[done], &right[done]);
    if (n == 0) break;
    done += n;
  }
  openmpt_module_destroy(m);
  ASSERT_EQ(done, left.size());
  // High-frequency energy in 5 ms frames (220.5 samples: frame edges are
  // placed by time, so no drift builds up over the song).
  std::vector<double> energy(left.size() * 200 / rate - 1);
  for (size_t f = 1; f < energy.size(); ++f)
    for (size_t k = f * rate / 200; k < (f + 1) * rate / 200; ++k) {
      double d = (left[k] - left[k - 1]) + (right[k] - right[k - 1]);
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
  std::printf("onsets within 40 ms of a pulse: %d of 65\n", heard);
  EXPECT_GE(heard, 60);
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
