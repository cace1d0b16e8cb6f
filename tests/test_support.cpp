#include "tests/test_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/frame_timer.h"
#include "app/lifecycle.h"
#include "app/show_start.h"
#include "audio/music_player.h"
#include "demo/scene_table.h"
#include "demo/sequencer.h"

std::vector<RecordedMessage> g_messages;
bool g_updateGolden = false;
static std::vector<std::string> g_tempDirs;
int g_answer = 0;

static int Record(MessageKind kind, const char* caption, const char* text) {
  g_messages.push_back({kind, caption, text});
  bool question = kind == MessageQuestion || kind == MessageWarningYesNo;
  return question ? g_answer : 1;
}

void ClearMessages() { g_messages.clear(); }
std::string LastMessage() { return g_messages.empty() ? "" : g_messages.back().text; }

static void NoFrame(GLWindow*) {}

GLWindow* OpenTestWindow(uint16_t width, uint16_t height, FrameCallback frame) {
  GLWindow* window = new GLWindow();
  WindowDesc desc;
  desc.width = width;
  desc.height = height;
  desc.title = "test";
  desc.noVsync = 1;
  desc.frameCallback = frame ? frame : NoFrame;
  if (!OpenShowWindow(window, desc)) {
    ADD_FAILURE() << "no offscreen GL window: " << LastMessage();
    delete window;
    return nullptr;
  }
  return window;
}

void CloseTestWindow(GLWindow* window) {
  if (!window) return;
  window->Destroy();
  delete window;
  SDL_Quit();
}

std::vector<uint8_t> ReadPixels(int x, int y, int width, int height) {
  std::vector<uint8_t> pixels(size_t(width) * height * 4);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

Rgb PixelAt(int x, int y) {
  std::vector<uint8_t> p = ReadPixels(x, y, 1, 1);
  return {p[0], p[1], p[2]};
}

float DepthAt(int x, int y) {
  float depth = -1;
  glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  return depth;
}

uint64_t g_fakeNowMs = 0;
static uint64_t FakeClock() { return g_fakeNowMs; }

void UseDrivenClock(uint64_t startMs, ShowEndCallback atEnd) {
  g_fakeNowMs = startMs;
  ShowSettings settings;
  settings.clock = FakeClock;
  settings.atEnd = atEnd;
  UseShowSettings(settings);
}

static void ThrowExit(int code) { throw ProcessExited{code}; }

// Every test starts from the same world, whatever ran before it and whatever
// the caller exported: SDL's offscreen video and dummy audio, the project root
// as working folder, the show before its first frame, the real clocks, boxes
// recorded, a shutdown that throws. A window left open fails the test.
namespace {
const MusicTimeSource kMusicTimeUs = g_musicTimeUs;  // set before any code runs: a constant

class FreshWorld : public ::testing::EmptyTestEventListener {
 public:
  FreshWorld() {
    char here[4096];
    root = getcwd(here, sizeof here) ? here : ".";
  }
  void OnTestStart(const ::testing::TestInfo&) override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (chdir(root.c_str()) != 0) ADD_FAILURE() << "cannot return to " << root;
    ShowSettings designed;
    designed.clock = MonotonicClockMs;
    UseShowSettings(designed);
    g_pacerClockUs = MonotonicMicroseconds;
    g_pacerSleep = SleepUntilMicroseconds;
    g_musicTimeUs = kMusicTimeUs;
    ResetShow();
    g_drawScene = DrawScene;
    g_processExit = ThrowExit;
    SetMessageHook(Record);
    ClearMessages();
    g_answer = 0;
  }
  void OnTestProgramStart(const ::testing::UnitTest&) override {
    g_updateGolden = std::getenv("ORVI_UPDATE_GOLDEN") && GTEST_FLAG_GET(filter) == "Capture.GoldenFrames*";
    unsetenv("ORVI_UPDATE_GOLDEN");
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    // SDL would end them quietly at its shutdown: nothing else would notice.
    if (g_window || SDL_WasInit(SDL_INIT_VIDEO | SDL_INIT_AUDIO) || SDL_GL_GetCurrentContext())
      ADD_FAILURE() << "the test left a window, GL context or audio device open";
    if (g_window) g_window->Destroy();
    SDL_Quit();
    if (chdir(root.c_str()) != 0) ADD_FAILURE() << "cannot return to " << root;
    for (const std::string& folder : g_tempDirs) std::filesystem::remove_all(folder);
    g_tempDirs.clear();
  }

 private:
  std::string root;
};

const int g_freshWorld = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshWorld);
  return 1;
}();
}  // namespace

bool WritePng(const std::string& path, int width, int height, int bitDepth, int interlace) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, PNG_COLOR_TYPE_RGB, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t rowBytes = size_t(width) * 3 * bitDepth / 8;
  std::vector<png_byte> row(rowBytes);
  int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass)
    for (int y = 0; y < height; ++y) {
      for (size_t i = 0; i < rowBytes; ++i) row[i] = png_byte((y * 16 + i * 3) & 0xFF);
      png_write_row(png, row.data());
    }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

std::string TempDir() {
  char pattern[] = "/tmp/orvi-test-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (!dir) ADD_FAILURE() << "no folder under /tmp";
  if (dir) g_tempDirs.push_back(dir);
  return dir ? dir : "/nonexistent";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }
