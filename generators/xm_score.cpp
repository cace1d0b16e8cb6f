// The score: one row a section, from the sparse intro to the cadence, and
// the timeline on top of it. The timeline is the source of truth: each
// section begins on the first beat of the scene that opens it (checked when
// this file compiles), every pulse gets a drum hit on its row, every scene a
// crash and a low hit where it appears, every flash an accent. The tune ends
// inside the show: a cadence on the slow rows that has faded to a whisper by
// 66.5 s.
#include "generators/xm_score.h"

#include <cstdio>
#include <utility>

#include "demo/timeline.h"
#include "generators/xm_instruments.h"

namespace {

const int kPatterns = 18, kRows = 48;
const int kRowMs = 75;            // 3 ticks at 100 BPM
const int kBeatRows = 6, kBarRows = 24, kPhraseRows = 4 * kBarRows;
const int kBeatMs = kBeatRows * kRowMs;
const int kSongRows = kPatterns * kRows;
const int kSlowRow = 23;          // the last pattern slows to 31 ticks a row here
const int kGlobalVolume = 56;
const int kEchoRows = 3, kEchoPanning = 12;  // an eighth later, to the left     // sets the peak: the drop's kicks and crashes just under full scale

// Kick, snare and hats apart so they overlap; the crash alone on its channel,
// so it rings whatever plays; the effects (zaps, chimes, the riser) apart from
// the drums; the pad doubled on the right, the lead echoed on the left.
enum Channel {
  ChKick, ChSnare, ChHats, ChBass, ChPad, ChStab, ChLead, ChCounter, ChCrash, ChFx, ChPadRight, ChEcho, kChannels
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
constexpr Chord Am{-3, 3, 7}, F{-7, 4, 7}, C{0, 4, 7}, G{-5, 4, 7}, Dm{-10, 3, 7}, E{-8, 4, 7},
    Em{-8, 3, 7}, Bb{-2, 4, 7};

// A melody over four bars: (row from the phrase's start, semitone from C-4);
// kRest releases the note. A note holds until the next one, across bar and
// pattern lines.
const int kRest = -99;
struct Step {
  int row, note;
};
struct Phrase {
  int count;
  Step steps[24];
};

// The hook: A C E D C, then E on the fourth beat (up a minor third, a major
// third, down two steps and back up). Every section but the title and the
// greetings states it, transposed to its key.
#define HOOK(a, c, e, d) {0, a}, {3, c}, {6, e}, {9, d}, {12, c}, {18, e}
constexpr Phrase kHookBell{7, {{12, 21}, {15, 24}, {18, 28}, {21, 26}, {24, 24}, {30, 28}, {42, kRest}}};
constexpr Phrase kTitleRise{7, {{16, 12}, {18, 12}, {24, 16}, {30, 20}, {36, 23}, {42, 28}, {46, kRest}}};
constexpr Phrase kBloodA{19, {HOOK(9, 12, 16, 14), {24, 17}, {30, 21}, {33, 19}, {36, 17}, {39, 16},
                              {42, 12}, {54, 16}, {57, 19}, {60, 16}, {66, 14}, {69, 12}, {72, 11},
                              {78, 14}, {84, 19}, {87, 17}, {90, 14}}};
constexpr Phrase kBloodB{17, {HOOK(9, 12, 16, 14), {24, 21}, {27, 19}, {30, 17}, {36, 21}, {42, 24},
                              {54, 19}, {57, 16}, {60, 19}, {66, 24}, {69, 23}, {72, 23}, {78, 26},
                              {84, 23}, {90, 19}}};
constexpr Phrase kBloodCounter{10, {{0, 4}, {12, 0}, {18, 4}, {24, 5}, {36, 9}, {54, 7}, {66, 4},
                                    {72, 2}, {84, -1}, {90, 2}}};
constexpr Phrase kPrisonHook{16, {HOOK(14, 17, 21, 19), {24, 16}, {30, 12}, {36, 9}, {42, 12}, {54, 14},
                                  {60, 17}, {66, 14}, {72, 16}, {78, 20}, {84, 23}, {90, 16}}};
constexpr Phrase kPhoneA{19, {HOOK(21, 24, 28, 26), {24, 28}, {27, 26}, {30, 23}, {33, 24}, {36, 23},
                              {42, 19}, {54, 21}, {57, 24}, {60, 21}, {66, 17}, {69, 19}, {72, 23},
                              {75, 26}, {78, 23}, {84, 19}, {90, 26}}};
constexpr Phrase kPhoneB{19, {HOOK(21, 24, 28, 26), {24, 28}, {27, 26}, {30, 23}, {36, 28}, {42, 31},
                              {48, 24}, {54, 21}, {60, 17}, {66, 21}, {72, 19}, {78, 23}, {84, 26},
                              {90, 31}, {93, 28}}};
constexpr Phrase kPhoneCounter{8, {{0, 4}, {12, 0}, {24, 7}, {36, 11}, {48, 9}, {60, 5}, {72, 7}, {84, 11}}};
constexpr Phrase kEndingHook{6, {HOOK(9, 12, 16, 14)}};
constexpr Phrase kSilent{0, {}};
#undef HOOK

struct Part {
  int instrument, level;  // level 0..64; 0 is silent
};
struct Drums {
  const char* kick;   // a bar of 24 rows: 'x' a hit, '.' nothing
  const char* snare;  // 'x' a hit, 'g' a ghost note at a third of the level
  const char* hats;   // 'x' closed, '-' closed and soft, 'o' open
  int kickLevel, snareLevel, hatLevel;
  int backbeat;       // the snare channel's instrument
};

// One row of the score. Everything the section plays is here, so composing
// is the same walk for every section.
struct Section {
  const char* name;
  int firstScene;         // the scene whose cut opens it
  int beats;              // its length, in 450 ms beats
  Chord chords[4];        // one a bar, looping
  Part pad, padRight, stab, bass, lead, counter;  // the pad's right-hand twin beside it
  const char* stabs;      // a bar: 'x' a chord stab
  const char* bassLine;   // a bar: 'r' the root, 'o' its octave, 'f' the fifth
  const Phrase* phrases[2];  // the lead's first and second pass through the four bars
  const Phrase* counterPhrase;
  Drums drums;
  Part pulse;             // the hit under every beat pulse of the pictures
  Part cut;               // the low hit (kick channel) where a scene of this section appears
  int crash;              // the crash's level there
  int fillRows;           // a snare fill over the section's last rows, into the next
  int riser;              // level of a riser over the last bar (0: none)
};

constexpr const char* kNone = "........................";
constexpr Section kScore[] = {
    {"intro", 0, 8, {Am, Am, Am, Am}, {PadChorus, 30}, {PadChorusRight, 30}, {Stab, 0}, {BassSub, 44}, {Bell, 34}, {Keys, 0},
     kNone, "r.......................", {&kHookBell, &kHookBell}, &kSilent,
     {kNone, kNone, kNone, 0, 0, 0, Snare}, {Rim, 40}, {Boom, 52}, 52, 0, 0},
    {"title", 1, 8, {F, E, F, E}, {PadChorus, 34}, {PadChorusRight, 34}, {Stab, 30}, {BassSaw, 44}, {LeadSaw, 32}, {Keys, 0},
     "x.....x.....x.....x.....", "r.....r.....r.....r.....", {&kTitleRise, &kTitleRise}, &kSilent,
     {"x...........x...........", kNone, "...x.....x.....x.....x..", 50, 0, 40, Snare}, {Clap, 56},
     {Kick, 60}, 64, 0, 0},
    {"blood cells", 2, 32, {Am, F, C, G}, {PadChorus, 22}, {PadChorusRight, 22}, {Stab, 36}, {BassSaw, 56}, {LeadSaw, 50},
     {Keys, 30}, "...x.....x.....x.....x..", "r..o..r..o..r..o..r..f..", {&kBloodA, &kBloodB},
     &kBloodCounter,
     {"x.....x.....x.....x.....", "......x...........x.....", "-.-x.--.-x.--.-x.--.-x.-", 60, 54, 60, Snare},
     {Snare, 64}, {Kick, 64}, 64, 12, 0},
    // The breakdown: no kick, no hats, the hook softly over a drone.
    {"prison", 5, 32, {Dm, Am, Bb, E}, {Drone, 18}, {Drone, 0}, {Stab, 0}, {BassSub, 28}, {LeadSoft, 24}, {Keys, 0},
     kNone, "r.................r.....", {&kPrisonHook, &kPrisonHook}, &kSilent,
     {kNone, kNone, kNone, 0, 0, 0, Clap}, {Snare, 40}, {Boom, 44}, 44, 12, 28},
    // The drop: everything, the hook an octave up.
    {"phone", 7, 30, {Am, Em, F, G}, {PadChorus, 22}, {PadChorusRight, 22}, {Stab, 48}, {BassPluck, 62}, {LeadBright, 60},
     {Keys, 32}, "x..x..x..x..x..x..x..x..", "r..o..r..o..r..o..r.ro.o", {&kPhoneA, &kPhoneB},
     &kPhoneCounter,
     {"x.....x.....x.....x..x..", "......x...........x.....", "-.-o.--.-o.--.-o.--.-o.-", 64, 62, 64, Snare},
     {Snare, 64}, {Kick, 64}, 64, 0, 0},
    // A break on a held E chord under the two pictures' chimes.
    {"greetings", 11, 2, {E, E, E, E}, {PadHollow, 48}, {PadHollow, 0}, {Stab, 0}, {BassSub, 52}, {Bell, 0}, {Keys, 0},
     kNone, "r.......................", {&kSilent, &kSilent}, &kSilent,
     {kNone, kNone, kNone, 0, 0, 0, Snare}, {Snare, 0}, {Boom, 44}, 44, 5, 0},
    // The reprise: the blood cells' tune on brass over strings.
    {"credits", 12, 24, {Am, F, C, G}, {Strings, 40}, {StringsRight, 40}, {Stab, 28}, {BassSaw, 54}, {Brass, 50}, {Keys, 30},
     "...x.....x..x..x.....x..", "r..o..r..o..r..o..r..f..", {&kBloodA, &kBloodB}, &kBloodCounter,
     {"x.....x.....x.....x.....", "......x...g.......x...g.", "-..x..-..x..-..x..-..x..", 56, 56, 60, Snare},
     {Snare, 60}, {Kick, 64}, 64, 0, 0},
    {"ending", 15, 8, {Am, Am, Am, Am}, {Strings, 36}, {StringsRight, 36}, {Stab, 0}, {BassSaw, 46}, {Bell, 44}, {Keys, 0},
     kNone, "r.....r.....r.....r.....", {&kEndingHook, &kEndingHook}, &kSilent,
     {"x.....x.....x.....x.....", "......x...........x.....", "-..x..-..x..-..x..-..x..", 50, 46, 44, Snare},
     {Snare, 56}, {Kick, 60}, 64, 0, 0},
};
constexpr int kSections = int(sizeof kScore / sizeof kScore[0]);

constexpr uint64_t SceneMs(int scene) { return scene == 0 ? 0 : NthEventMs(EventCut, scene) + kCutToSceneMs; }
constexpr int StartBeat(int section) {
  int beat = 0;
  for (int i = 0; i < section; ++i) beat += kScore[i].beats;
  return beat;
}

// Each section opens on the first beat at or after its scene appears, the
// scenes in the timeline's order, and the last one reaches the song's end.
constexpr bool SectionsFollowTheCuts() {
  if (kScore[0].firstScene != 0) return false;
  for (int i = 0; i < kSections; ++i) {
    const Section& s = kScore[i];
    if (s.firstScene >= CountEvents(EventCut) || (i > 0 && s.firstScene <= kScore[i - 1].firstScene))
      return false;
    if (uint64_t(StartBeat(i)) != (SceneMs(s.firstScene) + kBeatMs - 1) / kBeatMs) return false;
  }
  return StartBeat(kSections) * kBeatRows == kSongRows;
}
static_assert(SectionsFollowTheCuts(), "the score's sections do not start where the timeline's scenes do");
static_assert(StartBeat(kSections - 1) * kBeatRows <= (kPatterns - 1) * kRows + kSlowRow,
              "the cadence's slow rows lie inside the last section");

struct Score {
  std::vector<XmCell> cells = std::vector<XmCell>(size_t(kSongRows) * kChannels);
  Chord chordAt[kSongRows] = {};  // the chord under each row, for the composer's ear
  XmCell& at(int row, int channel) { return cells[size_t(row) * kChannels + size_t(channel)]; }
};

int RowOfMs(uint64_t ms) { return int(ms / kRowMs); }
int SectionOfRow(int row) {
  int s = 0;
  while (s + 1 < kSections && StartBeat(s + 1) * kBeatRows <= row) ++s;
  return s;
}
int SectionOfScene(int scene) {
  int s = 0;
  while (s + 1 < kSections && kScore[s + 1].firstScene <= scene) ++s;
  return s;
}

void Hit(Score& score, int row, int channel, int instrument, int level) {
  XmCell& c = score.at(row, channel);
  c.note = uint8_t(XmNote(0));
  c.instrument = uint8_t(instrument);
  c.volume = uint8_t(XmVolume(level));
}
void Play(Score& score, int row, int channel, int note, const Part& part, int level) {
  XmCell& c = score.at(row, channel);
  c.note = uint8_t(XmNote(note));
  c.instrument = uint8_t(part.instrument);
  c.volume = uint8_t(XmVolume(level));
}

// The bass's register: roots from F-1 to E-2, under 150 Hz with their octave.
int BassRoot(const Chord& chord) { return chord.root - 24 < -31 ? chord.root - 12 : chord.root - 24; }

void WriteMelody(Score& score, int from, int to, int channel, const Phrase* const phrases[2], const Part& part,
                 bool vibrato) {
  if (!part.level) return;
  for (int start = from, pass = 0; start < to; start += kPhraseRows, ++pass) {
    const Phrase& phrase = *phrases[pass % 2];
    for (int i = 0; i < phrase.count; ++i) {
      const Step& s = phrase.steps[i];
      int row = start + s.row;
      if (row >= to) break;
      if (s.note == kRest) {
        score.at(row, channel).note = kXmKeyOff;
        continue;
      }
      Play(score, row, channel, s.note, part, (row - from) % kBeatRows == 0 ? part.level : part.level * 5 / 6);
      // The notes on the beat echo an eighth later on the other side, and let
      // go before the next beat, so an echo never sounds over a changed chord.
      if (channel == ChLead && s.row % kBeatRows == 0 && row + 2 * kEchoRows < to) {
        Play(score, row + kEchoRows, ChEcho, s.note, part, part.level * 2 / 3);
        score.at(row + kEchoRows, ChEcho).effect = 8;  // set panning, over the instrument's own
        score.at(row + kEchoRows, ChEcho).param = kEchoPanning;
        score.at(row + 2 * kEchoRows, ChEcho).note = kXmKeyOff;
      }
      // Vibrato once a long note has settled.
      int next = i + 1 < phrase.count ? start + phrase.steps[i + 1].row : std::min(to, start + kPhraseRows);
      for (int r = row + 3; vibrato && r < next && r < to; ++r) {
        score.at(r, channel).effect = 4;
        score.at(r, channel).param = 0x34;
      }
    }
  }
}

void WriteSection(Score& score, int index) {
  const Section& s = kScore[index];
  const int from = StartBeat(index) * kBeatRows, to = StartBeat(index + 1) * kBeatRows;
  // What the last section left ringing stops where this one begins.
  for (int ch : {ChLead, ChEcho, ChCounter, ChStab}) score.at(from, ch).note = kXmKeyOff;
  for (int row = from; row < to; ++row) {
    const int inBar = (row - from) % kBarRows;
    const Chord& chord = s.chords[(row - from) / kBarRows % 4];
    score.chordAt[row] = chord;
    const uint8_t arpeggio = uint8_t(chord.third << 4 | chord.fifth);
    // Pad and stabs play the chord as an arpeggio, on every row it sounds.
    for (const auto& [channel, part] : {std::make_pair(ChPad, s.pad), std::make_pair(ChPadRight, s.padRight)}) {
      if (!part.level) continue;
      if (inBar == 0) Play(score, row, channel, chord.root, part, part.level);
      score.at(row, channel).param = arpeggio;
    }
    if (s.stab.level) {
      if (s.stabs[inBar] == 'x') Play(score, row, ChStab, chord.root + 12, s.stab, inBar % kBeatRows ? s.stab.level : s.stab.level * 3 / 4);
      score.at(row, ChStab).param = arpeggio;
    }
    const char bass = s.bassLine[inBar];
    if (bass != '.')
      Play(score, row, ChBass, BassRoot(chord) + (bass == 'o' ? 12 : bass == 'f' ? chord.fifth : 0), s.bass,
           inBar % kBeatRows ? s.bass.level * 3 / 4 : s.bass.level);
    const Drums& d = s.drums;
    if (d.kick[inBar] == 'x') Hit(score, row, ChKick, Kick, inBar % 12 ? d.kickLevel * 7 / 8 : d.kickLevel);
    if (d.snare[inBar] == 'x') Hit(score, row, ChSnare, d.backbeat, d.snareLevel);
    if (d.snare[inBar] == 'g') Hit(score, row, ChSnare, d.backbeat, d.snareLevel / 3);
    if (d.hats[inBar] != '.')
      Hit(score, row, ChHats, d.hats[inBar] == 'o' ? HatOpen : HatClosed,
          d.hats[inBar] == '-' ? d.hatLevel * 2 / 3 : d.hatLevel);
  }
  WriteMelody(score, from, to, ChLead, s.phrases, s.lead, true);
  const Phrase* counter[2] = {s.counterPhrase, s.counterPhrase};
  WriteMelody(score, from, to, ChCounter, counter, s.counter, false);
  // The fill: the hats stop, the snare runs eighths then a roll, louder to the next downbeat.
  for (int row = to - s.fillRows; row < to && s.fillRows; ++row) {
    int k = row - (to - s.fillRows);
    bool roll = row >= to - 6;
    score.at(row, ChHats) = XmCell();
    score.at(row, ChSnare) = XmCell();
    if (roll || k % 3 == 0) Hit(score, row, ChSnare, roll || k % 6 == 0 ? Snare : Tom, 20 + 30 * k / s.fillRows);
  }
  if (s.riser) Hit(score, to - kBarRows, ChFx, Riser, s.riser);
}

// The timeline on top: a hit on every pulse's row, a crash and a low hit
// where every scene appears, an accent under every flash, a chime under each
// greeting.
void FollowTimeline(Score& score) {
  int scene = -1;
  for (const TimelineEvent& e : g_timeline) {
    switch (e.type) {
      case EventPulse: {
        const Section& s = kScore[SectionOfRow(RowOfMs(e.timeMs))];
        const int row = RowOfMs(e.timeMs);
        Hit(score, row, ChSnare, s.pulse.instrument, s.pulse.level);
        // The hats make room before it, an open one choked, so the hit stands out of them.
        if (score.at(row - 2, ChHats).instrument) score.at(row - 2, ChHats) = XmCell();
        if (score.at(row - 1, ChHats).instrument) score.at(row - 1, ChHats) = XmCell{kXmKeyOff, 0, 0, 0, 0};
        break;
      }
      case EventCut: {
        const Section& s = kScore[SectionOfScene(++scene)];
        int row = RowOfMs(SceneMs(scene));
        Hit(score, row, ChCrash, Crash, s.crash);
        Hit(score, row, ChKick, s.cut.instrument, s.cut.level);
        break;
      }
      case EventFlash:
        Hit(score, RowOfMs(e.timeMs + kCutToSceneMs), ChFx, Zap, 56);
        break;
      case EventShowZmb:
      case EventShowQvt:
        Hit(score, RowOfMs(e.timeMs), ChFx, Chime, 60);
        break;
      default:
        break;
    }
  }
}

// The cadence on the last pattern's slow rows (775 ms each): D minor, E,
// then A minor from 64.475 s, rung out to a whisper before the show ends at
// 67 s. Note delays (EDx, 25 ms ticks) place the lead inside the slow rows.
// A snare roll leads into it.
void WriteEnding(Score& score) {
  const int first = (kPatterns - 1) * kRows + kSlowRow;
  for (int row = first - 8; row < first; ++row) {
    score.at(row, ChHats) = XmCell();
    Hit(score, row, ChSnare, Snare, 20 + 4 * (row - first + 8));
  }
  for (int row = first; row < kSongRows; ++row)
    for (int ch = 0; ch < kChannels; ++ch) score.at(row, ch) = XmCell();
  struct Slow {
    Chord chord;
    int lead, leadDelay;
  };
  const Slow slow[] = {{Dm, 14, 0}, {E, 11, 6}, {Am, 9, 8}};
  for (int k = 0; k < 3; ++k) {
    int row = first + k;
    const Chord& chord = slow[k].chord;
    score.at(row, ChPad) = XmCell{uint8_t(XmNote(chord.root)), uint8_t(k == 2 ? PadHollow : Strings),
                                  uint8_t(XmVolume(k == 2 ? 52 : 44)), 0, uint8_t(chord.third << 4 | chord.fifth)};
    score.at(row, ChBass) = XmCell{uint8_t(XmNote(chord.root - 12)), uint8_t(k == 2 ? BassSub : BassSaw),
                                   uint8_t(XmVolume(k == 2 ? 56 : 48)), 0, 0};
    score.at(row, ChLead) = XmCell{uint8_t(XmNote(slow[k].lead)), Bell, uint8_t(XmVolume(k == 2 ? 52 : 40)),
                                   uint8_t(slow[k].leadDelay ? 0xE : 0),
                                   uint8_t(slow[k].leadDelay ? 0xD0 | slow[k].leadDelay : 0)};
  }
  for (int row = first; row < kSongRows; ++row) score.chordAt[row] = row == first ? Dm : row == first + 1 ? E : Am;
  Hit(score, first, ChCrash, Crash, 36);
  Hit(score, first + 1, ChSnare, Tom, 40);
  Hit(score, first + 2, ChKick, Boom, 56);
  // The home chord's arpeggio keeps running while it decays; the bass lets go.
  score.at(first + 3, ChPad).param = uint8_t(Am.third << 4 | Am.fifth);
  score.at(first + 3, ChBass).note = kXmKeyOff;
  for (int ch : {ChPad, ChLead}) score.at(first + 4, ch).note = kXmKeyOff;
  for (int ch : {ChStab, ChCounter, ChEcho, ChPadRight}) score.at(first, ch).note = kXmKeyOff;
  // Speed 31 ticks a row from the first slow row.
  score.at(first, ChHats).effect = 0xF;
  score.at(first, ChHats).param = 31;
}

// The composer's own ear: a bass, lead or countermelody note sounding on a
// beat a semitone away from a tone of the chord under it is a wrong note.
std::vector<std::string> Clashes(const Score& score) {
  std::vector<std::string> found;
  for (int ch : {ChBass, ChLead, ChEcho, ChCounter}) {
    int sounding = 0;  // the note held; 0 when none
    for (int row = 0; row < kSongRows; ++row) {
      const XmCell& c = score.cells[size_t(row) * kChannels + size_t(ch)];
      if (c.note == kXmKeyOff) sounding = 0;
      else if (c.note) sounding = c.note;
      if (row % kBeatRows != 0 || !sounding) continue;
      const Chord& chord = score.chordAt[row];
      int semitone = sounding - XmNote(0);
      if (chord.Has(semitone)) continue;
      for (int tone : {chord.root, chord.root + chord.third, chord.root + chord.fifth}) {
        int distance = ((semitone - tone) % 12 + 12) % 12;
        if (distance == 1 || distance == 11) {
          char text[120];
          std::snprintf(text, sizeof text, "pattern %d row %d channel %d: note %d clashes with the chord",
                        row / kRows, row % kRows, ch, semitone);
          found.push_back(text);
          break;
        }
      }
    }
  }
  return found;
}

}  // namespace

Tune ComposeTune() {
  Score score;
  for (int i = 0; i < kSections; ++i) WriteSection(score, i);
  FollowTimeline(score);
  WriteEnding(score);
  // 100 BPM and 3 ticks a row from the first row, and the whole mix's level,
  // where the effect columns are free.
  score.at(0, ChHats).effect = 0xF;
  score.at(0, ChHats).param = 3;
  score.at(0, ChCounter).effect = 0xF;
  score.at(0, ChCounter).param = 100;
  score.at(0, ChCrash).effect = 0x10;  // G: global volume
  score.at(0, ChCrash).param = kGlobalVolume;

  Tune tune;
  tune.clashes = Clashes(score);
  tune.module.name = "Orvi: Tonaro";
  tune.module.channels = kChannels;
  tune.module.rows = kRows;
  for (int p = 0; p < kPatterns; ++p)
    tune.module.patterns.emplace_back(score.cells.begin() + long(p) * kRows * kChannels,
                                      score.cells.begin() + long(p + 1) * kRows * kChannels);
  tune.module.instruments = MakeInstruments();
  return tune;
}
