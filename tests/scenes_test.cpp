// The scenes' own clocks and state across frames and scene changes: what a
// single golden frame in the middle of a scene cannot see.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/frame_timer.h"
#include "assets/textures.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/scene_table.h"
#include "demo/sequencer.h"
#include "tests/test_support.h"

TEST(BloodCells, DriftWrapsOnceAFrameAtMinusOneAndAHalf) {
  InitBloodCells();
  g_cellPositions[0].x = -1.5f + 0.5f;
  g_cellPositions[1].x = -30.0f;
  AdvanceBloodCells(0, 875.0f);  // drifts 0.5
  EXPECT_FLOAT_EQ(g_cellPositions[0].x, 4.5f);
  EXPECT_FLOAT_EQ(g_cellPositions[1].x, -30.5f + 6.0f);  // once a frame only
  EXPECT_NEAR(g_cellAngles[0].x, 875 * 0.19, 1e-3);
  EXPECT_NEAR(g_cellAngles[0].y, 875 * 0.06, 1e-3);
}

// Each scene that keeps its own time: driven through its first frames with
// the real pictures loaded, its clock starts where the show says.
class SceneClocks : public ::testing::Test {
 protected:
  void SetUp() override {
    window = OpenTestWindow();
    ASSERT_TRUE(window);
    ASSERT_EQ(LoadTextures(), 1);
    UseDrivenClock();
  }
  void TearDown() override { CloseTestWindow(window); }
  GLWindow* window = nullptr;
};

TEST_F(SceneClocks, SceneSixStartsFromZeroWhateverSceneFiveLasted) {
  g_fakeNowMs += 21600;
  PrisonCellScene(window, g_scenes[5]);
  EXPECT_EQ(g_prisonTimeMs, 21600u);  // the first step: the time since the last DeltaMs
  g_fakeNowMs += 7190;
  PrisonCellScene(window, g_scenes[5]);
  g_fakeNowMs += 20;
  PrisonCellScene(window, g_scenes[6]);
  EXPECT_EQ(g_prisonTimeMs, 0u);
  EXPECT_NEAR(g_prisonLight.x, -0.326f / std::sqrt(0.326f * 0.326f + 0.661f * 0.661f + 0.676f * 0.676f), 1e-6);
  g_fakeNowMs += 10;
  PrisonCellScene(window, g_scenes[6]);
  EXPECT_EQ(g_prisonTimeMs, 10u);
}

TEST_F(SceneClocks, ThePhoneStepsFromThePrisonFrameRestartsInVariantsTwoToFourAndFourWraps) {
  g_fakeNowMs += 35990;
  g_timer.DeltaMs();  // the last prison-cell frame
  g_fakeNowMs += 13;
  CellphoneScene(window, g_scenes[7]);
  EXPECT_EQ(g_phoneTimeMs, 13u);
  ResetCellphone();
  const struct {
    int variant;
    uint64_t dt, expected;
  } steps[] = {{1, 16, 16}, {1, 10, 26}, {2, 12, 12}, {2, 10, 22}, {3, 7, 7}, {4, 3590, 3590}, {4, 10, 0}};
  for (const auto& s : steps) EXPECT_EQ(AdvancePhoneTime(s.variant, s.dt), s.expected) << s.variant << " +" << s.dt;
}

TEST(Cellphone, TheTitleBlinksInVariantFour) {
  for (uint64_t t : {300, 600, 2675}) EXPECT_EQ(CellphoneTitle(4, t).draw, 1) << t;
  for (uint64_t t : {301, 599, 2676}) EXPECT_EQ(CellphoneTitle(4, t).draw, 0) << t;
  EXPECT_EQ(CellphoneTitle(4, (1ull << 32) + 100).draw, 0);  // beyond 32 bits: past every bound
}
