// The scenes' per-frame numbers: cell field, cameras, lights, titles, fades.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/frame_timer.h"
#include "assets/textures.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/picture_scenes.h"
#include "demo/prison_cell_scene.h"
#include "demo/sequencer.h"
#include "tests/test_support.h"

namespace {

void ExpectEye(const LookAt& c, double x, double y, double z, double tolerance = 1e-4) {
  EXPECT_NEAR(c.eye[0], x, tolerance);
  EXPECT_NEAR(c.eye[1], y, tolerance);
  EXPECT_NEAR(c.eye[2], z, tolerance);
}
void ExpectCentre(const LookAt& c, double x, double y, double z, double tolerance = 1e-4) {
  EXPECT_NEAR(c.centre[0], x, tolerance);
  EXPECT_NEAR(c.centre[1], y, tolerance);
  EXPECT_NEAR(c.centre[2], z, tolerance);
}

}  // namespace

TEST(BloodCells, StartUpFieldIsScatteredByWholeFractions) {
  InitBloodCells();
  EXPECT_NEAR(g_cellPositions[0].x, 1.45, 1e-6);
  EXPECT_NEAR(g_cellPositions[0].y, -0.1, 1e-6);
  EXPECT_NEAR(g_cellPositions[0].z, 0.2134, 1e-4);
  EXPECT_EQ(g_cellAngles[0].x, 0);
  EXPECT_NEAR(g_cellPositions[1].z, -0.0061, 1e-4);
  EXPECT_NEAR(g_cellAngles[1].y, 184.86, 1e-2);
  EXPECT_NEAR(g_cellPositions[19].x, 7.1939, 1e-4);
  EXPECT_NEAR(g_cellPositions[19].y, 0.0568, 1e-4);
  EXPECT_NEAR(g_cellPositions[19].z, 0.0427, 1e-4);
  EXPECT_NEAR(g_cellAngles[19].z, 311.35, 1e-2);
}

TEST(BloodCells, DriftWrapsOnceAtMinusOneAndAHalf) {
  InitBloodCells();
  g_cellPositions[0].x = -1.5f + 0.5f;
  g_cellPositions[1].x = -30.0f;
  AdvanceBloodCells(0, 875.0f);  // drifts 0.5
  EXPECT_FLOAT_EQ(g_cellPositions[0].x, 4.5f);
  EXPECT_FLOAT_EQ(g_cellPositions[1].x, -30.5f + 6.0f);  // once a frame only
  EXPECT_NEAR(g_cellAngles[0].x, 875 * 0.19, 1e-3);
  EXPECT_NEAR(g_cellAngles[0].y, 875 * 0.06, 1e-3);
  EXPECT_NEAR(g_cellPositions[0].y, -0.1, 1e-6);  // cell 0 has no wobble
}

TEST(BloodCells, TheTitleSlidesInRestsAndFadesFromTheFirstVariantThreeFrame) {
  SpritePlacement title = BloodCellTitle(1001, 1, 640);
  EXPECT_NEAR(title.x, 640 - 0.7325, 1e-9);
  EXPECT_EQ(title.draw, 1);
  EXPECT_NEAR(BloodCellTitle(1400, 2, 640).x, 347, 1e-9);
  EXPECT_NEAR(BloodCellTitle(1400, 1, 800).x, 507, 1e-9);
  // Scene 4 begins at t = 10875 here; the fade starts 500 ms later.
  SpritePlacement first = BloodCellTitle(10875, 3, 640);
  EXPECT_EQ(g_titleFadeStartMs, 11375u);
  EXPECT_FLOAT_EQ(first.alpha, 1.0f);
  EXPECT_FLOAT_EQ(BloodCellTitle(11375, 3, 640).alpha, 1.0f);
  EXPECT_FLOAT_EQ(g_titleAlpha, 1.0f);
  BloodCellTitle(12375, 3, 640);
  EXPECT_FLOAT_EQ(BloodCellTitle(12385, 3, 640).alpha, 0.5f);  // last frame's value
  BloodCellTitle(13375, 3, 640);
  EXPECT_LE(g_titleAlpha, 0.0f);
  EXPECT_EQ(BloodCellTitle(13385, 3, 640).draw, 0);
}

TEST(BloodCells, NoTitleAndNoDepthClearUpToOneSecond) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  for (Vector3& p : g_cellPositions) p.x = 100;  // out of sight of the identity camera
  UseDrivenClock();
  g_fakeNowMs += 7125;
  BloodCellScene(window, 1);  // t = 0, the first frame of scene 2
  g_fakeNowMs += 1000;
  glClear(GL_DEPTH_BUFFER_BIT);
  glDepthMask(GL_TRUE);
  // A depth mark the scene must keep at t = 1000 and clear at t = 1001.
  auto markDepth = [] {
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, 4);
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    glDisable(GL_SCISSOR_TEST);
  };
  // The background clears depth before the title step, so check with a
  // variant that draws no background.
  markDepth();
  BloodCellScene(window, 0);
  EXPECT_NEAR(DepthAt(1, 1), 0.25f, 1e-3);  // a 16-bit depth buffer
  g_fakeNowMs += 1;
  markDepth();
  BloodCellScene(window, 0);
  EXPECT_FLOAT_EQ(DepthAt(1, 1), 1.0f);
  CloseTestWindow(window);
}

TEST(PrisonCell, CameraPathsMatchTheirEnds) {
  ExpectEye(PrisonCellCamera(1, 0), 0.3, 2.54, 3.42);
  ExpectCentre(PrisonCellCamera(1, 0), 0, 2.47, -0.24);
  ExpectEye(PrisonCellCamera(1, 7200), -0.7286, 3.0938, 2.82);
  ExpectCentre(PrisonCellCamera(1, 7200), 0, 2.95, -0.69);
  ExpectCentre(PrisonCellCamera(2, 0), 7.7, 2.4, 0);
  ExpectCentre(PrisonCellCamera(2, 4500), 1.7, 2.4, 0, 1e-3);
  ExpectCentre(PrisonCellCamera(2, 4501), 1.7, 2.4, 0, 1e-2);
  ExpectEye(PrisonCellCamera(2, 4500), 1.7, 2.7, -2.5, 1e-3);
  ExpectEye(PrisonCellCamera(2, 4501), 1.7, 2.7, -2.5, 1e-3);
  EXPECT_NEAR(PrisonCellCamera(2, 7200).eye[0], 0.5716, 1e-4);
  ExpectCentre(PrisonCellCamera(2, 7200), -4.3, 2.13, 0);
}

TEST(PrisonCell, TheLightMovesItsComponentsAndKeepsTheRestNormalised) {
  Vector3 light = {-0.326f, 0.661f, 0.676f};
  Vector3Normalize(light);
  Vector3 before = light;
  MovePrisonLight(2, 4500, light);
  EXPECT_EQ(light.x, before.x);  // unchanged up to 4500
  MovePrisonLight(2, 7200, light);
  float y = before.y;
  float length = std::sqrt(0.561f * 0.561f + y * y + 0.405f * 0.405f);
  EXPECT_NEAR(light.x, 0.561f / length, 1e-5);
  EXPECT_NEAR(light.z, 0.405f / length, 1e-5);
  Vector3 first = {0.5f, 0.6f, -0.5f};
  Vector3Normalize(first);
  MovePrisonLight(1, 0, first);
  EXPECT_NEAR(std::sqrt(Vector3Dot(first, first)), 1.0, 1e-6);
  EXPECT_GT(first.x, 0.5);  // x set to 0.5, then normalised with the kept y, z
}

TEST(PrisonCell, TheTitleDropsInAndLeavesStretched) {
  EXPECT_EQ(PrisonCellTitle(1, 1500, 640, 480).draw, 0);
  EXPECT_NEAR(PrisonCellTitle(1, 1501, 640, 480).y, 480 - 0.0542, 1e-4);
  EXPECT_NEAR(PrisonCellTitle(1, 2700, 640, 480).y, 415, 1e-9);
  EXPECT_NEAR(PrisonCellTitle(1, 2700, 640, 480).x, 347, 1e-9);
  SpritePlacement resting = PrisonCellTitle(2, 4300, 640, 480);
  EXPECT_EQ(resting.width, 512);
  SpritePlacement leaving = PrisonCellTitle(2, 5000, 640, 480);
  EXPECT_NEAR(leaving.x, -586, 1e-3);
  EXPECT_NEAR(leaving.y, 480, 1e-3);
  EXPECT_EQ(leaving.width, 2270);
  EXPECT_EQ(leaving.height, 191);
  EXPECT_EQ(PrisonCellTitle(2, 5001, 640, 480).draw, 0);
}

TEST(PrisonCell, SceneSixStartsFromZeroWhateverSceneFiveLasted) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  UseDrivenClock();
  g_fakeNowMs += 21600;
  PrisonCellScene(window, 1);
  EXPECT_EQ(g_prisonTimeMs, 21600u);  // the first step: the time since the last DeltaMs
  g_fakeNowMs += 7190;
  PrisonCellScene(window, 1);
  g_fakeNowMs += 20;
  PrisonCellScene(window, 2);
  EXPECT_EQ(g_prisonTimeMs, 0u);
  EXPECT_NEAR(g_prisonLight.x, -0.326f / std::sqrt(0.326f * 0.326f + 0.661f * 0.661f + 0.676f * 0.676f), 1e-6);
  g_fakeNowMs += 10;
  PrisonCellScene(window, 2);
  EXPECT_EQ(g_prisonTimeMs, 10u);
  CloseTestWindow(window);
}

TEST(Cellphone, SceneTimeRestartsAtTheFirstFrameOfVariantsTwoToFourAndFourWraps) {
  EXPECT_EQ(AdvancePhoneTime(1, 16), 16u);  // variant 1 counts on from 0
  EXPECT_EQ(AdvancePhoneTime(1, 10), 26u);
  EXPECT_EQ(AdvancePhoneTime(2, 12), 12u);
  EXPECT_EQ(AdvancePhoneTime(2, 10), 22u);
  EXPECT_EQ(AdvancePhoneTime(3, 7), 7u);
  EXPECT_EQ(AdvancePhoneTime(4, 3590), 3590u);
  EXPECT_EQ(AdvancePhoneTime(4, 10), 0u);  // 3600 wraps to 0
  EXPECT_EQ(g_phoneNextReset, 5);
}

TEST(Cellphone, TheTitleOpensOutInVariantOneAndBlinksInVariantFour) {
  EXPECT_EQ(CellphoneTitle(1, 2500).draw, 0);
  SpritePlacement tiny = CellphoneTitle(1, 2501);
  EXPECT_EQ(tiny.width, 1);
  EXPECT_EQ(tiny.height, 0);
  SpritePlacement almost = CellphoneTitle(1, 2999);
  EXPECT_EQ(almost.width, 509);
  EXPECT_EQ(almost.height, 255);
  EXPECT_NEAR(almost.x, 1.29, 2e-3);
  EXPECT_NEAR(almost.y, 0.065, 1e-3);
  EXPECT_NEAR(almost.alpha, 0.998, 1e-4);
  SpritePlacement rest = CellphoneTitle(1, 3000);
  EXPECT_EQ(rest.width, 512);
  EXPECT_EQ(rest.height, 256);
  EXPECT_EQ(rest.x, 0);
  EXPECT_EQ(rest.alpha, 1.0f);
  for (uint64_t t : {300, 600, 2675}) EXPECT_EQ(CellphoneTitle(4, t).draw, 1) << t;
  for (uint64_t t : {301, 599, 2676}) EXPECT_EQ(CellphoneTitle(4, t).draw, 0) << t;
  EXPECT_EQ(CellphoneTitle(4, (1ull << 32) + 100).draw, 0);  // beyond 32 bits: past every bound
  EXPECT_EQ(CellphoneTitle(2, 99999).draw, 1);
}

TEST(Cellphone, ALongFrameTurnsThePhoneByTheRatesAtOnceAndVariantFourFallsAway) {
  MovePhone(1, 0, 1000);
  EXPECT_NEAR(g_phoneAngleX, 190, 1e-3);
  EXPECT_NEAR(g_phoneAngleY, 60, 1e-3);
  MovePhone(2, 0, 500);
  EXPECT_EQ(g_phoneAngleX, 0);
  EXPECT_NEAR(g_phoneAngleZ, 90, 1e-3);  // carries on from variant 1
  MovePhone(3, 0, 10);
  EXPECT_EQ(g_phoneAngleZ, 0);
  MovePhone(4, 0, 10);
  EXPECT_EQ(g_phoneOffset.x, 0);  // variant 3 left z at 0
  MovePhone(4, 2700, 10);
  EXPECT_NEAR(g_phoneOffset.z, -3.3e-07 * 2700 * 2700, 1e-4);
  MovePhone(4, 2710, 10);
  float previousZ = float(-3.3e-07 * 2700 * 2700);
  EXPECT_NEAR(g_phoneOffset.x, CosDeg(2710 * 0.35f) * previousZ * 0.3f, 1e-5);
}

TEST(Cellphone, CamerasApproachPanAndWatchTheFall) {
  ExpectEye(CellphoneCamera(1, 123), -0.1, 0.16, 0.44);
  ExpectEye(CellphoneCamera(2, 0), 0, 0, 0.9);
  ExpectEye(CellphoneCamera(2, 3600), 0, 0, 0.072, 1e-3);
  ExpectEye(CellphoneCamera(3, 0), 0.11, -0.14, 0.08);
  ExpectCentre(CellphoneCamera(3, 3600), 0.02, 0.03, 0, 1e-3);
  ExpectEye(CellphoneCamera(4, 500), 0, 0, 0.2);
}

TEST(Cellphone, TheFirstFrameOfSceneSevenStepsByTheTimeSinceThePrisonFrame) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  UseDrivenClock();
  g_fakeNowMs += 35990;
  g_timer.DeltaMs();  // the last prison-cell frame
  g_fakeNowMs += 13;
  CellphoneScene(window, 1);
  EXPECT_EQ(g_phoneTimeMs, 13u);
  CloseTestWindow(window);
}

TEST(EndScene, TheLogoFadesOverItsFirst1200MsThenOnlyThePictureStays) {
  EXPECT_FLOAT_EQ(EndLogoAlpha(0), 1.0f);
  EXPECT_NEAR(EndLogoAlpha(600), 0.5f, 1e-6);
  EXPECT_LT(EndLogoAlpha(1200), 0.0f);
  EXPECT_GT(EndLogoAlpha(1200), -1e-6f);
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  UseDrivenClock();
  g_fakeNowMs += 61200;
  auto depthAfterEndScene = [&] {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    EndScene(window);
    // The nearest depth where the logo stands, right of and below the centre.
    std::vector<float> depth(200 * 120);
    glReadPixels(420, 30, 200, 120, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    return *std::min_element(depth.begin(), depth.end());
  };
  EXPECT_LT(depthAfterEndScene(), 1.0f);
  g_fakeNowMs += 1200;
  EXPECT_LT(depthAfterEndScene(), 1.0f);  // drawn, invisible, still writing depth
  g_fakeNowMs += 1;
  EXPECT_FLOAT_EQ(depthAfterEndScene(), 1.0f);
  CloseTestWindow(window);
}

TEST(PictureScene, ShowsNothingBeforeItsEventsThenEachPictureWhereItBelongs) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  auto litPixels = [] {
    std::vector<uint8_t> p = ReadPixels(0, 0, 640, 480);
    int lit = 0;
    for (size_t i = 0; i < p.size(); i += 4) lit += p[i] + p[i + 1] + p[i + 2] > 0;
    return lit;
  };
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  PictureScene(window);
  EXPECT_EQ(litPixels(), 0);
  g_showZmbPicture = 1;
  PictureScene(window);
  int zmb = litPixels();
  EXPECT_GT(zmb, 5000);
  EXPECT_EQ(PixelAt(600, 100).r + PixelAt(600, 100).g, 0);  // bottom right stays black
  g_showQvtPicture = 1;
  PictureScene(window);
  EXPECT_GT(litPixels(), zmb);
  CloseTestWindow(window);
}
