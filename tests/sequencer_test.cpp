// The sequencer under a driven clock, with a recorder in place of the scenes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/frame_timer.h"
#include "app/lifecycle.h"
#include "demo/scene_table.h"
#include "demo/sequencer.h"
#include "demo/timeline.h"
#include "render/screen_quads.h"
#include "render/vector3.h"
#include "tests/test_support.h"

namespace {

std::vector<int> g_drawn;  // scene number of every scene routine call

void Record(GLWindow*, int scene) { g_drawn.push_back(scene); }

class Sequencer : public ::testing::Test {
 protected:
  void SetUp() override {
    window = OpenTestWindow();
    ASSERT_TRUE(window);
    g_drawn.clear();
    g_drawScene = Record;
    UseDrivenClock(start, Shutdown);
  }
  void TearDown() override {
    if (window && g_window) CloseTestWindow(window);
  }
  // One frame as the message loop draws it, t ms into the show.
  void FrameAt(uint64_t t) {
    g_fakeNowMs = start + t;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    DemoFrame(window);
  }
  // 10 ms frames, plus one at each record's own time, until record `last`
  // has been consumed.
  void PlayRecordsTo(int last) {
    uint64_t now = g_fakeNowMs - start;
    bool first = g_scene == -1;
    while (g_eventCursor <= last) {
      uint64_t due = g_timeline[g_eventCursor].timeMs;
      now = first ? due : std::min(now + 10, due);
      first = false;
      FrameAt(now);
    }
  }
  int Scene() const { return g_drawn.empty() ? -1 : g_drawn.back(); }

  GLWindow* window = nullptr;
  const uint64_t start = 50000;
};

}  // namespace

TEST_F(Sequencer, ACutChangesTheSceneAt85MsUnderAFlashThatEndsAt170) {
  PlayRecordsTo(2);
  FrameAt(3515);
  EXPECT_EQ(g_flashMs, 0);
  FrameAt(3599);
  EXPECT_EQ(Scene(), 0);
  FrameAt(3600);
  EXPECT_EQ(Scene(), 1);
  EXPECT_NEAR(PixelAt(320, 240).r, 255, 1);  // full white at the change
  FrameAt(3684);
  EXPECT_EQ(g_flashMs, 169);
  FrameAt(3686);
  EXPECT_LT(g_flashMs, 0);  // drawn once more at 171 ms, then over
  FrameAt(3700);
  EXPECT_EQ(PixelAt(320, 240).r, 0);
}

TEST_F(Sequencer, ACutMovesTheStampOfARunningPulseAndCreditsPulseTheBackgroundThenTheSprite) {
  PlayRecordsTo(30);  // the pulse at 21150
  FrameAt(21375);     // record 31, the last pulse of scene 4
  FrameAt(21395);
  EXPECT_GT(g_backgroundPulse, 1.0f);
  FrameAt(21515);  // the cut restarts the pulse's curve
  FrameAt(21600);  // scene 5: the sprite factor moves, the background keeps its last value
  EXPECT_EQ(g_scene, 5);
  // The background as the cut's frame left it, the curve at its base; the
  // sprite 85 ms into the restarted curve: 1.1 + 0.1 sin(340 degrees).
  EXPECT_FLOAT_EQ(g_backgroundPulse, 1.05f);
  EXPECT_NEAR(g_spritePulse, 1.0658, 1e-4);
  FrameAt(21704);
  EXPECT_FLOAT_EQ(g_backgroundPulse, 1.05f);
  FrameAt(21705);
  EXPECT_EQ(g_pulseActive, 0);
  EXPECT_EQ(g_backgroundPulse, 1.0f);
  EXPECT_EQ(g_spritePulse, 1.0f);

  PlayRecordsTo(77);  // the cut at 50315
  FrameAt(50400);
  EXPECT_EQ(g_scene, 12);
  FrameAt(51900);
  FrameAt(51920);  // 20 ms in: base + amplitude x sin(80 degrees)
  EXPECT_NEAR(g_backgroundPulse, 1.05 + 0.05 * 0.98481, 1e-5);
  EXPECT_EQ(g_spritePulse, 1.0f);
  FrameAt(52200);
  FrameAt(52220);
  EXPECT_NEAR(g_spritePulse, 1.1 + 0.1 * 0.98481, 1e-5);
}

// A late frame reaches every record due by its time, in order, each timed
// from when it fell due: it shows what a frame on time would have.
TEST_F(Sequencer, ALateFrameCatchesUpOnEveryRecordDueAndShowsWhatAFrameOnTimeWould) {
  FrameAt(2000);  // the first frame, late, with the pulses at 1500 and 1800 due too
  EXPECT_EQ(g_eventCursor, 3);
  EXPECT_EQ(g_drawn, std::vector<int>{0});
  EXPECT_LT(g_flashMs, 0);      // the show opens without a flash
  EXPECT_EQ(g_pulseActive, 0);  // the pulse at 1800 ended at 1990
  FrameAt(9500);  // the title's records, the 7040 cut, the 7650 and 8550 pulses, and 9450 due
  EXPECT_EQ(g_eventCursor, 15);
  EXPECT_EQ(g_scene, 2);  // the cut's scene change is not held back by the pulses after it
  EXPECT_LT(g_flashMs, 0);
  EXPECT_EQ(g_eventStampMs, 9500u);  // 50 ms after 9450: timed from this frame, as on time
  EXPECT_GT(g_backgroundPulse, 1.0f);
  FrameAt(14500);  // the cut at 14315, 185 ms ago: timed from its own time
  EXPECT_EQ(g_scene, 3);
  EXPECT_EQ(g_flashMs, -1);  // over at 14485: not drawn
  EXPECT_EQ(PixelAt(320, 240).r, 0);
  FrameAt(14900);  // the pulse at 14850, within 85 ms: timed from this frame
  EXPECT_EQ(g_eventStampMs, 14900u);
}

// A frame every second, as a hidden browser tab gets them: every scene is
// entered in the first frame at or after its start, and the end record comes
// at 67 s, not later.
TEST_F(Sequencer, AFrameASecondEntersEverySceneInTimeAndEndsAt67Seconds) {
  int exitCode = -1;
  std::vector<int> sceneAt;
  try {
    for (uint64_t t = 0; t <= 70000; t += 1000) {
      FrameAt(t);
      sceneAt.push_back(g_scene);
    }
  } catch (const ProcessExited& exited) {
    exitCode = exited.code;
  }
  EXPECT_EQ(exitCode, 0);
  ASSERT_EQ(sceneAt.size(), 67u);  // frames at 0 s to 66 s; the one at 67 s ended the show
  for (int s = 0; s < kSceneCount; ++s)
    for (uint64_t t = (SceneStartMs(s) + 999) / 1000 * 1000; t < SceneEndMs(s); t += 1000)
      EXPECT_EQ(sceneAt[t / 1000], s) << "at " << t << " ms";
}

// A frame long after a flash began draws none: the flash's curve, read past
// its end, would rise again.
TEST_F(Sequencer, AFrameLongAfterAFlashBeganDrawsNoFlash) {
  PlayRecordsTo(2);
  FrameAt(3515);  // the cut, on time
  EXPECT_EQ(g_flashMs, 0);
  FrameAt(3515 + 400);  // the curve's 400 ms is a second rise
  EXPECT_LT(g_flashMs, 0);
  EXPECT_EQ(PixelAt(320, 240).r, 0);
}

// The show's scene boundaries: each scene starts 85 ms after its cut, at the
// first 10 ms frame; the pictures of scene 11 appear at their events; the
// end record at 67 s shuts the program down with exit code 0.
TEST_F(Sequencer, TheWholeShowAtTenMsFramesEntersEverySceneOnTimeAndEndsAt67Seconds) {
  const uint64_t cuts[] = {0,     3515,  7040,  14315, 17915, 21515, 28715, 35915,
                           39515, 43115, 46715, 49415, 50315, 53915, 57515, 61115};
  std::vector<std::pair<int, uint64_t>> entered;
  uint64_t zmbAt = 0, qvtAt = 0, t = 0;
  int exitCode = -1;
  try {
    for (t = 0; t <= 70000; t += 10) {
      int before = g_scene;
      FrameAt(t);
      if (g_scene != before) entered.push_back({g_scene, t});
      if (g_showZmbPicture && !zmbAt) zmbAt = t;
      if (g_showQvtPicture && !qvtAt) qvtAt = t;
    }
  } catch (const ProcessExited& exited) {
    exitCode = exited.code;
  }
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(t, 67000u);
  EXPECT_EQ(g_window, nullptr);  // shut down: window destroyed
  window = nullptr;
  ASSERT_EQ(entered.size(), std::size(cuts));
  for (size_t i = 0; i < entered.size(); ++i) {
    EXPECT_EQ(entered[i].first, int(i));
    EXPECT_NEAR(double(entered[i].second), double(cuts[i] + (i ? 85 : 0)), 10) << "scene " << i;
  }
  EXPECT_EQ(zmbAt, 49730u);
  EXPECT_EQ(qvtAt, 49950u);
}

// Every record of the score at its own time, told by what it does in 1 ms
// frames: C a cut (the first sets scene 0, later ones start a flash with a
// scene change pending), P a pulse, F a flash alone, Z and Q the greetings'
// pictures, E the end.
TEST_F(Sequencer, EveryOneOfThe88RecordsActsAtItsOwnTime) {
  const char* const kScore =
      "0C 1500P 1800P "
      "3515C 5100P 5400P 5850P 6215F 6365F 6665F 6890F "
      "7040C 7650P 8550P 9450P 10350P 11250P 12150P 13050P 13950P "
      "14315C 14850P 15750P 16650P 17550P "
      "17915C 18450P 19350P 20025P 20250P 21150P 21375P "
      "21515C 22050P 22950P 23850P 24750P 25650P 26550P 27450P 28350P "
      "28715C 29250P 30150P 31050P 31950P 32850P 33750P 34650P 35325P 35550P "
      "35915C 36450P 37125P 38250P 38625P 39150P "
      "39515C 40050P 40725P 41850P 42225P 42525P 42750P "
      "43115C 43650P 44325P 45450P 45825P 46350P "
      "46715C 47250P 47925P 49050P "
      "49415C 49725Z 49950Q "
      "50315C 51900P 52200P "
      "53915C 55500P 55800P "
      "57515C 59100P 59400P "
      "61115C 67000E";
  std::vector<std::string> expected, acted;
  for (std::istringstream in(kScore); in.good();) expected.emplace_back(), in >> expected.back();
  EXPECT_EQ(expected.size(), 88u);
  EXPECT_EQ(kTimelineLength, 88);
  uint64_t t = 0;
  g_showEnd = [](GLWindow*) { throw ProcessExited{0}; };
  try {
    for (; t <= 68000; ++t) {
      g_fakeNowMs = start + t;
      const int cursor = g_eventCursor, scene = g_scene, zmb = g_showZmbPicture, qvt = g_showQvtPicture;
      StepFrame(window);
      if (g_eventCursor == cursor) continue;
      char type = '?';
      if (scene == -1 && g_scene == 0) type = 'C';
      else if (g_flashMs == 0 && g_cutPending) type = 'C';
      else if (g_flashMs == 0) type = 'F';
      else if (g_pulseActive && g_eventStampMs == t) type = 'P';
      else if (g_showZmbPicture != zmb) type = 'Z';
      else if (g_showQvtPicture != qvt) type = 'Q';
      acted.push_back(std::to_string(t) + type);
    }
  } catch (const ProcessExited&) {
    acted.push_back(std::to_string(t) + "E");
  }
  for (size_t i = 0; i < std::max(acted.size(), expected.size()); ++i)
    EXPECT_EQ(i < acted.size() ? acted[i] : "nothing", i < expected.size() ? expected[i] : "nothing")
        << "record " << i;
}
