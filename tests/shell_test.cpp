// The application shell: clock, pacer, window, message loop, start-up and shutdown.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "platform/frame_timer.h"
#include "app/lifecycle.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/sequencer.h"
#include "tests/test_support.h"

TEST(Clock, DeltaIsTheTimeSinceTheLastDeltaAndElapsedMovesNeitherStamp) {
  UseDrivenClock(5000);
  g_fakeNowMs += 7125;
  EXPECT_EQ(g_timer.DeltaMs(), 7125u);  // the first: since Begin
  g_fakeNowMs += 10;
  EXPECT_EQ(g_timer.DeltaMs(), 10u);
  g_fakeNowMs += 900;  // a stall nobody asked a delta in comes back whole
  EXPECT_EQ(g_timer.ElapsedMs(), 8035u);
  EXPECT_EQ(g_timer.DeltaMs(), 900u);
  EXPECT_EQ(g_timer.DeltaMs(), 0u);
  EXPECT_EQ(g_timer.startMs, 5000u);
}

TEST(Clock, TheDefaultClockIsMonotonicNotTheTimeOfDay) {
  // A step of the time of day must not move the show's clock.
  timespec monotonic, wall;
  clock_gettime(CLOCK_MONOTONIC, &monotonic);
  clock_gettime(CLOCK_REALTIME, &wall);
  uint64_t ms = g_clockSource();
  uint64_t monotonicMs = uint64_t(monotonic.tv_sec) * 1000 + uint64_t(monotonic.tv_nsec / 1000000);
  uint64_t wallMs = uint64_t(wall.tv_sec) * 1000 + uint64_t(wall.tv_nsec / 1000000);
  EXPECT_NEAR(double(ms), double(monotonicMs), 50);
  EXPECT_GT(std::fabs(double(ms) - double(wallMs)), 1e6);
}

namespace {

// The loop under a driven pacer clock: each frame costs what the test says,
// and a sleep jumps the clock to its deadline.
int64_t g_nowUs;
std::vector<int64_t> g_frameStartsUs, g_sleptUntilUs, g_frameCostsUs;
int g_frames, g_closeAfter;

int64_t DrivenMicroseconds() { return g_nowUs; }
void DrivenSleep(int64_t untilUs) {
  g_sleptUntilUs.push_back(untilUs);
  g_nowUs = untilUs;
}

void CloseWindowFrom(GLWindow* window) {
  SDL_Event close = {};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(window->sdlWindow);
  SDL_PushEvent(&close);
}

void CountedFrame(GLWindow* window) {
  g_frameStartsUs.push_back(g_nowUs);
  if (size_t(g_frames) < g_frameCostsUs.size()) g_nowUs += g_frameCostsUs[size_t(g_frames)];
  if (++g_frames == g_closeAfter) CloseWindowFrom(window);
}

SDL_Event KeyEvent(Uint32 type, SDL_Keycode key) {
  SDL_Event e = {};
  e.type = type;
  e.key.keysym.sym = key;
  return e;
}

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    g_frames = 0;
    g_closeAfter = 3;
    g_nowUs = 0;
    g_frameStartsUs.clear();
    g_sleptUntilUs.clear();
    g_frameCostsUs.clear();
    g_pacerClockUs = DrivenMicroseconds;
    g_pacerSleep = DrivenSleep;
    window = OpenTestWindow();
    ASSERT_TRUE(window);
    window->frameCallback = CountedFrame;
  }
  void TearDown() override { CloseTestWindow(window); }
  GLWindow* window = nullptr;
};

}  // namespace

TEST_F(Loop, FramesStartAtTenMsDeadlinesAndALateFrameIsFollowedAtOnce) {
  g_frameCostsUs = {3000, 9000, 25000, 3000, 3000};
  g_closeAfter = 5;
  window->Run();
  EXPECT_EQ(g_frameStartsUs, (std::vector<int64_t>{0, 10000, 20000, 45000, 55000}));
  // No sleep after the 25 ms frame; the close is taken after the last wait.
  EXPECT_EQ(g_sleptUntilUs, (std::vector<int64_t>{10000, 20000, 55000, 65000}));
}

TEST_F(Loop, ClosingTheWindowEndsTheLoopAfterTheFramesSoFar) {
  window->Run();
  EXPECT_EQ(g_frames, 3);
}

TEST_F(Loop, EscapeHeldEndsTheLoopBeforeAnotherFrame) {
  SDL_Event escape = KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE);
  SDL_PushEvent(&escape);
  window->Run();
  EXPECT_EQ(g_frames, 0);
}

TEST_F(Loop, AnEscapePressReleasedInTheSameDrainIsNotSeen) {
  SDL_Event down = KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE), up = KeyEvent(SDL_KEYUP, SDLK_ESCAPE);
  SDL_PushEvent(&down);
  SDL_PushEvent(&up);
  window->Run();
  EXPECT_EQ(g_frames, 3);
}

TEST(Window, ClientAreaViewportAndProjectionFollowMinimiseRestoreAndMode) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(g_window, window);
  EXPECT_EQ(window->framePeriodMs, 10);
  GLint viewport[4], mode;
  float projection[16];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2] * 10000 + viewport[3], 640 * 10000 + 480);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  // gluPerspective(45, 4/3): m[5] = cot(22.5 deg), m[0] = m[5] / aspect.
  EXPECT_NEAR(projection[5], 1 / std::tan(22.5 * M_PI / 180), 1e-5);
  EXPECT_NEAR(projection[0], projection[5] * 0.75, 1e-5);
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);

  SDL_Event event = {};
  event.type = SDL_WINDOWEVENT;
  event.window.event = SDL_WINDOWEVENT_MINIMIZED;
  window->WndProc(event);  // a 1x1 viewport with aspect 1
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2] * 10000 + viewport[3], 10001);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0], projection[5], 1e-5);
  event.window.event = SDL_WINDOWEVENT_RESTORED;
  window->WndProc(event);  // the size taken anew
  EXPECT_EQ(window->GetWidth() * 10000 + window->GetHeight(), 640 * 10000 + 480);

  window->projectionMode = 2;
  window->width = 200;
  window->height = 100;
  window->Resize();
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0], 2.0 / 200, 1e-7);  // glOrtho(0, 200, 0, 100, 0, 100)
  EXPECT_NEAR(projection[5], 2.0 / 100, 1e-7);
  CloseTestWindow(window);
  EXPECT_EQ(g_window, nullptr);
}

static int g_keyCalls, g_lastPressed;
static uint32_t g_lastKey;
static void CountKey(int pressed, uint32_t key, GLWindow*) {
  ++g_keyCalls;
  g_lastPressed = pressed;
  g_lastKey = key;
}

TEST(Window, KeysFillTheKeyDownArrayAndReachTheCallbackAndFocusNeverPauses) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  g_keyCalls = 0;
  window->WndProc(KeyEvent(SDL_KEYDOWN, SDLK_a));
  EXPECT_EQ(window->keyDown[SDLK_a], 1);  // no callback installed: harmless
  window->SetKeyCallback(CountKey);
  window->WndProc(KeyEvent(SDL_KEYUP, SDLK_a));
  EXPECT_EQ(window->keyDown[SDLK_a], 0);
  EXPECT_EQ(g_keyCalls, 1);
  EXPECT_EQ(g_lastPressed, 0);
  window->WndProc(KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE));
  EXPECT_EQ(window->keyDown[KeyEscape], 1);
  EXPECT_EQ(g_lastKey, 27u);
  window->active = 0;
  SDL_Event lost = {};
  lost.type = SDL_WINDOWEVENT;
  lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  window->WndProc(lost);
  EXPECT_EQ(window->active, 1);
  CloseTestWindow(window);
}

TEST(Window, NoVideoDriverReportsTheClassMessageOnce) {
  setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
  GLWindow window;
  EXPECT_EQ(window.Create(640, 480, 32, 0, nullptr, 100, "test"), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].caption, "Orvi - ERROR");
  EXPECT_EQ(g_messages[0].text, "Cannot start application!\nFailed To Register The Window Class.");
  EXPECT_EQ(g_messages[0].kind, MessageWarning);
  window.Destroy();
  window.Destroy();  // a second call is harmless
}

TEST(Window, FullscreenHidesTheCursorAndDestroyShowsItAgain) {
  // Video held up once more, so the window's Destroy does not end it and the
  // cursor it leaves is its own doing.
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
  GLWindow window;
  ASSERT_EQ(window.Create(640, 480, 32, 1, nullptr, 100, "test"), 1);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_TRUE(SDL_GetWindowFlags(window.sdlWindow) & SDL_WINDOW_FULLSCREEN);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  window.Destroy();
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TEST(Window, WithoutTheFullscreenModeAcceptingTheFallbackGoesOnWindowedDecliningStops) {
  // SDL's dummy display has only 1024x768, and no OpenGL: accepting goes on
  // windowed as far as the GL library, declining stops at the question.
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  const std::string question = "Cannot initialize fullscreen mode.\nFall back to windowed mode?";
  for (int answer : {1, 0}) {
    g_answer = answer;
    ClearMessages();
    GLWindow window;
    EXPECT_EQ(window.Create(640, 480, 32, 1, nullptr, 100, "test"), 0);
    ASSERT_EQ(g_messages.size(), answer ? 2u : 1u) << answer;
    EXPECT_EQ(g_messages[0].text, question);
    EXPECT_EQ(g_messages[0].kind, MessageWarningYesNo);
    if (answer) {
      EXPECT_EQ(g_messages[1].text, "Cannot create GL Device Context.");
    }
    EXPECT_EQ(window.fullscreen, answer ? 0 : 1);
    window.Destroy();
  }
}

TEST(Lifecycle, AMissingPictureFailsStartUpWithItsMessageThenInitFailureAndExitZero) {
  std::string dir = TempDir();
  ASSERT_EQ(chdir(dir.c_str()), 0);  // no data/ here
  int code = -1;
  try {
    RunProgram();
  } catch (const ProcessExited& exited) {
    code = exited.code;
  }
  EXPECT_EQ(code, 0);
  ASSERT_EQ(g_messages.size(), 3u);
  EXPECT_EQ(g_messages[0].text, "Go fullscreen?");
  EXPECT_EQ(g_messages[0].caption, "Orvi: Tonaro");
  EXPECT_EQ(g_messages[0].kind, MessageQuestion);
  EXPECT_EQ(g_messages[1].text, "Could not load Orvi logo texture!@#");
  EXPECT_EQ(g_messages[1].caption, "LoadTextures()");
  EXPECT_EQ(g_messages[2].text, "Init() failure!");
  EXPECT_EQ(g_messages[2].caption, "main()");
  EXPECT_EQ(g_messages[2].kind, MessageError);
  EXPECT_EQ(g_window, nullptr);
}

TEST(Lifecycle, InitStartsEverythingAndPutsTheShowBackToItsStart) {
  // A show already under way: Init must start the next one from scratch.
  g_scene = 7;
  g_eventCursor = 40;
  g_prisonLight = Vector3{3, 0, 0};
  g_bloodLight = Vector3{0, 5, 0};
  g_phoneOffset = Vector3{0.1f, 0.2f, -0.3f};
  GLWindow* window = new GLWindow();
  ASSERT_EQ(Init(0, window), 1) << (g_messages.empty() ? "" : g_messages.back().text);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(g_scene, -1);
  EXPECT_EQ(g_eventCursor, 0);
  EXPECT_EQ(g_phoneOffset.x * 100 + g_phoneOffset.y * 10 + g_phoneOffset.z, 0.0f);
  // The stored directions, normalised.
  EXPECT_NEAR(g_bloodLight.y, 0.5 / std::sqrt(0.04 + 0.25 + 1), 1e-6);
  EXPECT_NEAR(g_phoneLight.z, 0.9191, 1e-4);
  EXPECT_NEAR(g_prisonLight.x, 0.5 / std::sqrt(0.25 + 0.36 + 0.25), 1e-6);
  EXPECT_NEAR(g_cellPositions[1].x, 1.8207, 1e-4);
  EXPECT_EQ(window->keyCallback, IgnoreKey);
  EXPECT_STREQ(SDL_GetWindowTitle(window->sdlWindow), "Orvi: Tonaro");
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint depthFunc;
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
  EXPECT_EQ(depthFunc, GL_LEQUAL);
  EXPECT_LT(g_timer.ElapsedMs(), 1000u);  // the clock began with the music
  EXPECT_THROW(Shutdown(window), ProcessExited);
  EXPECT_EQ(g_window, nullptr);
}
