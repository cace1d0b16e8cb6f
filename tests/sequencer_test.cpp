// The sequencer under a driven clock, with a recorder in place of the scenes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/frame_timer.h"
#include "app/lifecycle.h"
#include "demo/sequencer.h"
#include "demo/timeline.h"
#include "render/screen_quads.h"
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
  // 10 ms frames, and one at each record's own time, until record `last` is consumed.
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

TEST_F(Sequencer, ACutChangesTheSceneAt85MsUnderAFlashThatEndsAt170AndMovesTheStampOfARunningPulse) {
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
  // A frame long after a flash began draws none: the flash's curve, read
  // past its end, would rise again.
  PlayRecordsTo(11);  // the cut at 7040, on time
  EXPECT_EQ(g_flashMs, 0);
  FrameAt(7040 + 400);  // the curve's 400 ms is a second rise
  EXPECT_LT(g_flashMs, 0);
  EXPECT_EQ(PixelAt(320, 240).r, 0);
  // A cut restarts the curve of a running pulse. (The credits' pulses,
  // background then sprite: scenes_test's lettering case.)
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

// Every record of the score at its own time, told by what it does in 1 ms
// frames: C a cut (the first sets scene 0, later ones a flash and a scene
// change pending), P a pulse, F a flash alone, Z and Q the greetings'
// pictures, E the end (exit code 0); each cut's scene 85 ms later.
TEST_F(Sequencer, EveryOneOfThe88RecordsActsAtItsOwnTimeAndEachScene85MsAfterItsCut) {
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
  std::vector<std::string> scenesDue, entered;
  for (const std::string& record : expected)
    if (record.back() == 'C')
      scenesDue.push_back(std::to_string(std::stoi(record) + (scenesDue.empty() ? 0 : 85)) + ": scene " +
                          std::to_string(scenesDue.size()));
  uint64_t t = 0;
  int exitCode = -1;
  try {
    for (; t <= 68000; ++t) {
      g_fakeNowMs = start + t;
      const int cursor = g_eventCursor, scene = g_scene, zmb = g_showZmbPicture, qvt = g_showQvtPicture;
      StepFrame(window);
      if (g_scene != scene) entered.push_back(std::to_string(t) + ": scene " + std::to_string(g_scene));
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
  } catch (const ProcessExited& exited) {
    acted.push_back(std::to_string(t) + "E");
    exitCode = exited.code;
  }
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(g_window, nullptr);  // shut down: window destroyed
  window = nullptr;
  EXPECT_EQ(entered, scenesDue);
  for (size_t i = 0; i < std::max(acted.size(), expected.size()); ++i)
    EXPECT_EQ(i < acted.size() ? acted[i] : "nothing", i < expected.size() ? expected[i] : "nothing")
        << "record " << i;
}
