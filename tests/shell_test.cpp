// The application shell: clock, pacer, window, keys, launch options,
// start-up and shutdown.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <future>
#include <vector>

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
#include "render/chrome_logo.h"
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
}

namespace {

// The loop under a driven pacer clock: each frame costs what the test says,
// and a sleep jumps the clock to its deadline.
int64_t g_nowUs;
std::vector<int64_t> g_frameStartsUs, g_sleptUntilUs, g_frameCostsUs;
int g_closeAfter;

void DrivenSleep(int64_t untilUs) {
  g_sleptUntilUs.push_back(untilUs);
  g_nowUs = untilUs;
}

void CountedFrame(GLWindow* window) {
  const size_t frame = g_frameStartsUs.size();
  g_frameStartsUs.push_back(g_nowUs);
  if (frame < g_frameCostsUs.size()) g_nowUs += g_frameCostsUs[frame];
  if (int(frame) + 1 != g_closeAfter) return;
  SDL_Event close = {};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(window->sdlWindow);
  SDL_PushEvent(&close);
}

SDL_Event KeyEvent(Uint32 type, SDL_Keycode key) {
  SDL_Event e = {};
  e.type = type;
  e.key.keysym.sym = key;
  return e;
}

}  // namespace

TEST(Loop, PacesFramesAndEndsOnCloseOrAHeldEscape) {
  struct Case {
    const char* name;
    std::vector<Uint32> escapeEvents;  // pushed before the loop starts
    std::vector<int64_t> costsUs;
    int closeAfter;
    std::vector<int64_t> startsUs, sleptUs;
  } cases[] = {
      // 10 ms deadlines; no sleep after a late frame; the close is taken after the last wait
      {"late frame", {}, {3000, 9000, 25000, 3000, 3000}, 5, {0, 10000, 20000, 45000, 55000},
       {10000, 20000, 55000, 65000}},
      {"escape held", {SDL_KEYDOWN}, {}, 3, {}, {}},
      {"escape released in the same drain", {SDL_KEYDOWN, SDL_KEYUP}, {}, 3, {0, 10000, 20000},
       {10000, 20000, 30000}},
  };
  for (const Case& c : cases) {
    g_nowUs = 0;
    g_frameStartsUs.clear();
    g_sleptUntilUs.clear();
    g_frameCostsUs = c.costsUs;
    g_closeAfter = c.closeAfter;
    g_pacerClockUs = [] { return g_nowUs; };
    g_pacerSleep = DrivenSleep;
    GLWindow* window = OpenTestWindow();
    ASSERT_TRUE(window);
    window->frameCallback = CountedFrame;
    for (Uint32 type : c.escapeEvents) {
      SDL_Event e = KeyEvent(type, SDLK_ESCAPE);
      SDL_PushEvent(&e);
    }
    window->Run();
    EXPECT_EQ(g_frameStartsUs, c.startsUs) << c.name;
    EXPECT_EQ(g_sleptUntilUs, c.sleptUs) << c.name;
    CloseTestWindow(window);
  }
}

static int g_keyCalls, g_lastPressed;
static uint32_t g_lastKey;
static void CountKey(int pressed, uint32_t key, GLWindow*) {
  ++g_keyCalls;
  g_lastPressed = pressed;
  g_lastKey = key;
}

// Keys reach the callback and the key-down array by their virtual-key code;
// SDLK_APP1, whose low byte is Escape's 27, has none (every X keycode on a
// real display is the harness's).
TEST(Keys, EachKeyReachesItsCodeAndOnlyEscapeEndsTheShow) {
  GLWindow* window = OpenTestWindow();
  ASSERT_TRUE(window);
  g_keyCalls = 0;
  window->WndProc(KeyEvent(SDL_KEYDOWN, SDLK_a));
  EXPECT_EQ(window->keyDown['A'], 1);  // no callback installed: harmless
  window->SetKeyCallback(CountKey);
  const struct {
    SDL_Keycode key;
    Uint32 type;
    uint32_t code;
  } presses[] = {{SDLK_a, SDL_KEYUP, 'A'}, {SDLK_7, SDL_KEYDOWN, '7'}, {SDLK_F5, SDL_KEYDOWN, 116},
                 {SDLK_ESCAPE, SDL_KEYDOWN, 27}};
  for (const auto& p : presses) {
    window->WndProc(KeyEvent(p.type, p.key));
    EXPECT_EQ(g_lastKey, p.code) << SDL_GetKeyName(p.key);
    EXPECT_EQ(g_lastPressed, p.type == SDL_KEYDOWN) << SDL_GetKeyName(p.key);
    EXPECT_EQ(window->keyDown[p.code], p.type == SDL_KEYDOWN) << SDL_GetKeyName(p.key);
  }
  EXPECT_EQ(window->WndProc(KeyEvent(SDL_KEYDOWN, SDLK_APP1)), 0);  // no code: ignored
  EXPECT_EQ(g_keyCalls, 4);
  window->active = 0;
  SDL_Event lost = {};
  lost.type = SDL_WINDOWEVENT;
  lost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  window->WndProc(lost);
  EXPECT_EQ(window->active, 1);  // the show never pauses
  CloseTestWindow(window);
}

TEST(Viewport, FullscreenLetterboxesFourToThreeAndAWindowOrStretchTakesItAll) {
  const struct {
    int w, h, letterbox;
    ViewRect expected;
  } cases[] = {{1280, 720, 1, {160, 0, 960, 720}},  {1280, 1024, 1, {0, 32, 1280, 960}},
               {640, 480, 1, {0, 0, 640, 480}},     {1280, 720, 0, {0, 0, 1280, 720}},
               {1920, 1080, 1, {240, 0, 1440, 1080}}, {0, 0, 1, {0, 0, 0, 0}}};
  for (const auto& c : cases) {
    ViewRect r = FitViewport(c.w, c.h, c.letterbox);
    EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}),
              std::vector<int>({c.expected.x, c.expected.y, c.expected.width, c.expected.height}))
        << c.w << "x" << c.h << " letterbox " << c.letterbox;
  }
}

static int RefuseSwitch(SDL_Window*, Uint32) { return -1; }

// Each way a window can fail to come up, with the boxes the user sees and
// what Create returns; a Yes to the fallback goes on in a 640x480 window.
TEST(Window, StartFailuresAskOrReportAndYesFallsBackToAWindow) {
  const std::string fallback = "Cannot initialize fullscreen mode.\nFall back to windowed mode?";
  const struct {
    const char* driver;
    int fullscreen, desktop, refuseSwitch, answer, created;
    std::vector<std::string> texts;
  } cases[] = {
      {"no-such-driver", 0, 0, 0, 0, 0,
       {"Cannot start application!\nFailed To Register The Window Class."}},
      {"offscreen", 1, 0, 1, 0, 0, {fallback}},
      {"offscreen", 1, 0, 1, 1, 1, {fallback}},
      {"offscreen", 1, 1, 1, 1, 1, {fallback}},
  };
  for (const auto& c : cases) {
    const std::string name = std::string(c.driver) + " desktop " + std::to_string(c.desktop) +
                             " answer " + std::to_string(c.answer);
    setenv("SDL_VIDEODRIVER", c.driver, 1);
    ClearMessages();
    g_answer = c.answer;
    if (c.refuseSwitch) g_fullscreenSwitch = RefuseSwitch;
    GLWindow window;
    WindowOptions options;
    options.samples = -1;
    options.noVsync = 1;
    options.desktop = c.desktop;
    window.SetOptions(options);
    EXPECT_EQ(window.Create(640, 480, 32, c.fullscreen, nullptr, 100, "test"), c.created) << name;
    g_fullscreenSwitch = SDL_SetWindowFullscreen;
    ASSERT_EQ(g_messages.size(), c.texts.size()) << name << ": " << LastMessage();
    for (size_t i = 0; i < c.texts.size(); ++i) EXPECT_EQ(g_messages[i].text, c.texts[i]) << name;
    EXPECT_EQ(g_messages[0].caption, "Orvi - ERROR") << name;
    EXPECT_EQ(g_messages[0].kind, c.fullscreen ? MessageWarningYesNo : MessageWarning) << name;
    if (c.created) {
      EXPECT_FALSE(SDL_GetWindowFlags(window.sdlWindow) & SDL_WINDOW_FULLSCREEN) << name;
      EXPECT_EQ(window.GetWidth() * 10000 + window.GetHeight(), 640 * 10000 + 480) << name;
      EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE) << name;
      // Drawn at the window's own size, also on a scaled display.
      EXPECT_FALSE(SDL_GetWindowFlags(window.sdlWindow) & SDL_WINDOW_ALLOW_HIGHDPI) << name;
    }
    window.Destroy();
    window.Destroy();  // a second call is harmless
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
  EXPECT_EQ(std::vector<int>({o.windowed, o.fullscreen, o.window.stretch, o.help, o.version,
                              o.window.samples, o.window.noVsync}),
            std::vector<int>({0, 0, 0, 0, 0, 0, 0}));
  o = LaunchOptions();
  ASSERT_EQ(parse({"--stretch", "--msaa", "8", "--no-vsync"}, &o, &why), 1);
  EXPECT_EQ(std::vector<int>({o.window.stretch, o.fullscreen, o.window.desktop, o.window.samples,
                              o.window.noVsync}),
            std::vector<int>({1, 1, 1, 8, 1}));
  o = LaunchOptions();
  ASSERT_EQ(parse({"--windowed", "--msaa", "0", "--help", "--version"}, &o, &why), 1);
  EXPECT_EQ(std::vector<int>({o.windowed, o.window.samples, o.help, o.version}),
            std::vector<int>({1, -1, 1, 1}));
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
}

static int64_t g_musicNowUs;

// The device is opened but never started: the test pulls each buffer itself
// and sets the time between pulls, so every reading is known exactly.
TEST(MusicClock, HearsABufferOneBufferLateRunsOnAtMostABufferAndNeverGoesBack) {
  ASSERT_TRUE(BASS_Init(-1, 44100, 32, nullptr) && BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize), 5));
  EXPECT_EQ(MusicClockUs(), 0u);  // nothing played: nothing heard
  g_musicTimeUs = [] { return g_musicNowUs; };
  g_musicNowUs = 5000000;
  const size_t frames = size_t(MusicDeviceBufferFrames());
  const double bufferUs = 1e6 * double(frames) / 44100;
  std::vector<float> out(2 * frames);
  auto pull = [&](size_t n) { FillMusicBuffer(out.data(), n); };
  // Play returns once the device has pulled the module; however many pulls
  // that took, they came at one moment, so each reading below is exact
  // relative to the first.
  auto played = std::async(std::launch::async, [] { return BASS_MusicPlay(1); });
  while (played.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) pull(frames);
  ASSERT_EQ(played.get(), 1);
  const double first = double(MusicClockUs());
  auto heard = [&] { return double(MusicClockUs()) - first; };
  g_musicNowUs += int64_t(bufferUs / 2);
  EXPECT_NEAR(heard(), bufferUs / 2, 1) << "runs on between pulls";
  g_musicNowUs += int64_t(10 * bufferUs);  // a stall: the device plays what it holds, no more
  EXPECT_NEAR(heard(), bufferUs, 1);
  pull(frames);
  EXPECT_NEAR(heard(), bufferUs, 1) << "the late pull's buffer is heard after the one held";
  g_musicNowUs += int64_t(bufferUs);
  EXPECT_NEAR(heard(), 2 * bufferUs, 1);
  pull(frames / 2);  // a short buffer: by frames alone the clock would step back half a buffer
  EXPECT_NEAR(heard(), 2 * bufferUs, 1) << "stepped back";
  g_musicNowUs += int64_t(bufferUs);
  EXPECT_NEAR(heard(), 2.5 * bufferUs, 1);
  BASS_Free();
  EXPECT_EQ(MusicClockUs(), 0u);
}

TEST(Lifecycle, InitStartsEverythingPutsTheShowBackToItsStartAndShutdownEndsIt) {
  // A show already under way: Init must start the next one from scratch.
  g_scene = 7;
  g_eventCursor = 40;
  g_prisonLight = Vector3{3, 0, 0};
  g_bloodLight = Vector3{0, 5, 0};
  g_phoneOffset = Vector3{0.1f, 0.2f, -0.3f};
  g_chromeSpinStartSet = 1;
  GLWindow* window = new GLWindow();
  ASSERT_EQ(Init(0, window), 1) << LastMessage();
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(g_scene, -1);
  EXPECT_EQ(g_eventCursor, 0);
  EXPECT_EQ(g_phoneOffset.x * 100 + g_phoneOffset.y * 10 + g_phoneOffset.z, 0.0f);
  EXPECT_EQ(g_chromeSpinStartSet, 0);
  for (Vector3 light : {g_bloodLight, g_prisonLight})
    EXPECT_NEAR(std::sqrt(light.x * light.x + light.y * light.y + light.z * light.z), 1, 1e-6);
  EXPECT_LT(g_bloodLight.y, 0.99f);  // not the lights left over
  EXPECT_LT(g_prisonLight.x, 0.99f);
  EXPECT_LT(g_timer.ElapsedMs(), 1000u);  // the clock began with the music
  EXPECT_THROW(Shutdown(window), ProcessExited);
  EXPECT_EQ(g_window, nullptr);
  EXPECT_EQ(g_clockSource, MonotonicClockMs);
}
