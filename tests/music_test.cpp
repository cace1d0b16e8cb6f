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
#include <initializer_list>
#include <string>
#include <map>
#include <set>
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

// The same song as libxmp plays it, up to `seconds`: the second player must
// hear the same shape.
Render RenderWithXmp(double seconds) {
  Render r;
  xmp_context xmp = xmp_create_context();
  if (xmp_load_module_from_memory(xmp, g_moduleData, long(g_moduleSize)) != 0 || xmp_start_player(xmp, kRate, 0) != 0) {
    xmp_free_context(xmp);
    return r;
  }
  xmp_set_player(xmp, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
  std::vector<int16_t> buffer(2 * 4096);
  while (r.left.size() < Frame(seconds) &&
         xmp_play_buffer(xmp, buffer.data(), int(buffer.size() * sizeof buffer[0]), 1) == 0)
    for (size_t k = 0; k < buffer.size(); k += 2) {
      r.left.push_back(buffer[k] / 32768.0f);
      r.right.push_back(buffer[k + 1] / 32768.0f);
    }
  xmp_end_player(xmp);
  xmp_release_module(xmp);
  xmp_free_context(xmp);
  return r;
}

// Where each scene appears (ms): 85 ms after its cut, the first at 0.
std::vector<uint64_t> SceneStarts() {
  std::vector<uint64_t> starts;
  for (const TimelineEvent& e : g_timeline)
    if (e.type == EventCut) starts.push_back(starts.empty() ? 0 : e.timeMs + kCutToSceneMs);
  return starts;
}

// The show's parts as the scenes group them: intro, title, blood cells,
// prison, phone, greetings, credits, ending (first scene of each).
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

// BS.1770 loudness: K-weighting (a high shelf, then a high pass), mean square
// over both channels. Power(…) of the weighted signal gives LUFS by Lufs().
struct Biquad {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double operator()(double x) {
    double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};
Biquad Shelf() {
  const double a = std::pow(10, 3.999843853973347 / 40), w = 2 * M_PI * 1681.974450955533 / kRate;
  const double alpha = std::sin(w) / (2 * 0.7071752369554196), c = std::cos(w), root = 2 * std::sqrt(a) * alpha;
  const double a0 = (a + 1) - (a - 1) * c + root;
  return {a * ((a + 1) + (a - 1) * c + root) / a0, -2 * a * ((a - 1) + (a + 1) * c) / a0,
          a * ((a + 1) + (a - 1) * c - root) / a0, 2 * ((a - 1) - (a + 1) * c) / a0,
          ((a + 1) - (a - 1) * c - root) / a0};
}
// RBJ high or low pass at `hz` with quality `q`.
Biquad Pass(double hz, double q, bool high) {
  const double w = 2 * M_PI * hz / kRate, alpha = std::sin(w) / (2 * q), c = std::cos(w), a0 = 1 + alpha;
  const double edge = (high ? 1 + c : 1 - c) / 2 / a0;
  return {edge, (high ? -2 : 2) * edge, edge, -2 * c / a0, (1 - alpha) / a0};
}
Render Filtered(const Render& r, std::vector<Biquad> chain) {
  Render out;
  for (int side = 0; side < 2; ++side) {
    std::vector<Biquad> stages = chain;
    const std::vector<float>& in = side ? r.right : r.left;
    std::vector<float>& to = side ? out.right : out.left;
    for (float v : in) {
      double x = v;
      for (Biquad& b : stages) x = b(x);
      to.push_back(float(x));
    }
  }
  return out;
}
Render KWeighted(const Render& r) { return Filtered(r, {Shelf(), Pass(38.13547087602444, 0.5003270373238773, true)}); }
double Lufs(double power) { return -0.691 + 10 * std::log10(2 * power + 1e-30); }

// Gated loudness over [from, to) s of a K-weighted render: 400 ms blocks
// every 100 ms, gated at -70 LUFS and 10 LU under their mean.
double IntegratedLufs(const Render& k, double from, double to) {
  std::vector<double> blocks;
  for (double t = from; t + 0.4 <= to + 1e-9; t += 0.1) blocks.push_back(Power(k, t, t + 0.4));
  auto gatedMean = [&](double gate) {
    double sum = 0;
    int n = 0;
    for (double p : blocks)
      if (Lufs(p) > gate) sum += p, ++n;
    return n ? sum / n : 0.0;
  };
  return Lufs(gatedMean(Lufs(gatedMean(-70)) - 10));
}

// Loudness range: the spread of 3 s loudness (10th to 95th percentile), gated
// at -70 LUFS and 20 LU under the mean.
double LoudnessRange(const Render& k, double to) {
  std::vector<double> windows, kept;
  for (double t = 0; t + 3 <= to + 1e-9; t += 0.1) windows.push_back(Power(k, t, t + 3));
  double sum = 0;
  int n = 0;
  for (double p : windows)
    if (Lufs(p) > -70) sum += p, ++n;
  for (double p : windows)
    if (Lufs(p) > -70 && Lufs(p) > Lufs(sum / n) - 20) kept.push_back(Lufs(p));
  std::sort(kept.begin(), kept.end());
  return kept[size_t(0.95 * double(kept.size() - 1))] - kept[size_t(0.10 * double(kept.size() - 1))];
}

// Each part's gated loudness (LUFS).
std::vector<double> PartLoudness(const Render& k) {
  std::vector<double> parts;
  for (int p = 0; p < kParts; ++p) parts.push_back(IntegratedLufs(k, PartSpan(p).from, PartSpan(p).to));
  return parts;
}

// Every note the module starts: (row from the song's start, channel, note, instrument).
struct NoteOn {
  int row, channel, note, instrument;
};
std::vector<NoteOn> NoteOns(openmpt_module* m) {
  std::vector<NoteOn> notes;
  for (int order = 0; order < openmpt_module_get_num_orders(m); ++order) {
    int pattern = openmpt_module_get_order_pattern(m, order);
    for (int row = 0; row < openmpt_module_get_pattern_num_rows(m, pattern); ++row)
      for (int ch = 0; ch < openmpt_module_get_num_channels(m); ++ch) {
        int note = openmpt_module_get_pattern_row_channel_command(m, pattern, row, ch, OPENMPT_MODULE_COMMAND_NOTE);
        int instrument = openmpt_module_get_pattern_row_channel_command(m, pattern, row, ch, OPENMPT_MODULE_COMMAND_INSTRUMENT);
        if (note) notes.push_back({order * 48 + row, ch, note, instrument});
      }
  }
  return notes;
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
  EXPECT_GE(info.mod->chn, 8) << "separate channels for kick, snare, hats, bass, chords and melodies";
  EXPECT_EQ(info.mod->len, openmpt_module_get_num_orders(m));
  EXPECT_EQ(info.mod->ins, openmpt_module_get_num_instruments(m));
  xmp_release_module(xmp);
  xmp_free_context(xmp);
  openmpt_module_destroy(m);
}

TEST(Score, EveryPulseHasADrumHitEveryCutACrashAndALowHitAndThePulsesAreHeard) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  const int channels = openmpt_module_get_num_channels(m);
  auto command = [m](uint64_t ms, int channel, int what) {
    return openmpt_module_get_pattern_row_channel_command(m, int(ms / 3600), int(ms % 3600 / 75),
                                                          channel, what);
  };
  auto channelPlaying = [&](uint64_t ms, std::initializer_list<const char*> names) {
    for (int ch = 0; ch < channels; ++ch)
      for (const char* name : names)
        if (command(ms, ch, OPENMPT_MODULE_COMMAND_NOTE) && command(ms, ch, OPENMPT_MODULE_COMMAND_INSTRUMENT) == InstrumentNamed(m, name))
          return ch;
    return -1;
  };
  ASSERT_GT(InstrumentNamed(m, "crash"), 0);
  ASSERT_GT(InstrumentNamed(m, "kick"), 0);
  int pulses = 0;
  for (const TimelineEvent& e : g_timeline) {
    if (e.type == EventPulse) {
      ++pulses;
      EXPECT_GE(channelPlaying(e.timeMs + 37, {"snare", "clap", "rim", "kick"}), 0) << "pulse at " << e.timeMs;
    }
  }
  for (uint64_t scene : SceneStarts()) {
    // The crash lands with the new scene over a low hit.
    EXPECT_GE(channelPlaying(scene, {"kick", "boom"}), 0) << "scene at " << scene;
    int crashed = channelPlaying(scene, {"crash"});
    EXPECT_GE(crashed, 0) << "scene at " << scene;
    if (crashed < 0) continue;
    // Nothing but another crash takes its channel for a second.
    for (uint64_t ms = scene + 75; ms <= scene + 1000; ms += 75) {
      bool note = command(ms, crashed, OPENMPT_MODULE_COMMAND_NOTE) != 0;
      EXPECT_TRUE(!note || command(ms, crashed, OPENMPT_MODULE_COMMAND_INSTRUMENT) == InstrumentNamed(m, "crash"))
          << "scene at " << scene << ", " << ms - scene << " ms later";
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
  auto heard = [&](uint64_t ms) {
    for (int f = int(ms / 5) - 8; f <= int(ms / 5) + 8; ++f) {
      double before = 1e-9;
      for (int k = f - 10; k < f; ++k) before += energy[size_t(k)] / 10;
      if (energy[size_t(f)] > 2.5 * before && energy[size_t(f)] > 1e-3) return true;
    }
    return false;
  };
  int onsets = 0;
  std::string unheard;
  for (const TimelineEvent& e : g_timeline) {
    if (e.type != EventPulse) continue;
    if (heard(e.timeMs)) ++onsets;
    else unheard += " " + std::to_string(e.timeMs);
  }
  EXPECT_EQ(onsets, pulses) << "pulses with an onset within 40 ms; none at" << unheard << " ms";
  // And every scene but the first (whose onset is the song's start) rings in.
  for (uint64_t scene : SceneStarts())
    if (scene) {
      EXPECT_TRUE(heard(scene)) << "scene at " << scene;
    }
}

// A motif of four notes (its intervals and rhythm, in any key) that returns
// in three parts of the show, and a melody that does not stop at every
// pattern's start.
TEST(Score, AHookReturnsInThreePartsAndTheMelodyCarriesAcrossPatternStarts) {
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  std::vector<NoteOn> notes = NoteOns(m);
  const int channels = openmpt_module_get_num_channels(m);
  struct Motif {
    int steps[6];  // three intervals, three gaps in rows
    bool operator<(const Motif& o) const { return std::lexicographical_compare(steps, steps + 6, o.steps, o.steps + 6); }
  };
  std::map<Motif, std::set<int>> parts;  // motif -> the parts it is heard in
  std::map<Motif, std::set<int>> heldBy;  // motif -> the channels playing it
  for (int ch = 0; ch < channels; ++ch) {
    std::vector<NoteOn> line;
    for (const NoteOn& n : notes)
      if (n.channel == ch && n.note <= 96) line.push_back(n);
    for (size_t i = 0; i + 3 < line.size(); ++i) {
      // A tune's steps, within two bars: three pitches at least, no leap past a fifth
      // (a bass riff's octaves and a pad's chord changes are no hook).
      Motif motif{};
      std::set<int> pitches{line[i].note};
      bool stepwise = true;
      for (int k = 0; k < 3; ++k) {
        motif.steps[k] = line[i + k + 1].note - line[i + k].note;
        motif.steps[3 + k] = line[i + k + 1].row - line[i + k].row;
        pitches.insert(line[i + k + 1].note);
        stepwise = stepwise && std::abs(motif.steps[k]) <= 7;
      }
      if (pitches.size() < 3 || !stepwise || motif.steps[3] + motif.steps[4] + motif.steps[5] > 48) continue;
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
  openmpt_module_destroy(m);
}

// The arc: a sparse intro, the title building, the blood cells the first full
// part, the prison a breakdown, the phone the loudest, the credits between;
// the same on both players.
TEST(Mix, TheArcRisesBreaksDownAndDropsOnBothPlayers) {
  const Render& song = RenderSong();
  ASSERT_GE(song.left.size(), Frame(67));
  const Render xmp = RenderWithXmp(67.5);
  ASSERT_GE(xmp.left.size(), Frame(67)) << "libxmp plays the song";
  for (const Render* player : {&song, &xmp}) {
    SCOPED_TRACE(player == &song ? "libopenmpt" : "libxmp");
    Render k = KWeighted(*player);
    std::vector<double> lufs = PartLoudness(k);
    const double loudest = *std::max_element(lufs.begin(), lufs.end());
    EXPECT_EQ(lufs[Phone], loudest) << "the phone is the loudest part";
    EXPECT_LE(lufs[Intro], loudest - 6);
    EXPECT_LT(lufs[Intro], lufs[Title]);
    EXPECT_LT(lufs[Title], lufs[Blood]);
    EXPECT_LE(lufs[Prison], lufs[Phone] - 4);
    EXPECT_LT(lufs[Prison], lufs[Blood]);
    EXPECT_LT(lufs[Credits], lufs[Phone]);
    EXPECT_GE(LoudnessRange(k, 67), 6.0) << "LU";
  }
  EXPECT_NEAR(IntegratedLufs(KWeighted(song), 0, 67), -14, 2) << "LUFS over the show";
}

// Weight under 150 Hz and a top against the middle, and every scene starting
// centred, crash and all.
TEST(Mix, TheBandsAreBalancedAndEveryCutIsCentred) {
  const Render& r = RenderSong();
  ASSERT_GE(r.left.size(), Frame(67));
  auto band = [&](double low, double high) {
    return Db(Power(Filtered(r, {Pass(low, 0.7071, true), Pass(low, 0.7071, true), Pass(high, 0.7071, false),
                                 Pass(high, 0.7071, false)}), 0, 67));
  };
  const double middle = band(150, 600);
  EXPECT_NEAR(band(40, 150), middle, 4) << "dB, 40-150 Hz against 150-600 Hz";
  EXPECT_NEAR(band(2500, 8000), middle, 8) << "dB, 2.5-8 kHz against 150-600 Hz";
  for (uint64_t scene : SceneStarts()) {
    double left = 0, right = 0;
    for (size_t k = Frame(scene / 1000.0); k < Frame(scene / 1000.0 + 0.5); ++k)
      left += double(r.left[k]) * r.left[k], right += double(r.right[k]) * r.right[k];
    EXPECT_NEAR(Db(left), Db(right), 1.5) << "dB left against right over 0.5 s from the scene at " << scene;
  }
  // The crash on its own channel, alone: in the middle at every cut.
  openmpt_module* m = Open();
  ASSERT_TRUE(m);
  int crashChannel = -1;
  for (int ch = 0; ch < openmpt_module_get_num_channels(m); ++ch)
    if (openmpt_module_get_pattern_row_channel_command(m, 1, 0, ch, OPENMPT_MODULE_COMMAND_INSTRUMENT) == InstrumentNamed(m, "crash"))
      crashChannel = ch;
  openmpt_module_destroy(m);
  ASSERT_GE(crashChannel, 0) << "the crash at 3.6 s";
  std::vector<float> crash = RenderTune(0, Frame(67), crashChannel);
  ASSERT_EQ(crash.size(), 2 * Frame(67));
  for (uint64_t scene : SceneStarts()) {
    double left = 0, right = 0;
    for (size_t k = Frame(scene / 1000.0); k < Frame(scene / 1000.0 + 0.5); ++k)
      left += double(crash[2 * k]) * crash[2 * k], right += double(crash[2 * k + 1]) * crash[2 * k + 1];
    EXPECT_NEAR(Db(left), Db(right), 0.5) << "dB, the crash's left against its right at the scene at " << scene;
  }
}

TEST(Score, TheSongIsLoudAndFadesUnderTheShowsEnd) {
  const Render& r = RenderSong();
  ASSERT_GT(r.left.size(), Frame(75));  // still playing, quietly, when the show ends
  EXPECT_LE(Db(Power(r, 66.5, 67.0)), -40.0) << "dBFS RMS over 66.5-67 s";
  double peak = 0;
  for (size_t k = 0; k < r.left.size(); ++k) peak = std::max({peak, std::fabs(double(r.left[k])), std::fabs(double(r.right[k]))});
  // Mastered close to full scale, and never clipped.
  EXPECT_LT(peak, 1.0) << "clipped";
  EXPECT_GT(20 * std::log10(peak), -3.0) << "peak dBFS";
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
