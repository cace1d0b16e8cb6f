// The scenes' own clocks and state across frames and scene changes: what a
// single golden frame in the middle of a scene cannot see.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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
}

static float Length(Vector3 v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

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

// Scene six starts its clock and its light afresh, however long scene five ran.
TEST_F(SceneClocks, SceneSixStartsFromZeroAndOneLightWhateverSceneFiveLasted) {
  Vector3 lights[2];
  for (uint64_t sceneFive : {7190, 3000}) {
    ResetShow();
    UseDrivenClock();
    g_fakeNowMs += 21600;
    PrisonCellScene(window, g_scenes[5]);
    EXPECT_EQ(g_prisonTimeMs, 21600u);  // the first step: the time since the last DeltaMs
    g_fakeNowMs += sceneFive;
    PrisonCellScene(window, g_scenes[5]);
    g_fakeNowMs += 20;
    PrisonCellScene(window, g_scenes[6]);
    EXPECT_EQ(g_prisonTimeMs, 0u);
    lights[sceneFive == 3000] = g_prisonLight;
    g_fakeNowMs += 10;
    PrisonCellScene(window, g_scenes[6]);
    EXPECT_EQ(g_prisonTimeMs, 10u);
    EXPECT_NEAR(Length(g_prisonLight), 1, 1e-6);
  }
  EXPECT_EQ(std::vector<float>({lights[0].x, lights[0].y, lights[0].z}),
            std::vector<float>({lights[1].x, lights[1].y, lights[1].z}));
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

// The phone comes towards the camera, then falls away from it; its title
// opens out to its full size and blinks, never leaving the screen.
TEST(Cellphone, ThePhoneApproachesThenFallsAwayAndTheTitleStaysOnScreen) {
  auto distance = [](int variant, uint64_t T) {
    LookAt camera = CellphoneCamera(variant, T);
    return std::hypot(camera.eye[0] - g_phoneOffset.x, camera.eye[1] - g_phoneOffset.y,
                      camera.eye[2] - g_phoneOffset.z);
  };
  ResetCellphone();
  double last = 1e9;
  for (uint64_t T = 0; T <= 3600; T += 10) {
    MovePhone(2, T, 10);
    EXPECT_LT(distance(2, T), last) << "variant 2 at " << T;
    EXPECT_GT(distance(2, T), 0.05) << "variant 2 at " << T;
    last = distance(2, T);
  }
  last = 0;
  for (uint64_t T = 10; T < 3600; T += 10) {
    MovePhone(4, T, 10);
    EXPECT_GT(distance(4, T), last) << "variant 4 at " << T;
    last = distance(4, T);
  }
  for (int variant : {1, 4}) {
    int drawn = 0, changes = 0, was = -1;
    double width = 0;
    for (uint64_t T = 0; T < 3600; ++T) {
      ShownSprite title = CellphoneTitle(variant, T);
      changes += was >= 0 && title.draw != was;
      was = title.draw;
      if (!title.draw) continue;
      ++drawn;
      EXPECT_TRUE(title.x >= 0 && title.y >= 0 && title.x + title.width <= 640 && title.y + title.height <= 480)
          << "variant " << variant << " at " << T;
      EXPECT_TRUE(title.alpha > 0 && title.alpha <= 1) << "variant " << variant << " at " << T;
      if (variant == 1) {
        EXPECT_GE(title.width, width) << "shrank at " << T;
      }
      width = title.width;
    }
    EXPECT_GT(drawn, 100) << variant;
    EXPECT_GE(changes, variant == 4 ? 10 : 1) << variant;
  }
  EXPECT_EQ(CellphoneTitle(1, 3599).width, 512);
  EXPECT_EQ(CellphoneTitle(4, (1ull << 32) + 100).draw, 0);  // beyond 32 bits: past every bound
}
