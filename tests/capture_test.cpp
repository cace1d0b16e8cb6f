// The capture path: golden frames of every scene, whole or from a late start,
// at larger sizes, and with flashes reduced.
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
  int reduced = 0;                     // the reduced-flashing show: only measured,
  std::map<std::string, double> mean;  // each frame's mean difference, in 1/255
};

// A range that holds the one frame at `ms`, at 100 frames a second.
CaptureOptions RangeOfOneFrame(uint64_t ms) {
  CaptureOptions options;
  options.fps = 100;
  options.fromSeconds = double(ms) / 1000;
  options.toSeconds = double(ms + 10) / 1000;
  return options;
}

// A golden frame's RGB through the show's own loader, bottom row first (or none).
std::vector<uint8_t> GoldenRgb(const std::string& name) {
  int components = 0;
  uint32_t width = 0, height = 0;
  unsigned char* pixels = nullptr;
  std::vector<uint8_t> rgb;
  if (ReadPNG((std::string(GOLDEN_DIR) + "/" + name + ".png").c_str(), &components, &width, &height, &pixels) &&
      components == 3)
    for (uint32_t y = height; y-- > 0;) rgb.insert(rgb.end(), pixels + y * width * 3, pixels + (y + 1) * width * 3);
  std::free(pixels);
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
  const std::vector<uint8_t> expected = GoldenRgb(found->second);
  ++c->compared;
  if (c->reduced) {
    double sum = expected.size() == rgb.size() ? 0 : 1e9;
    for (size_t i = 0; i < expected.size() && i < rgb.size(); ++i) sum += std::abs(int(rgb[i]) - int(expected[i]));
    c->mean[found->second] = sum / double(rgb.size());
    return true;
  }
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

int g_scenesDrawn = 0;
void CountedDraw(GLWindow* window, int scene) {
  ++g_scenesDrawn;
  DrawScene(window, scene);
}

// Keeps the last frame in the vector at `user`.
bool KeepLast(int64_t, uint64_t, int, const std::vector<uint8_t>& rgb, void* user) {
  *static_cast<std::vector<uint8_t>*>(user) = rgb;
  return true;
}

// The mean of each fx x fy block of a picture's part (RGB, rows of `stride`
// pixels), so frames of different sizes compare as one picture.
std::vector<double> Shrunk(const std::vector<uint8_t>& rgb, int stride, int x0, int y0, int w,
                           int h, int fx, int fy) {
  std::vector<double> out(size_t(w / fx) * (h / fy) * 3, 0);
  for (int y = 0; y < h / fy * fy; ++y)
    for (int x = 0; x < w / fx * fx; ++x)
      for (int k = 0; k < 3; ++k)
        out[(size_t(y / fy) * (w / fx) + x / fx) * 3 + k] +=
            rgb[(size_t(y0 + y) * stride + x0 + x) * 3 + k] / double(fx * fy);
  return out;
}

double MeanDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return a.empty() || a.size() != b.size() ? 255 : sum / double(a.size());
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
  EXPECT_EQ(RunCapture(window, options, Compare, &comparison, nullptr), 6700);
  EXPECT_EQ(comparison.compared, int(kGolden.size()));
  for (const std::string& m : comparison.mismatches) ADD_FAILURE() << "differs: " << m;
  for (const std::string& m : comparison.redrawnDiffer) ADD_FAILURE() << "drawn again, differs: " << m;
  CloseTestWindow(window);
}

// The frames before a range only step the show on, drawing nothing (the
// phone's is drawn twice, to compare), and it comes out as drawn. Reduced
// flashing changes only the flashes: each scene within a mean of 1/255, the
// cut to the blood cells a glow, far from the designed white.
TEST(Capture, ALateRangeDrawsTheGoldenFramesAndReducedFlashingChangesOnlyTheFlashes) {
  for (int reduced : {0, 1}) {
    Comparison comparison;
    comparison.reduced = reduced;
    for (const auto& golden : kGolden) {
      CaptureOptions options = RangeOfOneFrame(golden.first);
      options.reduceFlashing = reduced;
      comparison.window = OpenCaptureWindow(options);
      ASSERT_TRUE(comparison.window);
      g_scenesDrawn = 0;
      g_drawScene = CountedDraw;
      EXPECT_EQ(RunCapture(comparison.window, options, Compare, &comparison, nullptr), 1) << golden.second;
      EXPECT_EQ(g_scenesDrawn, golden.second == "scene-07" ? 2 : 1) << golden.second << ": scenes drawn";
      CloseTestWindow(comparison.window);
    }
    EXPECT_EQ(comparison.compared, int(kGolden.size())) << "reduced " << reduced;
    for (const std::string& m : comparison.mismatches) ADD_FAILURE() << "differs: " << m;
    for (const auto& [name, mean] : comparison.mean) {
      if (name == "flash-peak")
        EXPECT_GT(mean, 100) << name;
      else
        EXPECT_LE(mean, 1.0) << name;
    }
  }
}


// A larger frame draws the picture at its own resolution: shrunk to 160x120
// it is the golden frame (a sprite placed in unscaled pixels moves by 4/255 and
// more), from 1280x960 up from the 2x pictures; 16:9 between black bars, or
// stretched to fill.
TEST(Capture, LargeFramesDrawTheGoldenPictureLetterboxedOrStretched) {
  const struct {
    const char* golden;
    int width, height, stretch;
    ViewRect picture;  // where it lies in the frame, bottom row first
  } cases[] = {{"scene-11", 960, 720, 0, {0, 0, 960, 720}},      // greetings, from the 1x pictures
               {"scene-11", 2560, 1920, 0, {0, 0, 2560, 1920}},  // and from the 2x ones
               {"scene-05", 2560, 1920, 0, {0, 0, 2560, 1920}},  // the prison cell's title over 3D
               {"scene-07", 2560, 1920, 0, {0, 0, 2560, 1920}},  // the phone
               {"scene-12", 2560, 1920, 0, {0, 0, 2560, 1920}},  // credits
               {"scene-12", 1920, 1080, 0, {240, 0, 1440, 1080}},
               {"scene-12", 1920, 1080, 1, {0, 0, 1920, 1080}}};
  for (const auto& c : cases) {
    const std::string name = std::string(c.golden) + " at " + std::to_string(c.width) + "x" +
                             std::to_string(c.height) + (c.stretch ? " stretched" : "");
    uint64_t ms = 0;
    for (const auto& g : kGolden) ms = g.second == c.golden ? g.first : ms;
    CaptureOptions options = RangeOfOneFrame(ms);
    options.width = c.width;
    options.height = c.height;
    options.stretch = c.stretch;
    GLWindow* window = OpenCaptureWindow(options);
    ASSERT_TRUE(window) << name;
    GLint logoWidth = 0;
    glBindTexture(GL_TEXTURE_2D, g_textureNames[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &logoWidth);
    EXPECT_EQ(logoWidth, c.height >= 960 ? 2048 : 1024) << name;
    std::vector<uint8_t> frame;
    EXPECT_EQ(RunCapture(window, options, KeepLast, &frame, nullptr), 1) << name;
    CloseTestWindow(window);
    ASSERT_EQ(frame.size(), size_t(c.width) * c.height * 3) << name;
    const std::vector<uint8_t> golden = GoldenRgb(c.golden);
    const ViewRect& p = c.picture;
    EXPECT_LE(MeanDifference(Shrunk(frame, c.width, p.x, p.y, p.width, p.height, p.width / 160, p.height / 120),
                             Shrunk(golden, 640, 0, 0, 640, 480, 4, 4)),
              2.0)
        << name;
    if (c.width * 3 == c.height * 4) continue;
    // The bars either side black (none when stretched); the credits'
    // background reaches the picture's edges.
    for (int x0 : {0, p.x + p.width}) {
      const std::vector<double> bar = Shrunk(frame, c.width, x0, 0, x0 ? c.width - x0 : p.x, c.height, 1, 1);
      EXPECT_EQ(std::count(bar.begin(), bar.end(), 0.0), long(bar.size())) << name << ", the bar from " << x0;
    }
    for (int x : {p.x, p.x + p.width - 1}) {
      const std::vector<double> edge = Shrunk(frame, c.width, x, 0, 1, c.height, 1, 1);
      EXPECT_GT(std::count_if(edge.begin(), edge.end(), [](double v) { return v > 16; }), long(edge.size() / 2))
          << name << ", column " << x;
    }
  }
}
