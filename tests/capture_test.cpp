// The capture path: golden frames of every scene, the phone's drawn twice to
// the same pixels, whole or from a late start.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "assets/png_reader.h"
#include "assets/textures.h"
#include "demo/scene_table.h"
#include "demo/sequencer.h"
#include "render/screen_quads.h"
#include "tests/test_support.h"
#include "capture/gl_readback.h"
#include "capture/png_writer.h"
#include "capture/show_capture.h"

namespace fs = std::filesystem;

namespace {

// Frames the references hold, at the program's 100 frames a second: the
// middle of every scene once all it shows is on screen, the flash at full
// white as scene 2 begins, and a background pulse at its peak (22.5 ms in).
uint64_t FrameAtOrAfter(uint64_t ms) { return (ms + 9) / 10 * 10; }

std::map<uint64_t, std::string> GoldenFrames() {
  std::map<uint64_t, std::string> golden;
  char name[16];
  for (int scene = 0; scene < kSceneCount; ++scene) {
    std::snprintf(name, sizeof name, "scene-%02d", scene);
    golden[(SceneSettledMs(scene) + SceneEndMs(scene)) / 2 / 10 * 10] = name;
  }
  golden[FrameAtOrAfter(SceneStartMs(2))] = "flash-peak";
  int pulsesBefore = 0;
  for (const TimelineEvent& e : g_timeline) pulsesBefore += e.type == EventPulse && e.timeMs < SceneCutMs(2);
  golden[NthEventMs(EventPulse, pulsesBefore + 1) + 20] = "pulse-peak";  // scene 2's second
  return golden;
}
const std::map<uint64_t, std::string> kGolden = GoldenFrames();

struct Comparison {
  GLWindow* window;
  int compared = 0;
  std::vector<std::string> mismatches, redrawnDiffer;
};

// An RGB picture through the show's own loader, bottom row first; empty if
// it cannot be read.
std::vector<uint8_t> ReadRgbPng(const std::string& path, int* w, int* h) {
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  std::vector<uint8_t> rgb;
  if (ReadPNG(path.c_str(), &components, &width, &height, &pixels) && components == 3)
    for (uint32_t y = height; y-- > 0;) rgb.insert(rgb.end(), pixels + y * width * 3, pixels + (y + 1) * width * 3);
  std::free(pixels);
  *w = int(width), *h = int(height);
  return rgb;
}

bool Compare(int64_t, uint64_t timeMs, int, const std::vector<uint8_t>& rgb, void* user) {
  auto found = kGolden.find(timeMs);
  if (found == kGolden.end()) return true;
  Comparison* c = static_cast<Comparison*>(user);
  const std::string reference = std::string(GOLDEN_DIR) + "/" + found->second + ".png";
  if (g_updateGolden) {
    WriteRgbPng(reference, 640, 480, rgb);
    ++c->compared;
    return true;
  }
  // The phone's moment drawn again: no time passes, so nothing may move.
  // (Values carried from frame to frame, as the blood cells' title fade and
  // the prison light normalised again each frame, step once more by design.)
  if (found->second == "scene-07") {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    DemoFrame(c->window);
    glFinish();
    if (ReadBackBuffer(640, 480) != rgb) c->redrawnDiffer.push_back(found->second);
  }
  int w = 0, h = 0;
  std::vector<uint8_t> expected = ReadRgbPng(reference, &w, &h);
  ++c->compared;
  int differing = expected.size() == rgb.size() ? 0 : 640 * 480;
  std::vector<uint8_t> diff(rgb.size(), 0);
  for (size_t i = 0; !differing && i < rgb.size(); i += 3)
    for (int k = 0; k < 3; ++k)
      if (std::abs(int(rgb[i + k]) - int(expected[i + k])) > 24) diff[i] = 255;
  differing += int(std::count(diff.begin(), diff.end(), 255));
  // Rasterisers may differ on a few edge pixels, not on a picture.
  if (differing > 640 * 480 / 200) {
    std::string dir = std::string(ARTIFACT_DIR) + "/golden";
    fs::create_directories(dir);
    WriteRgbPng(dir + "/" + found->second + "-actual.png", 640, 480, rgb);
    WriteRgbPng(dir + "/" + found->second + "-diff.png", 640, 480, diff);
    c->mismatches.push_back(found->second + " (" + std::to_string(differing) + " pixels; see " +
                            dir + ")");
  }
  return true;
}

}  // namespace

// Regenerate the references after an intended change with
//   ORVI_UPDATE_GOLDEN=1 build/tests/orvi_tests --gtest_filter=Capture.GoldenFrames*
TEST(Capture, GoldenFramesOfEverySceneMatchTheReferences) {
  CaptureOptions options;
  options.fps = 100;
  GLWindow* window = OpenCaptureWindow(options);
  ASSERT_TRUE(window);
  Comparison comparison;
  comparison.window = window;
  int64_t kept = RunCapture(window, options, Compare, &comparison, nullptr);
  EXPECT_EQ(kept, 6700);
  EXPECT_EQ(comparison.compared, int(kGolden.size()));
  for (const std::string& m : comparison.mismatches) ADD_FAILURE() << "differs: " << m;
  for (const std::string& m : comparison.redrawnDiffer) ADD_FAILURE() << "drawn again, differs: " << m;
  CloseTestWindow(window);
}

// The frames before a range only step the show on; it must come out as drawn.
TEST(Capture, ARangeThatStartsLateDrawsTheGoldenFrames) {
  for (const auto& golden : kGolden) {
    CaptureOptions options;
    options.fps = 100;
    options.fromSeconds = double(golden.first) / 1000;
    options.toSeconds = double(golden.first + 10) / 1000;
    Comparison comparison;
    comparison.window = OpenCaptureWindow(options);
    ASSERT_TRUE(comparison.window);
    EXPECT_EQ(RunCapture(comparison.window, options, Compare, &comparison, nullptr), 1);
    EXPECT_EQ(comparison.compared, 1) << golden.second;
    for (const std::string& m : comparison.mismatches) ADD_FAILURE() << "differs: " << m;
    CloseTestWindow(comparison.window);
  }
}

static int g_scenesDrawn = 0;
static void CountedDraw(GLWindow* window, int scene) {
  ++g_scenesDrawn;
  DrawScene(window, scene);
}
static bool Keep(int64_t, uint64_t, int, const std::vector<uint8_t>&, void*) { return true; }

// The frames before a range move the show on without drawing it: a second
// late in the show draws as many scenes as a second at its start.
TEST(Capture, FramesBeforeARangeAreSteppedNotDrawn) {
  CaptureOptions options;
  options.fps = 1000;
  options.width = 64;
  options.height = 48;
  options.fromSeconds = 60;
  options.toSeconds = 60.2;
  GLWindow* window = OpenCaptureWindow(options);
  ASSERT_TRUE(window);
  g_drawScene = CountedDraw;
  EXPECT_EQ(RunCapture(window, options, Keep, nullptr, nullptr), 200);
  EXPECT_EQ(g_scenesDrawn, 200);
  CloseTestWindow(window);
}

namespace {

// The mean of each factor x factor block of a picture's part (RGB, rows of
// `stride` pixels), so frames of different sizes compare as one picture.
std::vector<double> Shrunk(const std::vector<uint8_t>& rgb, int stride, int x0, int y0, int w,
                           int h, int factor) {
  std::vector<double> out(size_t(w / factor) * (h / factor) * 3, 0);
  for (int y = 0; y < h / factor * factor; ++y)
    for (int x = 0; x < w / factor * factor; ++x)
      for (int k = 0; k < 3; ++k)
        out[(size_t(y / factor) * (w / factor) + x / factor) * 3 + k] +=
            rgb[(size_t(y0 + y) * stride + x0 + x) * 3 + k] / double(factor * factor);
  return out;
}

double MeanDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return a.empty() || a.size() != b.size() ? 255 : sum / double(a.size());
}

struct OneFrame {
  std::vector<uint8_t> rgb;
};
bool KeepOne(int64_t, uint64_t, int, const std::vector<uint8_t>& rgb, void* user) {
  static_cast<OneFrame*>(user)->rgb = rgb;
  return true;
}

}  // namespace

// A larger frame draws the 640x480 picture at its own resolution: shrunk to
// 160x120 it is the golden frame (a sprite placed in unscaled pixels moves
// by 4/255 and more), from 1280x960 up drawn from the 2x pictures. A 16:9
// frame centres it between black bars; --stretch fills the frame.
TEST(Capture, LargeFramesDrawTheGoldenPictureLetterboxedOrStretched) {
  const struct {
    const char* golden;
    int width, height, stretch;
  } cases[] = {{"scene-11", 960, 720, 0},    // greetings, from the 1x pictures
               {"scene-11", 2560, 1920, 0},  // and from the 2x ones
               {"scene-05", 2560, 1920, 0},  // the prison cell's title over 3D
               {"scene-07", 2560, 1920, 0},  // the phone
               {"scene-12", 2560, 1920, 0},  // credits
               {"scene-12", 1920, 1080, 0},
               {"scene-12", 1920, 1080, 1}};
  for (const auto& c : cases) {
    const std::string name = std::string(c.golden) + " at " + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + (c.stretch ? " stretched" : "");
    uint64_t ms = 0;
    for (const auto& g : kGolden) ms = g.second == c.golden ? g.first : ms;
    CaptureOptions options;
    options.fps = 100;
    options.width = c.width;
    options.height = c.height;
    options.stretch = c.stretch;
    options.fromSeconds = double(ms) / 1000;
    options.toSeconds = double(ms + 10) / 1000;
    GLWindow* window = OpenCaptureWindow(options);
    ASSERT_TRUE(window) << name;
    GLint logoWidth = 0;
    glBindTexture(GL_TEXTURE_2D, g_textureNames[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &logoWidth);
    EXPECT_EQ(logoWidth, c.height >= 960 ? 2048 : 1024) << name;
    OneFrame frame;
    EXPECT_EQ(RunCapture(window, options, KeepOne, &frame, nullptr), 1) << name;
    CloseTestWindow(window);
    ASSERT_EQ(frame.rgb.size(), size_t(c.width) * c.height * 3) << name;
    int w = 0, h = 0;
    const std::vector<uint8_t> golden = ReadRgbPng(std::string(GOLDEN_DIR) + "/" + c.golden + ".png", &w, &h);
    const ViewRect view = FitViewport(c.width, c.height, !c.stretch);
    const std::vector<double> picture = Shrunk(frame.rgb, c.width, view.x, view.y, view.width,
                                               view.height, view.width / 160);
    if (!c.stretch) {
      EXPECT_LE(MeanDifference(picture, Shrunk(golden, 640, 0, 0, 640, 480, 4)), 2.0) << name;
    }
    if (c.width * 3 == c.height * 4) continue;
    // The bars: black; the credits' background reaches the picture's edges.
    const std::vector<double> left = Shrunk(frame.rgb, c.width, 0, 0, view.x, c.height, 1);
    EXPECT_EQ(std::count(left.begin(), left.end(), 0.0), long(left.size())) << name;
    const std::vector<double> edge = Shrunk(frame.rgb, c.width, view.x, 0, 1, c.height, 1);
    EXPECT_GT(std::count_if(edge.begin(), edge.end(), [](double v) { return v > 16; }), long(edge.size() / 2)) << name;
  }
}

// The reduced-flashing show is the designed one away from its flashes: every
// scene's middle as the references within a mean of 1/255; under the cut to
// the blood cells a glow, far from the designed white.
TEST(Capture, TheReducedFlashingShowDiffersOnlyInItsFlashes) {
  std::map<std::string, double> difference;  // mean, in 1/255
  FrameSink measure = [](int64_t, uint64_t ms, int, const std::vector<uint8_t>& rgb, void* user) {
    const std::string name = kGolden.at(ms);  // the range holds only the golden frame
    int w = 0, h = 0;
    std::vector<uint8_t> expected = ReadRgbPng(std::string(GOLDEN_DIR) + "/" + name + ".png", &w, &h);
    double sum = expected.size() == rgb.size() ? 0 : 1e9;
    for (size_t i = 0; i < expected.size() && i < rgb.size(); ++i) sum += std::abs(int(rgb[i]) - int(expected[i]));
    (*static_cast<std::map<std::string, double>*>(user))[name] = sum / double(rgb.size());
    return true;
  };
  for (const auto& golden : kGolden) {
    CaptureOptions options;
    options.fps = 100;
    options.reduceFlashing = 1;
    options.fromSeconds = double(golden.first) / 1000;
    options.toSeconds = double(golden.first + 10) / 1000;
    GLWindow* window = OpenCaptureWindow(options);
    if (!window) break;
    EXPECT_EQ(RunCapture(window, options, measure, &difference, nullptr), 1);
    CloseTestWindow(window);
  }
  ASSERT_EQ(difference.size(), kGolden.size());
  for (const auto& [name, mean] : difference) {
    if (name == "flash-peak")
      EXPECT_GT(mean, 100) << name;
    else
      EXPECT_LE(mean, 1.0) << name;
  }
}
