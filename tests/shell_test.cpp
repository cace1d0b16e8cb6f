// The application shell: clock, window, message loop, start-up and shutdown.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "platform/frame_timer.h"
#include "app/lifecycle.h"
#include "tests/test_support.h"

TEST(Clock, FirstDeltaIsTheTimeSinceBeginAndAStallComesBackWhole) {
  UseDrivenClock(5000);
  g_fakeNowMs += 7125;
  EXPECT_EQ(g_timer.DeltaMs(), 7125u);
  g_fakeNowMs += 10;
  EXPECT_EQ(g_timer.DeltaMs(), 10u);
  g_fakeNowMs += 900;  // nobody asked for a delta meanwhile
  EXPECT_EQ(g_timer.ElapsedMs(), 8035u);
  EXPECT_EQ(g_timer.DeltaMs(), 900u);
  EXPECT_EQ(g_timer.DeltaMs(), 0u);
}

TEST(Clock, ElapsedNeverMovesTheDeltaStampAndNothingMovesTheStart) {
  UseDrivenClock(100);
  g_fakeNowMs = 350;
  EXPECT_EQ(g_timer.ElapsedMs(), 250u);
  EXPECT_EQ(g_timer.lastMs, 100u);
  g_timer.DeltaMs();
  EXPECT_EQ(g_timer.lastMs, 350u);
  EXPECT_EQ(g_timer.startMs, 100u);
}

TEST(Clock, TheRealClockIsMonotonicAndBeginsAtZero) {
  g_clockSource = MonotonicClockMs;
  ASSERT_EQ(g_timer.Begin(), 1);
  EXPECT_LT(g_timer.ElapsedMs(), 1000u);
  uint64_t a = MonotonicClockMs();
  usleep(3000);
  EXPECT_GE(MonotonicClockMs(), a + 2);
  EXPECT_GE(g_timer.resolutionMs, 1u);
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

TEST(Clock, TimerResolutionIsAtLeastOneAndAtMostTheMaximum) {
  EXPECT_EQ(ChooseTimerResolution(0, 1000000), 1u);
  EXPECT_EQ(ChooseTimerResolution(1, 1000000), 1u);
  EXPECT_EQ(ChooseTimerResolution(15, 1000000), 15u);
  EXPECT_EQ(ChooseTimerResolution(5, 3), 3u);
}

TEST(Pacer, AWaitAfterTheDeadlineHasPassedReturnsAndAnUnarmedWaitDoesNotBlock) {
  g_clockSource = MonotonicClockMs;
  g_timer.Begin();
  g_timer.Arm(0);
  g_timer.Wait();
  g_timer.Wait();
  uint64_t before = MonotonicClockMs();
  g_timer.Arm(20);
  g_timer.Wait();
  EXPECT_GE(MonotonicClockMs(), before + 19);
}

TEST(Window, ClientAreaIsTheRequestedSizeWithAPerspectiveProjection) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(g_window, window);
  EXPECT_EQ(window->GetWidth(), 640);
  EXPECT_EQ(window->GetHeight(), 480);
  EXPECT_EQ(window->framePeriodMs, 10);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 640);
  EXPECT_EQ(viewport[3], 480);
  float projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  // gluPerspective(45, 4/3): m[5] = cot(22.5 deg), m[0] = m[5] / aspect.
  EXPECT_NEAR(projection[5], 1 / std::tan(22.5 * M_PI / 180), 1e-5);
  EXPECT_NEAR(projection[0], projection[5] * 0.75, 1e-5);
  GLint mode;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  CloseTestWindow(window);
  EXPECT_EQ(g_window, nullptr);
}

TEST(Window, MinimisingKeepsAOneByOneViewportWithAspectOneAndRestoringTakesTheSizeAnew) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  SDL_Event minimised = {};
  minimised.type = SDL_WINDOWEVENT;
  minimised.window.event = SDL_WINDOWEVENT_MINIMIZED;
  window->WndProc(minimised);
  EXPECT_EQ(window->GetWidth(), 1);
  EXPECT_EQ(window->GetHeight(), 1);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 1);
  EXPECT_EQ(viewport[3], 1);
  float projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0], projection[5], 1e-5);
  SDL_Event restored = minimised;
  restored.window.event = SDL_WINDOWEVENT_RESTORED;
  window->WndProc(restored);
  EXPECT_EQ(window->GetWidth(), 640);  // back to the whole window
  EXPECT_EQ(window->GetHeight(), 480);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 640);
  window->projectionMode = 2;
  window->width = 200;
  window->height = 100;
  window->Resize();
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_NEAR(projection[0], 2.0 / 200, 1e-7);  // glOrtho(0, 200, 0, 100, 0, 100)
  EXPECT_NEAR(projection[5], 2.0 / 100, 1e-7);
  CloseTestWindow(window);
}

static int g_keyCalls, g_lastPressed;
static uint32_t g_lastKey;
static void CountKey(int pressed, uint32_t key, GLWindow*) {
  ++g_keyCalls;
  g_lastPressed = pressed;
  g_lastKey = key;
}

static SDL_Event KeyEvent(Uint32 type, SDL_Keycode key) {
  SDL_Event e = {};
  e.type = type;
  e.key.keysym.sym = key;
  return e;
}

TEST(Window, KeysFillTheKeyDownArrayAndReachTheCallbackAndFocusNeverPauses) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
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

static int g_frames;
static void CountFramesThenClose(GLWindow* window) {
  if (++g_frames == 3) {
    SDL_Event close = {};
    close.type = SDL_WINDOWEVENT;
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    close.window.windowID = SDL_GetWindowID(window->sdlWindow);
    SDL_PushEvent(&close);
  }
}

TEST(Loop, ClosingTheWindowEndsTheLoopAfterTheFramesSoFar) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  g_clockSource = MonotonicClockMs;
  window->frameCallback = CountFramesThenClose;
  window->Run();
  EXPECT_EQ(g_frames, 3);
  CloseTestWindow(window);
}

TEST(Loop, EscapeHeldEndsTheLoopBeforeAnotherFrame) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  window->frameCallback = CountFramesThenClose;
  SDL_Event escape = KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE);
  SDL_PushEvent(&escape);
  window->Run();
  EXPECT_EQ(g_frames, 0);
  CloseTestWindow(window);
}

TEST(Loop, AnEscapePressReleasedInTheSameDrainIsNotSeen) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  window->frameCallback = CountFramesThenClose;
  SDL_Event down = KeyEvent(SDL_KEYDOWN, SDLK_ESCAPE), up = KeyEvent(SDL_KEYUP, SDLK_ESCAPE);
  SDL_PushEvent(&down);
  SDL_PushEvent(&up);
  window->Run();
  EXPECT_EQ(g_frames, 3);
  CloseTestWindow(window);
}

TEST(WindowFailure, NoVideoDriverReportsTheClassMessageOnce) {
  setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
  RecordMessages();
  GLWindow window;
  EXPECT_EQ(window.Create(640, 480, 32, 0, nullptr, 100, "test"), 0);
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].caption, "Orvi - ERROR");
  EXPECT_EQ(g_messages[0].text, "Cannot start application!\nFailed To Register The Window Class.");
  EXPECT_EQ(g_messages[0].kind, MessageWarning);
  window.Destroy();
  window.Destroy();  // a second call is harmless
}

// The fallback question needs a display without the mode: the end-to-end test
// asks it on a 1024x768 X server. The offscreen driver offers every mode.
TEST(Window, FullscreenHidesTheCursorAndDestroyShowsItAgain) {
  RecordMessages();
  GLWindow window;
  ASSERT_EQ(window.Create(640, 480, 32, 1, nullptr, 100, "test"), 1);
  EXPECT_EQ(window.fullscreen, 1);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_TRUE(SDL_GetWindowFlags(window.sdlWindow) & SDL_WINDOW_FULLSCREEN);
  window.Destroy();
  EXPECT_EQ(window.fullscreen, 1);  // Destroy does not clear it
  EXPECT_TRUE(g_messages.empty());
}

TEST(Lifecycle, AMissingPictureFailsStartUpWithItsMessageThenInitFailureAndExitZero) {
  std::string dir = TempDir();
  ASSERT_EQ(chdir(dir.c_str()), 0);  // no data/ here
  RecordMessages();
  CatchProcessExit();
  try {
    RunProgram();
    FAIL() << "RunProgram returned";
  } catch (const ProcessExited& exited) {
    EXPECT_EQ(exited.code, 0);
  }
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

TEST(Lifecycle, InitStartsEverythingAndSetsTheStateTheShowNeeds) {
  RecordMessages();
  GLWindow* window = new GLWindow();
  ASSERT_EQ(Init(0, window), 1) << (g_messages.empty() ? "" : g_messages.back().text);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(window->keyCallback, IgnoreKey);
  EXPECT_STREQ(SDL_GetWindowTitle(window->sdlWindow), "Orvi: Tonaro");
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint depthFunc;
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
  EXPECT_EQ(depthFunc, GL_LEQUAL);
  EXPECT_LT(g_timer.ElapsedMs(), 1000u);  // the clock began with the music
  CatchProcessExit();
  EXPECT_THROW(Shutdown(window), ProcessExited);
  EXPECT_EQ(g_window, nullptr);
}
