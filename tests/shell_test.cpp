// The application shell: clock, pacer, window, keys, options, start and end.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <vector>

#include "platform/frame_timer.h"
#include "app/launch_options.h"
#include "app/lifecycle.h"
#include "app/show_start.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/sequencer.h"
#include "render/chrome_logo.h"
#include "tests/test_support.h"

namespace {

// The loop under a driven pacer clock: frames cost what the test says, a sleep jumps to its deadline.
int64_t g_nowUs;
std::vector<int64_t> g_frameStartsUs, g_sleptUntilUs, g_frameCostsUs;
int g_closeAfter;

void DrivenSleep(int64_t untilUs) {
  g_sleptUntilUs.push_back(untilUs);
  g_nowUs = untilUs;
}

void CountedFrame(GLWindow*) {
  const size_t frame = g_frameStartsUs.size();
  g_frameStartsUs.push_back(g_nowUs);
  if (frame < g_frameCostsUs.size()) g_nowUs += g_frameCostsUs[frame];
  if (int(frame) + 1 != g_closeAfter) return;
  SDL_Event close = {};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  SDL_PushEvent(&close);
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
    GLWindow* window = OpenTestWindow(640, 480, CountedFrame);
    ASSERT_TRUE(window);
    for (Uint32 type : c.escapeEvents) {
      SDL_Event e = {};
      e.type = type, e.key.keysym.sym = SDLK_ESCAPE;
      SDL_PushEvent(&e);
    }
    window->Run();
    EXPECT_EQ(g_frameStartsUs, c.startsUs) << c.name;
    EXPECT_EQ(g_sleptUntilUs, c.sleptUs) << c.name;
    CloseTestWindow(window);
  }
}

static int RefuseSwitch(SDL_Window*, Uint32) { return -1; }

// Each way a window can fail to come up, with the boxes the user sees and
// what Create returns; a Yes to the fallback goes on in a 640x480 window.
TEST(Window, StartFailuresAskOrReportAndYesFallsBackToAWindow) {
  const char* fallback = "Cannot initialize fullscreen mode.\nFall back to windowed mode?";
  const struct {
    const char* driver;  // on the offscreen one, every switch to fullscreen is refused
    FullscreenMode fullscreen;
    int answer, created;
    std::string text;
  } cases[] = {
      {"no-such-driver", NotFullscreen, 0, 0, "Cannot start application!\nFailed To Register The Window Class."},
      {"offscreen", FullscreenModeSwitch, 0, 0, fallback},
      {"offscreen", FullscreenModeSwitch, 1, 1, fallback},
      {"offscreen", FullscreenDesktop, 1, 1, fallback},
  };
  for (const auto& c : cases) {
    const std::string name = std::string(c.driver) + " mode " + std::to_string(c.fullscreen) +
                             " answer " + std::to_string(c.answer);
    setenv("SDL_VIDEODRIVER", c.driver, 1);
    ClearMessages();
    g_answer = c.answer;
    g_fullscreenSwitch = RefuseSwitch;
    GLWindow window;
    WindowDesc desc;
    desc.noVsync = 1;
    desc.fullscreen = c.fullscreen;
    EXPECT_EQ(window.Create(desc), c.created) << name;
    g_fullscreenSwitch = SDL_SetWindowFullscreen;
    ASSERT_EQ(g_messages.size(), 1u) << name << ": " << LastMessage();
    EXPECT_EQ(g_messages[0].text, c.text) << name;
    EXPECT_EQ(g_messages[0].caption, "Orvi - ERROR") << name;
    EXPECT_EQ(g_messages[0].kind, c.fullscreen ? MessageWarningYesNo : MessageWarning) << name;
    if (c.created) {
      SDL_Window* made = SDL_GL_GetCurrentWindow();
      EXPECT_FALSE(SDL_GetWindowFlags(made) & SDL_WINDOW_FULLSCREEN) << name;
      EXPECT_EQ(window.GetWidth(), 640) << name;
      EXPECT_EQ(window.GetHeight(), 480) << name;
      EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE) << name;
      // Drawn at the window's own size, also on a scaled display.
      EXPECT_FALSE(SDL_GetWindowFlags(made) & SDL_WINDOW_ALLOW_HIGHDPI) << name;
    }
    window.Destroy();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << name << ": the video still runs";
    // A second call, as a shutdown after a failed start makes, releases
    // nothing twice: video someone else started meanwhile runs on.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    window.Destroy();
    EXPECT_NE(SDL_WasInit(SDL_INIT_VIDEO), 0u) << name << ": a second Destroy stopped the video";
    SDL_Quit();
  }
}

static int64_t g_musicNowUs;

// The device is opened but never started: the test pulls each buffer itself
// and sets the time between pulls, so every reading is known exactly.
TEST(MusicClock, HearsABufferOneBufferLateRunsOnAtMostABufferAndNeverGoesBack) {
  ASSERT_TRUE(BASS_Init(44100) && BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize)));
  EXPECT_EQ(MusicClockUs(), 0u);  // nothing played: nothing heard
  g_musicTimeUs = [] { return g_musicNowUs; };
  g_musicNowUs = 5000000;
  const size_t frames = size_t(MusicDeviceBufferFrames());
  const double bufferUs = 1e6 * double(frames) / 44100;
  std::vector<float> out(2 * frames);
  auto pull = [&](size_t n) { FillMusicBuffer(out.data(), n); };
  // Play returns once the device has pulled the module; those pulls came at
  // one moment, so each reading below is exact relative to the first.
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

TEST(Lifecycle, StartShowStartsEverythingPutsTheShowBackToItsStartAndShutdownEndsIt) {
  // A show already under way: the start-up must start the next one from scratch.
  g_scene = 7;
  g_eventCursor = 40;
  g_prisonLight = Vector3{3, 0, 0};
  g_bloodLight = Vector3{0, 5, 0};
  g_phoneOffset = Vector3{0.1f, 0.2f, -0.3f};
  g_chromeSpinStartSet = 1;
  GLWindow* window = new GLWindow();
  WindowDesc desc;
  desc.frameCallback = DemoFrame;
  ASSERT_EQ(StartShow(window, desc, ShowSettings()), 1) << LastMessage();
  EXPECT_TRUE(g_messages.empty());
  EXPECT_EQ(g_scene, -1);
  EXPECT_EQ(g_eventCursor, 0);
  EXPECT_EQ(std::vector<float>({g_phoneOffset.x, g_phoneOffset.y, g_phoneOffset.z}), std::vector<float>(3, 0.0f));
  EXPECT_EQ(g_chromeSpinStartSet, 0);
  for (Vector3 light : {g_bloodLight, g_prisonLight})
    EXPECT_NEAR(std::sqrt(light.x * light.x + light.y * light.y + light.z * light.z), 1, 1e-6);
  EXPECT_LT(g_bloodLight.y, 0.99f);  // not the lights left over
  EXPECT_LT(g_prisonLight.x, 0.99f);
  EXPECT_LT(g_timer.ElapsedMs(), 1000u);  // the clock began with the music
  EXPECT_EQ(g_clockSource, MusicClockMs);
  EXPECT_THROW(Shutdown(window), ProcessExited);
  EXPECT_EQ(g_window, nullptr);
  EXPECT_EQ(g_clockSource, MonotonicClockMs);
}

// Where the 640x480 picture sits in a drawable: the largest centred 4:3 part,
// or all of it when stretched; never less than a pixel each way.
TEST(FitViewport, CentresTheLargest4By3PictureOrFillsWhenStretched) {
  const struct {
    int width, height, letterbox;
    ViewRect view;
  } cases[] = {
      {640, 480, 1, {0, 0, 640, 480}},      {1920, 1080, 1, {240, 0, 1440, 1080}}, {1280, 720, 1, {160, 0, 960, 720}},
      {1680, 1050, 1, {140, 0, 1400, 1050}}, {1280, 800, 1, {107, 0, 1066, 800}},  {1280, 1024, 1, {0, 32, 1280, 960}},
      {480, 640, 1, {0, 140, 480, 360}},    {1080, 1920, 1, {0, 555, 1080, 810}},  {641, 481, 1, {0, 0, 641, 480}},
      {643, 480, 1, {1, 0, 640, 480}},      {8192, 8192, 1, {0, 1024, 8192, 6144}}, {16, 16, 1, {0, 2, 16, 12}},
      {1, 1, 1, {0, 0, 1, 1}},              {2, 1, 1, {0, 0, 1, 1}},               {1, 2, 1, {0, 0, 1, 1}},
      {0, 0, 1, {0, 0, 0, 0}},              {1920, 1080, 0, {0, 0, 1920, 1080}},   {1, 1, 0, {0, 0, 1, 1}},
  };
  for (const auto& c : cases) {
    const ViewRect v = FitViewport(c.width, c.height, c.letterbox);
    EXPECT_EQ(std::vector<int>({v.x, v.y, v.width, v.height}),
              std::vector<int>({c.view.x, c.view.y, c.view.width, c.view.height}))
        << c.width << "x" << c.height << (c.letterbox ? "" : " stretched");
  }
}

// What Create grants on Mesa's software renderer: pictures at twice the pixels
// from a picture of 1280x960 up, not a pixel less, letterboxed or stretched;
// no multisamples for 0 nor where the choice is left to it, N when asked.
TEST(Window, PicturesAtTwiceThePixelsFromA1280By960PictureUpAndTheSamplesAsked) {
  const struct {
    int width, height, stretch, scale, samples, granted;
  } cases[] = {{1280, 960, 0, 2, 0, 0}, {1279, 960, 0, 1, 0, 0}, {1280, 959, 0, 1, 0, 0}, {1281, 961, 0, 2, 0, 0},
               {1707, 960, 0, 2, 0, 0}, {1706, 959, 0, 1, 0, 0}, {960, 720, 0, 1, 0, 0},  {1280, 960, 1, 2, 0, 0},
               {1279, 960, 1, 1, 0, 0}, {1920, 959, 1, 1, 0, 0}, {640, 480, 0, 1, ChooseSamples, 0},
               {640, 480, 0, 1, 4, 4}};
  for (const auto& c : cases) {
    GLWindow window;
    WindowDesc desc;
    desc.noVsync = 1;
    desc.fullscreen = c.stretch ? FullscreenStretched : FullscreenDesktop;
    desc.desktopWidth = c.width;
    desc.desktopHeight = c.height;
    desc.samples = c.samples;
    ASSERT_EQ(window.Create(desc), 1) << LastMessage();
    const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + (c.stretch ? " stretched" : "") +
                             ", " + std::to_string(c.samples) + " samples asked";
    EXPECT_EQ(window.GetPictureScale(), c.scale) << name;
    GLint inUse = -1;
    glGetIntegerv(GL_SAMPLES, &inUse);
    EXPECT_EQ(window.GetGrantedSamples(), c.granted) << name;
    EXPECT_EQ(inUse, c.granted) << name;
    window.Destroy();
  }
}

// Zero is each field's default: no multisamples unless asked; the program's
// own default chooses, and --msaa 0 means none, as everywhere else.
TEST(LaunchOptions, FillOneWindowDescriptionAndOneShowSetting) {
  std::string reason;
  auto parsed = [&reason](std::vector<const char*> argv) {
    argv.insert(argv.begin(), "orvi");
    LaunchOptions o;
    const int ok = ParseLaunchOptions(int(argv.size()), argv.data(), &o, &reason);
    return std::vector<int>{ok, o.window.fullscreen, o.window.samples, o.show.reduceFlashing};
  };
  EXPECT_EQ(parsed({}), std::vector<int>({1, NotFullscreen, ChooseSamples, 0}));
  EXPECT_EQ(parsed({"--msaa", "0"}), std::vector<int>({1, NotFullscreen, 0, 0}));
  EXPECT_EQ(parsed({"--msaa", "16", "--fullscreen"}), std::vector<int>({1, FullscreenDesktop, 16, 0}));
  EXPECT_EQ(parsed({"--stretch", "--reduce-flashing"}), std::vector<int>({1, FullscreenStretched, ChooseSamples, 1}));
  EXPECT_EQ(parsed({"--windowed", "--stretch"})[0], 0);
  EXPECT_EQ(reason, "--windowed cannot go with --fullscreen or --stretch");
}
