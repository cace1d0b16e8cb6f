// The sequencer under a driven clock, with a recorder in place of the scenes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
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
  float background = g_backgroundPulse;
  EXPECT_NE(background, 1.0f);
  EXPECT_GT(g_spritePulse, 1.0f);
  FrameAt(21704);
  EXPECT_EQ(g_backgroundPulse, background);
  FrameAt(21705);
  EXPECT_EQ(g_pulseActive, 0);
  EXPECT_EQ(g_backgroundPulse + g_spritePulse, 2.0f);

  PlayRecordsTo(77);  // the cut at 50315
  FrameAt(50400);
  EXPECT_EQ(g_scene, 12);
  FrameAt(51900);
  FrameAt(51920);
  EXPECT_NE(g_backgroundPulse, 1.0f);
  EXPECT_EQ(g_spritePulse, 1.0f);
  FrameAt(52200);
  FrameAt(52220);
  EXPECT_NE(g_spritePulse, 1.0f);
}

TEST_F(Sequencer, ALateFrameConsumesOneEventAndTheRestFollowOneAFrame) {
  FrameAt(2000);  // the first frame, late, with records 1 and 2 already due
  EXPECT_EQ(g_eventCursor, 1);
  EXPECT_EQ(g_drawn, std::vector<int>{0});
  EXPECT_LT(g_flashMs, 0);  // the show opens without a flash
  FrameAt(2010);
  EXPECT_EQ(g_eventCursor, 2);
  EXPECT_EQ(g_pulseActive, 1);
  PlayRecordsTo(10);
  FrameAt(9500);  // 7040 cut, 7650 and 8550 pulses, 9450 all due
  EXPECT_EQ(g_eventCursor, 12);
  EXPECT_EQ(g_eventStampMs, 9500u);  // the flash starts now, not at 7040
  FrameAt(9510);
  EXPECT_EQ(g_eventCursor, 13);
  EXPECT_EQ(g_eventStampMs, 9510u);
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
