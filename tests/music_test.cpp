// The composed module on two independent players, its timing against the
// timeline, and the player layer on SDL's dummy audio driver. The mix's arc,
// bands and balance: tools/tune_figures.py, through ffmpeg (tune_figures_test).
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <unistd.h>
#include <xmp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "audio/music.h"
#include "audio/music_player.h"
#include "capture/tune_render.h"
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

const int kRate = 44100;
size_t Frame(double seconds) { return size_t(std::lround(seconds * kRate)); }

// The song as the capture and render_tune render it, interleaved stereo, 76 s
// (silence after the module's end). The tests share one rendering.
const std::vector<float>& Song() {
  static const std::vector<float> song = RenderTune(0, Frame(76));
  return song;
}

double Db(double power) { return 10 * std::log10(power + 1e-30); }

// Mean square of both channels of interleaved stereo over [from, to) seconds.
double Power(const std::vector<float>& r, double from, double to) {
  double sum = 0;
  for (size_t k = 2 * Frame(from); k < 2 * Frame(to); ++k) sum += double(r[k]) * r[k];
  return sum / double(2 * (Frame(to) - Frame(from)));
}

// Where each scene appears (ms): 85 ms after its cut, the first at 0.
std::vector<uint64_t> SceneStarts() {
  std::vector<uint64_t> starts;
  for (const TimelineEvent& e : g_timeline)
    if (e.type == EventCut) starts.push_back(starts.empty() ? 0 : e.timeMs + kCutToSceneMs);
  return starts;
}

// The show's parts as the scenes group them (the first scene of each).
enum Part { Intro, Title, Blood, Prison, Phone, Greetings, Credits, Ending, kParts };
const int kPartScene[kParts] = {0, 1, 2, 5, 7, 11, 12, 15};
struct Span {
  double from, to;  // s
};
Span PartSpan(int part) {
  std::vector<uint64_t> scenes = SceneStarts();
  return {scenes[size_t(kPartScene[part])] / 1000.0, part + 1 < kParts ? scenes[size_t(kPartScene[part + 1])] / 1000.0 : 67.0};
}
int PartAt(double seconds) {
  int part = 0;
  while (part + 1 < kParts && PartSpan(part + 1).from <= seconds) ++part;
  return part;
}

// Every note the module starts, by rows of 75 ms from the song's start, and its instrument's name.
struct NoteOn {
  int row, channel, note;
  std::string instrument;
};
struct Notes {
  int channels = 0;
  std::vector<NoteOn> notes;
  // The channel where one of these instruments starts a note at `ms`, or -1.
  int ChannelStarting(uint64_t ms, std::initializer_list<const char*> names) const {
    for (const NoteOn& n : notes)
      for (const char* name : names)
        if (n.row == int(ms / 75) && n.instrument == name) return n.channel;
    return -1;
  }
};
const Notes& TheNotes() {
  static const Notes read = [] {
    Notes r;
    openmpt_module* m = Open();
    if (!m) return r;
    r.channels = openmpt_module_get_num_channels(m);
    for (int order = 0; order < openmpt_module_get_num_orders(m); ++order) {
      int pattern = openmpt_module_get_order_pattern(m, order);
      for (int row = 0; row < openmpt_module_get_pattern_num_rows(m, pattern); ++row)
        for (int ch = 0; ch < r.channels; ++ch) {
          int note = openmpt_module_get_pattern_row_channel_command(m, pattern, row, ch, OPENMPT_MODULE_COMMAND_NOTE);
          int instrument = openmpt_module_get_pattern_row_channel_command(m, pattern, row, ch, OPENMPT_MODULE_COMMAND_INSTRUMENT);
          const char* name = instrument ? openmpt_module_get_instrument_name(m, instrument - 1) : nullptr;
          if (note) r.notes.push_back({order * 48 + row, ch, note, name ? name : ""});
          openmpt_free_string(name);
        }
    }
    openmpt_module_destroy(m);
    return r;
  }();
  return read;
}

}  // namespace

// libxmp reads the module as libopenmpt does and plays the same song: each
// part of the show as loud against the whole as on the show's own player.
TEST(Module, BothPlayersReadItAlikeAndPlayEveryPartAsLoud) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  xmp_context xmp = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(xmp, g_moduleData, long(g_moduleSize)), 0);
  xmp_module_info info;
  xmp_get_module_info(xmp, &info);
  EXPECT_EQ(info.mod->chn, openmpt_module_get_num_channels(m));
  EXPECT_GE(info.mod->chn, 8) << "separate channels for kick, snare, hats, bass, chords and melodies";
  EXPECT_EQ(info.mod->len, openmpt_module_get_num_orders(m));
  EXPECT_EQ(info.mod->ins, openmpt_module_get_num_instruments(m));
  openmpt_module_destroy(m);
  std::vector<float> other;
  ASSERT_EQ(xmp_start_player(xmp, kRate, 0), 0);
  xmp_set_player(xmp, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
  std::vector<int16_t> buffer(2 * 4096);
  while (other.size() < 2 * Frame(67) && xmp_play_buffer(xmp, buffer.data(), int(buffer.size() * 2), 1) == 0)
    for (int16_t v : buffer) other.push_back(v / 32768.0f);
  xmp_end_player(xmp);
  xmp_release_module(xmp);
  xmp_free_context(xmp);
  const std::vector<float>& song = Song();
  ASSERT_EQ(song.size(), 2 * Frame(76));
  ASSERT_GE(other.size(), 2 * Frame(67)) << "libxmp plays the song";
  for (int p = 0; p < kParts; ++p) {
    const Span s = PartSpan(p);
    EXPECT_NEAR(Db(Power(other, s.from, s.to)) - Db(Power(other, 0, 67)),
                Db(Power(song, s.from, s.to)) - Db(Power(song, 0, 67)), 1.5)
        << "dB against the whole song, libxmp against libopenmpt, part " << p;
  }
}

TEST(Score, EveryPulseHasADrumHitEveryCutACrashAndALowHitAndThePulsesAreHeard) {
  const Notes& t = TheNotes();
  std::vector<uint64_t> pulses;
  for (const TimelineEvent& e : g_timeline)
    if (e.type == EventPulse) pulses.push_back(e.timeMs);
  for (uint64_t pulse : pulses)
    EXPECT_GE(t.ChannelStarting(pulse + 37, {"snare", "clap", "rim", "kick"}), 0) << "pulse at " << pulse;
  for (uint64_t scene : SceneStarts()) {
    // The crash lands with the new scene over a low hit.
    EXPECT_GE(t.ChannelStarting(scene, {"kick", "boom"}), 0) << "scene at " << scene;
    int crashed = t.ChannelStarting(scene, {"crash"});
    EXPECT_GE(crashed, 0) << "scene at " << scene;
    // Nothing but another crash takes its channel for a second.
    for (const NoteOn& n : t.notes)
      EXPECT_TRUE(n.channel != crashed || n.row <= int(scene / 75) || n.row > int((scene + 1000) / 75) ||
                  n.instrument == "crash")
          << n.instrument << " at the scene at " << scene << ", " << n.row * 75 - scene << " ms later";
  }

  // Look for a rise in high-frequency energy within 40 ms of each pulse, in
  // 5 ms frames (220.5 samples: frame edges are placed by time, so no drift
  // builds up over the song).
  const std::vector<float>& r = Song();
  ASSERT_EQ(r.size(), 2 * Frame(76));
  std::vector<double> energy(Frame(67) * 200 / kRate - 1);
  for (size_t f = 1; f < energy.size(); ++f)
    for (size_t k = f * kRate / 200; k < (f + 1) * kRate / 200; ++k) {
      double d = (r[2 * k] - r[2 * k - 2]) + (r[2 * k + 1] - r[2 * k - 1]);
      energy[f] += d * d;
    }
  auto heard = [&](uint64_t ms) {
    for (int f = int(ms / 5) - 8; f <= int(ms / 5) + 8; ++f) {
      double before = 1e-9;
      for (int k = f - 10; k < f; ++k) before += energy[size_t(k)] / 10;
      if (energy[size_t(f)] > 2.5 * before && energy[size_t(f)] > 1e-3) return true;
    }
    return false;
  };
  std::string unheard;
  for (uint64_t pulse : pulses)
    if (!heard(pulse)) unheard += " " + std::to_string(pulse);
  EXPECT_EQ(unheard, "") << "pulses without an onset within 40 ms (ms)";
  // And every scene but the first (whose onset is the song's start) rings in.
  for (uint64_t scene : SceneStarts()) EXPECT_TRUE(!scene || heard(scene)) << "scene at " << scene;
}

// A four-note motif (intervals and rhythm, in any key) returning in three
// parts of the show, and a melody that does not stop at every pattern's start.
TEST(Score, AHookReturnsInThreePartsAndTheMelodyCarriesAcrossPatternStarts) {
  const std::vector<NoteOn>& notes = TheNotes().notes;
  const int channels = TheNotes().channels;
  std::map<std::vector<int>, std::set<int>> parts, heldBy;  // three intervals, three gaps in rows: the parts, the channels
  for (int ch = 0; ch < channels; ++ch) {
    std::vector<NoteOn> line;
    for (const NoteOn& n : notes)
      if (n.channel == ch && n.note <= 96) line.push_back(n);
    for (size_t i = 0; i + 3 < line.size(); ++i) {
      // A tune's steps, within two bars: three pitches at least, no leap past a fifth
      // (a bass riff's octaves and a pad's chord changes are no hook).
      std::vector<int> motif(6);
      std::set<int> pitches{line[i].note};
      bool stepwise = true;
      for (int k = 0; k < 3; ++k) {
        motif[size_t(k)] = line[i + k + 1].note - line[i + k].note;
        motif[size_t(3 + k)] = line[i + k + 1].row - line[i + k].row;
        pitches.insert(line[i + k + 1].note);
        stepwise = stepwise && std::abs(motif[size_t(k)]) <= 7;
      }
      if (pitches.size() < 3 || !stepwise || motif[3] + motif[4] + motif[5] > 48) continue;
      parts[motif].insert(PartAt(line[i].row * 0.075));
      heldBy[motif].insert(ch);
    }
  }
  size_t most = 0;
  std::set<int> melodyChannels;
  for (const auto& [motif, where] : parts) {
    most = std::max(most, where.size());
    if (where.size() >= 3) melodyChannels.insert(heldBy[motif].begin(), heldBy[motif].end());
  }
  EXPECT_GE(most, 3u) << "parts of the show that share a four-note motif";

  // At the start of each pattern from the blood cells to the credits, a
  // melody channel is sounding on the row before and on the row itself.
  auto sounding = [&](int ch, int row) {
    int last = -1;
    for (const NoteOn& n : notes)
      if (n.channel == ch && n.row <= row) last = n.note;
    return last > 0 && last <= 96;
  };
  int carried = 0, starts = 0;
  for (int pattern = 2; pattern < 17; ++pattern) {
    if (PartAt(pattern * 3.6) == Greetings) continue;
    ++starts;
    bool across = false;
    for (int ch : melodyChannels) across = across || (sounding(ch, pattern * 48 - 1) && sounding(ch, pattern * 48));
    carried += across;
  }
  EXPECT_GE(carried * 4, starts * 3) << carried << " of " << starts << " pattern starts carried by the melody";
}

// The crash on its own channel, alone: in the middle at every cut (the whole
// mix's balance there is tune_figures' to measure). The song mastered close
// to full scale, never clipped, and still playing, quietly, at the show's end.
TEST(Mix, TheCrashIsCentredAtEveryCutAndTheSongIsLoudAndFadesUnderTheShowsEnd) {
  const int crashChannel = TheNotes().ChannelStarting(3600, {"crash"});
  ASSERT_GE(crashChannel, 0) << "the crash at 3.6 s";
  std::vector<float> crash = RenderTune(0, Frame(67), crashChannel);
  ASSERT_EQ(crash.size(), 2 * Frame(67));
  for (uint64_t scene : SceneStarts()) {
    double side[2] = {0, 0};
    for (size_t k = 2 * Frame(scene / 1000.0); k < 2 * Frame(scene / 1000.0 + 0.5); ++k)
      side[k % 2] += double(crash[k]) * crash[k];
    EXPECT_NEAR(Db(side[0]), Db(side[1]), 0.5) << "dB, the crash's left against its right at the scene at " << scene;
  }
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  EXPECT_GT(openmpt_module_get_duration_seconds(m), 75) << "s: the song's length";
  openmpt_module_destroy(m);
  const std::vector<float>& r = Song();
  ASSERT_EQ(r.size(), 2 * Frame(76));
  EXPECT_LE(Db(Power(r, 66.5, 67.0)), -40.0) << "dBFS RMS over 66.5-67 s";
  double peak = 0;
  for (float v : r) peak = std::max(peak, std::fabs(double(v)));
  EXPECT_LT(peak, 1.0) << "clipped";
  EXPECT_GT(20 * std::log10(peak), -3.0) << "peak dBFS";
}

TEST(Player, PlaysOnTheDummyDeviceStopsWhenFreedFailsInOrderWithoutOneAndGivesUpOnOneThatNeverPulls) {
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
  // A device that never pulls (here: never started) must not hang the start.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(BASS_Init(44100), 1);
  ASSERT_NE(BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize)), 0u);
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(BASS_MusicPlay(1), 0);  // returns, not stuck
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
  EXPECT_GE(waited, 1.95) << "gave up before its two seconds";
  EXPECT_LT(waited, 10.0) << "waited on long after its two seconds";
  BASS_Start();  // and once it pulls, play begins
  EXPECT_EQ(BASS_MusicPlay(1), 1);
  BASS_Stop();
  BASS_Free();
}
