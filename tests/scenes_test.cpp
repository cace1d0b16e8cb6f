// The scenes' own clocks and state across frames and scene changes: what a
// golden frame in a scene's middle cannot see.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "platform/frame_timer.h"
#include "assets/textures.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/scene_table.h"
#include "demo/sequencer.h"
#include "render/screen_quads.h"
#include "tests/test_support.h"

// Scenes driven through their frames with the real pictures loaded.
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

// Scene six starts its clock and its light afresh, however long scene five
// ran; the phone steps on from the prison's last frame, restarts in variants
// two to four, and four wraps.
TEST_F(SceneClocks, SceneSixStartsAfreshWhateverSceneFiveLastedAndThePhoneStepsOnRestartsAndWraps) {
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
    const Vector3 l = g_prisonLight;
    EXPECT_NEAR(std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z), 1, 1e-6);
  }
  EXPECT_EQ(std::vector<float>({lights[0].x, lights[0].y, lights[0].z}),
            std::vector<float>({lights[1].x, lights[1].y, lights[1].z}));
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
}

namespace {

// Where a sprite's lettering lands: each sprite slot given a picture whose
// lettering (bottom-left 293x65 texels) is one flat colour, the rest clear;
// the scene drawn in two such colours differs exactly there.
struct Box {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // [x0, x1) x [y0, y1) in window pixels
  long filled = 0;                     // pixels inside that differ
  int Width() const { return x1 - x0; }
  int Height() const { return y1 - y0; }
};

GLuint LetteringPicture(uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> texels(512 * 256 * 4, 0);
  for (int row = 256 - kLetteringHeight; row < 256; ++row)  // the first row is the top
    for (int x = 0; x < kLetteringWidth; ++x) {
      uint8_t* t = &texels[(row * 512 + x) * 4];
      t[0] = r, t[1] = g, t[2] = b, t[3] = 255;
    }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 512, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return name;
}

std::vector<uint8_t> SceneWithLettering(GLWindow* window, int scene, GLuint picture) {
  const int slots[] = {kTitleSlot, g_scenes[scene].spriteSlot};
  GLuint kept[2];
  for (int i = 0; i < 2; ++i)
    if (slots[i] >= 0) kept[i] = g_textureNames[slots[i]], g_textureNames[slots[i]] = picture;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  DrawScene(window, scene);
  for (int i = 2; i-- > 0;)
    if (slots[i] >= 0) g_textureNames[slots[i]] = kept[i];
  return ReadPixels(0, 0, window->GetWidth(), window->GetHeight());
}

// The lettering's box in scene `scene` as it stands (no time passes between
// the two drawings); empty when no lettering shows.
Box LetteringBox(GLWindow* window, int scene) {
  GLuint pictures[2] = {LetteringPicture(255, 0, 0), LetteringPicture(0, 0, 255)};  // this context's
  const int W = window->GetWidth(), H = window->GetHeight();
  const std::vector<uint8_t> a = SceneWithLettering(window, scene, pictures[0]);
  const std::vector<uint8_t> b = SceneWithLettering(window, scene, pictures[1]);
  glDeleteTextures(2, pictures);
  Box box{W, H, 0, 0};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t i = (size_t(y) * W + x) * 4;
      if (a[i] < 128 || b[i + 2] < 128 || a[i + 2] > 127 || b[i] > 127) continue;
      box = {std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x + 1), std::max(box.y1, y + 1),
             box.filled + 1};
    }
  return box.filled ? box : Box{};
}

// A box scaled about its own centre by s, then clipped to the window.
Box Scaled(const Box& rest, double s, int W, int H) {
  const double cx = (rest.x0 + rest.x1) / 2.0, cy = (rest.y0 + rest.y1) / 2.0;
  const double hw = rest.Width() * s / 2, hh = rest.Height() * s / 2;
  return {std::max(0, int(std::lround(cx - hw))), std::max(0, int(std::lround(cy - hh))),
          std::min(W, int(std::lround(cx + hw))), std::min(H, int(std::lround(cy + hh)))};
}

testing::AssertionResult Near(const Box& got, const Box& want, int slack) {
  if (std::abs(got.x0 - want.x0) <= slack && std::abs(got.y0 - want.y0) <= slack &&
      std::abs(got.x1 - want.x1) <= slack && std::abs(got.y1 - want.y1) <= slack)
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "lettering at (" << got.x0 << ", " << got.y0 << ")-(" << got.x1 << ", "
                                     << got.y1 << "), not (" << want.x0 << ", " << want.y0 << ")-(" << want.x1
                                     << ", " << want.y1 << ")";
}

}  // namespace

// Every beat pulse of the scenes whose lettering throbs, at its peak (22 ms
// in, factor 1.2), where the lettering stands whole at rest: it grows about
// its own centre; the credits' pulses alternate, the background first.
TEST_F(SceneClocks, EveryPulseOfAPulsedSpriteScalesItsLetteringAboutItsCentre) {
  UseDrivenClock(0);
  std::map<int, int> checked;  // scene: pulses checked on its sprite
  int pulseInScene = 0, scene = -1;
  bool first = true;
  auto playTo = [&](uint64_t to) {  // 10 ms frames and one at `to`, the state only
    for (; first || g_fakeNowMs < to; first = false) {
      g_fakeNowMs = first ? 0 : std::min(g_fakeNowMs + 10, to);
      StepFrame(window);
    }
  };
  for (const TimelineEvent& e : g_timeline) {
    playTo(e.timeMs);
    if (g_scene != scene) scene = g_scene, pulseInScene = 0;
    if (e.type != EventPulse) continue;
    playTo(e.timeMs + 22);
    ++pulseInScene;
    const PulseTarget target = g_scenes[scene].pulse;
    if (target != PulseSprite && target != PulseAlternating) continue;
    const bool onSprite = target == PulseSprite || pulseInScene % 2 == 0;
    const Box pulsed = LetteringBox(window, scene);
    const float pulse = g_spritePulse;
    g_spritePulse = 1.0f;
    const Box rest = LetteringBox(window, scene);
    g_spritePulse = pulse;
    if (rest.Width() != kLetteringWidth || rest.Height() != kLetteringHeight) continue;
    EXPECT_EQ(rest.filled, long(kLetteringWidth) * kLetteringHeight);
    const Box want = onSprite ? Scaled(rest, 1.2, 640, 480) : rest;
    EXPECT_TRUE(Near(pulsed, want, 1)) << "scene " << scene << ", the pulse at " << e.timeMs << " ms";
    checked[scene] += onSprite;
  }
  for (int n = 0; n < kSceneCount; ++n)
    if (g_scenes[n].pulse == PulseSprite || g_scenes[n].pulse == PulseAlternating) {
      EXPECT_GE(checked[n], 1) << "no pulse of scene " << n << " checked on its lettering";
    }
}

// A plain window the user resizes (shrinks: offscreen ones draw no larger)
// gives the show its size: backgrounds, pictures at (0, 0) and meshes scale,
// a sprite placed from the window's corner keeps its pixel offset.
TEST_F(SceneClocks, AResizedWindowScalesThePictureAndKeepsSpritesAtTheirPixels) {
  CloseTestWindow(window);
  window = OpenTestWindow(800, 600);
  ASSERT_TRUE(window);
  ASSERT_EQ(LoadTextures(), 1);
  g_fakeNowMs += 3000;  // scene five's title in place
  EXPECT_TRUE(Near(LetteringBox(window, 5), Box{507, 535, 800, 600}, 0));
  EXPECT_TRUE(Near(LetteringBox(window, 12), Box{0, 0, 366, 81}, 1));
  SDL_SetWindowSize(SDL_GL_GetCurrentWindow(), 640, 480);
  for (SDL_Event e; SDL_PollEvent(&e);) window->HandleEvent(e);
  ASSERT_EQ(window->GetWidth(), 640);
  ASSERT_EQ(window->GetHeight(), 480);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), std::vector<GLint>({0, 0, 640, 480}));
  EXPECT_TRUE(Near(LetteringBox(window, 5), Box{347, 415, 640, 480}, 0));
  EXPECT_TRUE(Near(LetteringBox(window, 12), Box{0, 0, kLetteringWidth, kLetteringHeight}, 0));
}
