// The capture path: golden frames of every scene, determinism, and the real
// orvi-capture binary writing a video whose streams agree.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "demo/scene_table.h"
#include "demo/sequencer.h"
#include "tests/test_support.h"
#include "tools/png_writer.h"
#include "tools/show_capture.h"

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
  int compared = 0;
  std::vector<std::string> mismatches;
};

std::vector<uint8_t> ReadRgbPng(const std::string& path, int* w, int* h) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> rgb;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return {};
  }
  png_init_io(png, f);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  *w = int(png_get_image_width(png, info));
  *h = int(png_get_image_height(png, info));
  png_bytepp rows = png_get_rows(png, info);
  for (int y = *h - 1; y >= 0; --y) rgb.insert(rgb.end(), rows[y], rows[y] + *w * 3);  // bottom first
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return rgb;
}

bool Compare(int64_t, uint64_t timeMs, int, const std::vector<uint8_t>& rgb, void* user) {
  auto found = kGolden.find(timeMs);
  if (found == kGolden.end()) return true;
  Comparison* c = static_cast<Comparison*>(user);
  const std::string reference = std::string(GOLDEN_DIR) + "/" + found->second + ".png";
  if (std::getenv("ORVI_UPDATE_GOLDEN")) {
    WriteRgbPng(reference, 640, 480, rgb);
    ++c->compared;
    return true;
  }
  int w = 0, h = 0;
  std::vector<uint8_t> expected = ReadRgbPng(reference, &w, &h);
  ++c->compared;
  int differing = 0;
  std::vector<uint8_t> diff(rgb.size(), 0);
  if (w != 640 || h != 480 || expected.size() != rgb.size()) {
    differing = 640 * 480;
  } else {
    for (size_t i = 0; i < rgb.size(); i += 3) {
      int worst = 0;
      for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(int(rgb[i + k]) - int(expected[i + k])));
      if (worst > 24) {
        ++differing;
        diff[i] = 255;
      }
    }
  }
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

struct Snapshot {
  uint64_t atMs;
  std::vector<uint8_t> first, second;
  GLWindow* window;
};

bool DrawTwice(int64_t, uint64_t timeMs, int, const std::vector<uint8_t>& rgb, void* user) {
  Snapshot* s = static_cast<Snapshot*>(user);
  if (timeMs != s->atMs) return true;
  s->first = rgb;
  // The same moment again: no time passes, so nothing may move.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  DemoFrame(s->window);
  glFinish();
  s->second = ReadBackBuffer(640, 480);
  return false;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  while (p && std::fgets(buffer, sizeof buffer, p)) out += buffer;
  if (p) out += "exit " + std::to_string(WEXITSTATUS(pclose(p)));
  return out;
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
  int64_t kept = RunCapture(window, options, Compare, &comparison, nullptr);
  EXPECT_EQ(kept, 6700);
  EXPECT_EQ(comparison.compared, int(kGolden.size()));
  for (const std::string& m : comparison.mismatches) ADD_FAILURE() << "differs: " << m;
}

TEST(Capture, TheSameMomentDrawnTwiceIsIdentical) {
  CaptureOptions options;
  options.fps = 100;
  options.toSeconds = 38;
  GLWindow* window = OpenCaptureWindow(options);
  ASSERT_TRUE(window);
  Snapshot snapshot{37800, {}, {}, window};
  RunCapture(window, options, DrawTwice, &snapshot, nullptr);
  ASSERT_EQ(snapshot.first.size(), 640u * 480 * 3);
  EXPECT_TRUE(snapshot.first == snapshot.second);
}

TEST(Capture, FrameTimesAreFloorOfFrameTimesAThousandOverFps) {
  EXPECT_EQ(FrameTimeMs(1, 60), 16u);
  EXPECT_EQ(FrameTimeMs(3, 60), 50u);
  EXPECT_EQ(FrameTimeMs(4020, 60), 67000u);
  CaptureOptions whole;
  EXPECT_EQ(FirstFrame(whole), 0);
  EXPECT_EQ(LastFrame(whole), 4020);  // the frame at 67 s is the end event's
  CaptureOptions part;
  part.fromSeconds = 36;
  part.toSeconds = 38;
  EXPECT_EQ(LastFrame(part) - FirstFrame(part), 120);
}

TEST(Capture, AShortCaptureHasTheRightFrameCountAndAudioAsLongAsTheVideo) {
  std::string dir = TempDir();
  std::string out = RunCommand(std::string(CAPTURE_TOOL) + " --from 36 --to 38 -o " + dir + "/short.mp4");
  ASSERT_NE(out.find("exit 0"), std::string::npos) << out;
  std::string probe = RunCommand("ffprobe -v error -show_entries stream=codec_type,nb_frames,duration "
                          "-of compact=p=0:nk=1 " + dir + "/short.mp4");
  int videoFrames = 0;
  double videoSeconds = 0, audioSeconds = 0;
  char type[16];
  double duration;
  int frames;
  for (size_t start = 0; start < probe.size();) {
    size_t end = probe.find('\n', start);
    std::string line = probe.substr(start, end - start);
    if (std::sscanf(line.c_str(), "%15[a-z]|%lf|%d", type, &duration, &frames) == 3) {
      if (std::string(type) == "video") videoFrames = frames, videoSeconds = duration;
      if (std::string(type) == "audio") audioSeconds = duration;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  EXPECT_EQ(videoFrames, 120) << probe;
  EXPECT_NEAR(videoSeconds, 2.0, 1e-3) << probe;
  EXPECT_NEAR(audioSeconds, videoSeconds, 1.0 / 60) << probe;
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "short.mp4");  // nothing else left
}

TEST(Capture, WithoutFfmpegItFailsClearlyAndLeavesNoFile) {
  std::string dir = TempDir();
  std::string out =
      RunCommand("PATH=/nonexistent " + std::string(CAPTURE_TOOL) + " --to 1 -o " + dir + "/none.mp4");
  EXPECT_NE(out.find("ffmpeg is missing"), std::string::npos) << out;
  EXPECT_EQ(out.find("exit 0"), std::string::npos) << out;
  EXPECT_TRUE(fs::is_empty(dir));
  EXPECT_NE(RunCommand(std::string(CAPTURE_TOOL) + " --size 10").find("exit 2"), std::string::npos);
}
