// The application shell: clock, pacer, window, message loop, start-up and shutdown.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include <signal.h>

#include <algorithm>
#include <thread>

#include "platform/frame_timer.h"
#include "platform/key_map.h"
#include "app/launch_options.h"
#include "app/lifecycle.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/sequencer.h"
#include "tests/test_support.h"
#include "tools/png_writer.h"

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
  EXPECT_EQ(window->keyDown['A'], 1);  // no callback installed: harmless
  window->SetKeyCallback(CountKey);
  window->WndProc(KeyEvent(SDL_KEYUP, SDLK_a));
  EXPECT_EQ(window->keyDown['A'], 0);
  EXPECT_EQ(g_keyCalls, 1);
  EXPECT_EQ(g_lastPressed, 0);
  EXPECT_EQ(g_lastKey, uint32_t('A'));
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

// SDL codes of keys without a character carry bit 30; their low byte must not
// alias a virtual-key code (SDLK_APP1's is 27, Escape's).
TEST(Keys, OnlyEscapeHasTheEscapeCodeAndKeysWithoutACodeAreIgnored) {
  int escapes = 0;
  for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode) {
    SDL_Keycode key = SDL_SCANCODE_TO_KEYCODE(scancode);
    int code = VirtualKeyCode(key);
    EXPECT_LT(code, 256) << SDL_GetScancodeName(SDL_Scancode(scancode));
    if (code == KeyEscape) ++escapes;
  }
  for (SDL_Keycode key = 0; key < 128; ++key) {
    int code = VirtualKeyCode(key);
    EXPECT_EQ(code == KeyEscape, key == SDLK_ESCAPE) << key;
    if (code == KeyEscape) ++escapes;
  }
  EXPECT_EQ(escapes, 1);
  EXPECT_EQ(VirtualKeyCode(SDLK_ESCAPE), 27);
  EXPECT_EQ(VirtualKeyCode(SDLK_APP1), -1);
  EXPECT_EQ(VirtualKeyCode(SDLK_F1), 112);
  EXPECT_EQ(VirtualKeyCode(SDLK_KP_0), 96);
  EXPECT_EQ(VirtualKeyCode(SDLK_9), '9');

  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  g_keyCalls = 0;
  window->SetKeyCallback(CountKey);
  EXPECT_EQ(window->WndProc(KeyEvent(SDL_KEYDOWN, SDLK_APP1)), 0);
  EXPECT_EQ(window->keyDown[KeyEscape], 0);
  EXPECT_EQ(g_keyCalls, 0);
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

TEST(Viewport, FullscreenLetterboxesFourToThreeAndAWindowOrStretchTakesItAll) {
  ViewRect wide = FitViewport(1280, 720, 1);
  EXPECT_EQ(wide.x, 160);
  EXPECT_EQ(wide.y, 0);
  EXPECT_EQ(wide.width, 960);
  EXPECT_EQ(wide.height, 720);
  ViewRect tall = FitViewport(1280, 1024, 1);
  EXPECT_EQ(tall.x, 0);
  EXPECT_EQ(tall.y, 32);
  EXPECT_EQ(tall.width, 1280);
  EXPECT_EQ(tall.height, 960);
  ViewRect exact = FitViewport(640, 480, 1);
  EXPECT_EQ(exact.x + exact.y, 0);
  EXPECT_EQ(exact.width, 640);
  EXPECT_EQ(exact.height, 480);
  ViewRect stretched = FitViewport(1280, 720, 0);
  EXPECT_EQ(stretched.x + stretched.y, 0);
  EXPECT_EQ(stretched.width, 1280);
  EXPECT_EQ(stretched.height, 720);
  ViewRect gone = FitViewport(0, 0, 1);  // minimised
  EXPECT_EQ(gone.width + gone.height, 0);
}

static int RefuseSwitch(SDL_Window*, Uint32) { return -1; }

// The switch happens once the window shows; its failure must reach the user.
TEST(Window, AFailedFullscreenSwitchAsksTheFallbackQuestionAndYesGoesOnWindowed) {
  for (int desktop = 0; desktop <= 1; ++desktop) {
    for (int answer = 0; answer <= 1; ++answer) {
      RecordMessages();
      ClearMessages();
      g_answer = answer;
      g_fullscreenSwitch = RefuseSwitch;
      GLWindow window;
      WindowOptions options;
      options.desktop = desktop;
      window.SetOptions(options);
      int created = window.Create(640, 480, 32, 1, nullptr, 100, "test");
      g_fullscreenSwitch = SDL_SetWindowFullscreen;
      ASSERT_EQ(g_messages.size(), 1u) << desktop << answer;
      EXPECT_EQ(g_messages[0].kind, MessageWarningYesNo);
      EXPECT_EQ(g_messages[0].caption, "Orvi - ERROR");
      EXPECT_EQ(g_messages[0].text, "Cannot initialize fullscreen mode.\nFall back to windowed mode?");
      EXPECT_EQ(created, answer);
      if (answer) {
        EXPECT_EQ(window.fullscreen, 0);
        EXPECT_FALSE(SDL_GetWindowFlags(window.sdlWindow) & SDL_WINDOW_FULLSCREEN);
        EXPECT_EQ(window.GetWidth(), 640);
        EXPECT_EQ(window.GetHeight(), 480);
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
      }
      window.Destroy();
      SDL_Quit();
    }
  }
  g_answer = 0;
}

TEST(Window, DesktopFullscreenLetterboxesTheViewportAndStretchFillsIt) {
  for (int stretch = 0; stretch <= 1; ++stretch) {
    RecordMessages();
    ClearMessages();
    GLWindow window;
    WindowOptions options;
    options.desktop = 1;
    options.stretch = stretch;
    window.SetOptions(options);
    ASSERT_EQ(window.Create(640, 480, 32, 1, nullptr, 100, "test"), 1);
    EXPECT_TRUE(g_messages.empty());
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window.sdlWindow, &w, &h);
    SDL_DisplayMode desktopMode;
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktopMode), 0);
    EXPECT_EQ(w, desktopMode.w);
    EXPECT_EQ(h, desktopMode.h);
    ViewRect expected = FitViewport(w, h, !stretch);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], expected.x);
    EXPECT_EQ(viewport[1], expected.y);
    EXPECT_EQ(viewport[2], expected.width);
    EXPECT_EQ(viewport[3], expected.height);
    EXPECT_EQ(window.GetWidth(), expected.width);
    EXPECT_EQ(window.GetHeight(), expected.height);
    window.Destroy();
    SDL_Quit();
  }
}

// A driver without a multisampled format must not stop the show.
TEST(Window, MultisamplingIsGrantedWhereTheDriverHasItAndItsRefusalIsSilent) {
  RecordMessages();
  ClearMessages();
  GLWindow window;
  WindowOptions options;
  options.samples = 4;
  window.SetOptions(options);
  ASSERT_EQ(window.Create(640, 480, 32, 0, nullptr, 100, "test"), 1);
  EXPECT_EQ(window.GetGrantedSamples(), 4);
  GLint buffers = 0;
  glGetIntegerv(GL_SAMPLE_BUFFERS, &buffers);
  EXPECT_EQ(buffers, 1);
  window.Destroy();
  SDL_Quit();

  // More than any format here offers: SDL refuses the attribute, and the
  // window comes up with the most there is.
  GLWindow refused;
  options.samples = 16;
  refused.SetOptions(options);
  ASSERT_EQ(refused.Create(640, 480, 32, 0, nullptr, 100, "test"), 1);
  EXPECT_LT(refused.GetGrantedSamples(), 16);
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(refused.GetWidth(), 640);
  refused.Destroy();
  SDL_Quit();
}

// Grey levels other than black and white along a slanted white edge.
static int BlendedPixelsOfATriangle(int samples) {
  RecordMessages();
  GLWindow window;
  WindowOptions options;
  options.samples = samples;
  window.SetOptions(options);
  if (window.Create(64, 64, 32, 0, nullptr, 100, "test") != 1) return -1;
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 64, 0, 64, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glColor3f(1, 1, 1);
  glBegin(GL_TRIANGLES);
  glVertex2f(3, 5);
  glVertex2f(60, 17);
  glVertex2f(21, 59);
  glEnd();
  glFinish();
  std::vector<uint8_t> pixels = ReadBackBuffer(64, 64);  // resolved, as the display shows it
  int blended = 0;
  for (size_t i = 0; i < pixels.size(); i += 3)
    if (pixels[i] > 8 && pixels[i] < 247) ++blended;
  window.Destroy();
  SDL_Quit();
  return blended;
}

TEST(Window, MultisamplingBlendsAnEdgeThatSingleSamplingLeavesHard) {
  EXPECT_EQ(BlendedPixelsOfATriangle(0), 0);
  EXPECT_GT(BlendedPixelsOfATriangle(4), 60);
}

TEST(Window, SwapIntervalIsWhatTheDriverGrantsAndNeverWaitsWhenVsyncIsOff) {
  for (int vsync = 0; vsync <= 1; ++vsync) {
    RecordMessages();
    GLWindow window;
    WindowOptions options;
    options.vsync = vsync;
    window.SetOptions(options);
    ASSERT_EQ(window.Create(640, 480, 32, 0, nullptr, 100, "test"), 1);
    EXPECT_EQ(window.GetSwapInterval(), SDL_GL_GetSwapInterval());
    if (!vsync) {
      EXPECT_EQ(window.GetSwapInterval(), 0);
    }
    std::printf("%s driver, vsync %s: swap interval %d\n", SDL_GetCurrentVideoDriver(),
                vsync ? "asked" : "off", window.GetSwapInterval());
    window.Destroy();
    SDL_Quit();
  }
}

TEST(LaunchOptions, EachOptionAndEveryRefusalWithItsReason) {
  auto parse = [](std::vector<const char*> args, LaunchOptions* o, std::string* why) {
    args.insert(args.begin(), "orvi");
    return ParseLaunchOptions(int(args.size()), args.data(), o, why);
  };
  LaunchOptions o;
  std::string why;
  ASSERT_EQ(parse({}, &o, &why), 1);
  EXPECT_EQ(o.windowed + o.fullscreen + o.stretch + o.help + o.version, 0);
  EXPECT_EQ(o.msaa, -1);
  EXPECT_EQ(o.vsync, 1);
  o = LaunchOptions();
  ASSERT_EQ(parse({"--stretch", "--msaa", "8", "--no-vsync"}, &o, &why), 1);
  EXPECT_EQ(o.stretch, 1);
  EXPECT_EQ(o.fullscreen, 1);
  EXPECT_EQ(o.msaa, 8);
  EXPECT_EQ(o.vsync, 0);
  o = LaunchOptions();
  ASSERT_EQ(parse({"--windowed", "--msaa", "0", "--help", "--version"}, &o, &why), 1);
  EXPECT_EQ(o.windowed, 1);
  EXPECT_EQ(o.msaa, 0);
  EXPECT_EQ(o.help + o.version, 2);
  const std::vector<std::vector<const char*>> refused = {
      {"--bogus"}, {"-x"}, {"fullscreen"}, {"--msaa"}, {"--msaa", "four"}, {"--msaa", "-1"},
      {"--msaa", "17"}, {"--msaa", "4x"}, {"--msaa", ""}, {"--windowed", "--fullscreen"},
      {"--stretch", "--windowed"}};
  for (const auto& args : refused) {
    o = LaunchOptions();
    why.clear();
    EXPECT_EQ(parse(args, &o, &why), 0) << args[0];
    EXPECT_FALSE(why.empty()) << args[0];
  }
  EXPECT_STREQ(OrviVersion(), "1.0.0");
}

// The music clock on SDL's dummy device, which plays about in real time: a
// few per cent fast when the machine is idle, slower when it is busy.
const double kDummyHaste = 1.06;

static int StartTune() {
  return BASS_Init(-1, 44100, 32, nullptr) && BASS_Start() &&
         BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize), 5) && BASS_MusicPlay(1);
}

TEST(MusicClock, FollowsPlaybackInRealTimeNeverGoesBackAndPrintsItsJitter) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(StartTune(), 1);
  g_clockSource = MonotonicClockMs;
  g_timer.Begin();
  const uint64_t startUs = MusicClockUs(), startMono = MonotonicClockMs();
  EXPECT_LT(startUs, 30000u);  // the clock begins with the music
  // Frame-to-frame steps of the music clock and, as the baseline measured
  // in the same frames, of the monotonic clock.
  std::vector<double> steps, baseline;
  uint64_t previous = startUs;
  auto monoUs = [] {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
  };
  double previousMono = monoUs();
  for (int frame = 0; frame < 150; ++frame) {
    g_timer.Arm(10);
    g_timer.Wait();
    uint64_t now = MusicClockUs();
    double nowMono = monoUs();
    ASSERT_GE(now, previous);
    steps.push_back(double(now - previous) / 1000);
    baseline.push_back((nowMono - previousMono) / 1000);
    previous = now;
    previousMono = nowMono;
  }
  double musicMs = double(previous - startUs) / 1000;
  double monoMs = double(MonotonicClockMs() - startMono);
  // Ahead of real time by no more than a buffer and the device's haste;
  // behind only as far as a busy machine holds the device back.
  EXPECT_LE(musicMs, monoMs * kDummyHaste + 15);
  EXPECT_GE(musicMs, monoMs * 0.5);
  auto spread = [](const std::vector<double>& v, double* mean, double* worst) {
    double sq = 0;
    *mean = 0;
    *worst = 0;
    for (double s : v) *mean += s / v.size();
    for (double s : v) {
      sq += (s - *mean) * (s - *mean) / v.size();
      *worst = std::max(*worst, std::fabs(s - *mean));
    }
    return std::sqrt(sq);
  };
  double mean, worst, baseMean, baseWorst;
  double sd = spread(steps, &mean, &worst), baseSd = spread(baseline, &baseMean, &baseWorst);
  std::printf("music clock, frame to frame over %zu paced frames: mean %.3f ms, sd %.3f ms, "
              "worst %.3f ms off the mean; monotonic clock in the same frames: mean %.3f ms, "
              "sd %.3f ms, worst %.3f ms (sd ratio %.2f)\n",
              steps.size(), mean, sd, worst, baseMean, baseSd, baseWorst, sd / baseSd);

  // The device stops (as in a stopped process): the clock stops within a
  // buffer, and picks up from there without a jump back when it resumes.
  BASS_Stop();
  SDL_Delay(30);
  uint64_t stopped = MusicClockUs();
  SDL_Delay(300);
  uint64_t later = MusicClockUs();
  EXPECT_GE(later, stopped);
  EXPECT_LT(later - stopped, 15000u);
  BASS_Start();
  uint64_t resumedAtMs = MonotonicClockMs();
  SDL_Delay(200);
  uint64_t resumed = MusicClockUs();
  EXPECT_GT(resumed, later);
  EXPECT_LE(double(resumed - later) / 1000, double(MonotonicClockMs() - resumedAtMs) * kDummyHaste + 15);
  BASS_Stop();
  BASS_Free();
  EXPECT_EQ(MusicClockUs(), 0u);  // nothing plays: nothing heard
  SDL_Quit();
}

// A stall of the drawing thread alone: the music plays on, and the next
// DeltaMs returns the whole stall.
TEST(MusicClock, DeltaMsReturnsAStallOfTheDrawingThreadWhole) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(StartTune(), 1);
  g_clockSource = MusicClockMs;
  ASSERT_EQ(g_timer.Begin(), 1);
  g_timer.DeltaMs();
  uint64_t stallStart = MonotonicClockMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  uint64_t stall = MonotonicClockMs() - stallStart;
  uint64_t delta = g_timer.DeltaMs();
  // The whole stall, less at most what a busy machine kept the device from playing.
  EXPECT_LE(double(delta), double(stall) * kDummyHaste + 15);
  EXPECT_GE(double(delta), double(stall) * 0.5);
  EXPECT_LE(g_timer.DeltaMs(), 15u);
  BASS_Stop();
  BASS_Free();
  g_clockSource = MonotonicClockMs;
  SDL_Quit();
}

TEST(Lifecycle, TheLiveClockIsTheMusicAndShutdownHandsBackTheMonotonicOne) {
  RecordMessages();
  GLWindow* window = new GLWindow();
  ASSERT_EQ(Init(0, window), 1) << (g_messages.empty() ? "" : g_messages.back().text);
  EXPECT_EQ(g_clockSource, MusicClockMs);
  CatchProcessExit();
  EXPECT_THROW(Shutdown(window), ProcessExited);
  EXPECT_EQ(g_clockSource, MonotonicClockMs);
}
