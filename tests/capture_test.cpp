// The capture path: golden frames of every scene, each drawn twice to the same
// pixels, and the real orvi-capture binary: its video, signals, full disks
// and options.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "assets/png_reader.h"
#include "demo/scene_table.h"
#include "demo/sequencer.h"
#include "tests/test_support.h"
#include "tools/gl_readback.h"
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
  if (std::getenv("ORVI_UPDATE_GOLDEN")) {
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
  if (g_window == window) CloseTestWindow(window);  // the last frame falls before the end record
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

TEST(CaptureTool, AShortCaptureHasTheRightFrameCountAndAudioAsLongAsTheVideo) {
  std::string dir = TempDir();
  std::string out = RunCommand(std::string(CAPTURE_TOOL) + " --to 2 -o " + dir + "/short.mp4");
  ASSERT_NE(out.find("exit 0"), std::string::npos) << out;
  std::string probe = RunCommand("ffprobe -v error -show_entries stream=codec_type,nb_frames,duration "
                          "-of compact=p=0:nk=1 " + dir + "/short.mp4");
  int videoFrames = 0, frames = 0;
  double videoSeconds = 0, audioSeconds = 0, duration = 0;
  char type[16];
  std::istringstream lines(probe);
  for (std::string line; std::getline(lines, line);)
    if (std::sscanf(line.c_str(), "%15[a-z]|%lf|%d", type, &duration, &frames) == 3) {
      if (std::string(type) == "video") videoFrames = frames, videoSeconds = duration;
      if (std::string(type) == "audio") audioSeconds = duration;
    }
  EXPECT_EQ(videoFrames, 120) << probe;
  EXPECT_NEAR(videoSeconds, 2.0, 1e-3) << probe;
  EXPECT_NEAR(audioSeconds, videoSeconds, 1.0 / 60) << probe;
  EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "short.mp4");  // nothing else left
}

TEST(CaptureTool, WithoutFfmpegItFailsClearlyAndLeavesNoFile) {
  std::string dir = TempDir();
  std::string out =
      RunCommand("PATH=/nonexistent " + std::string(CAPTURE_TOOL) + " --to 1 -o " + dir + "/none.mp4");
  EXPECT_NE(out.find("ffmpeg is missing"), std::string::npos) << out;
  EXPECT_EQ(out.find("exit 0"), std::string::npos) << out;
  EXPECT_TRUE(fs::is_empty(dir));
}

namespace {

// Where the tests started: other tests move the working directory.
const fs::path g_projectRoot = fs::current_path();

// Starts orvi-capture in `dir` with the arguments, stderr to dir/stderr, the
// stop signals at their defaults, and an optional file size limit in bytes.
pid_t StartCapture(const std::string& dir, const std::vector<std::string>& args,
                   rlim_t fileLimit = RLIM_INFINITY) {
  std::vector<std::string> all = {CAPTURE_TOOL};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string errors = dir + "/stderr";
  const std::string root = g_projectRoot.string();
  pid_t pid = fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) signal(s, SIG_DFL);
    rlimit limit = {fileLimit, fileLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    dup2(fd, 1);
    if (chdir(root.c_str()) == 0) execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Waits up to `seconds` for the child; false if it still runs.
bool WaitExit(pid_t pid, double seconds, int* status) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(pid, status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The names in a folder but the tool's own stderr, sorted, each followed by a space.
std::string FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename() != "stderr") names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string& n : names) joined += n + " ";
  return joined;
}

}  // namespace

// Each signal that ends a run, sent mid-capture to the tool itself: it stops,
// says why, exits non-zero and leaves no file at all, the hidden partial video
// and audio included. It stops between frames; 10 s leaves room for a busy
// machine's slowest frame and ffmpeg's exit (an ignored signal lets the run
// go on to the show's end, and exit 0).
TEST(CaptureTool, EachStopSignalEndsTheRunAndLeavesNoFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
    const std::string dir = TempDir();
    pid_t pid = StartCapture(dir, {"--size", "64x48", "--fps", "10", "-o", dir + "/show.mp4"});
    ASSERT_GT(pid, 0);
    // Mid-run: ffmpeg has the first frames and has made the partial video.
    bool writing = false;
    for (int i = 0; i < 600 && !writing; ++i) {
      writing = FilesIn(dir).find(".show.mp4.partial.mp4") != std::string::npos;
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(writing) << strsignal(signal) << ": the capture never started; " << FilesIn(dir)
                         << ReadFile(dir + "/stderr");
    kill(pid, signal);
    int status = 0;
    if (!WaitExit(pid, 10.0, &status)) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << strsignal(signal) << ": still running 10 s after the signal";
      continue;
    }
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << strsignal(signal);
    EXPECT_EQ(FilesIn(dir), "") << strsignal(signal);
    EXPECT_NE(ReadFile(dir + "/stderr").find(strsignal(signal)), std::string::npos)
        << ReadFile(dir + "/stderr");
  }
}

// A file size limit hit while writing the tune or a frame: the message names
// the file and the cause, nothing half-written remains under any name, and
// every frame left behind decodes completely.
TEST(CaptureTool, AFullDiskLeavesOnlyCompleteFilesAndSaysWhich) {
  struct Case {
    rlim_t limit;
    const char* names;  // what the message must name
  } cases[] = {{50 << 10, "tune.wav"}, {200 << 10, "frame-00058.png"}};
  for (const Case& c : cases) {
    const std::string dir = TempDir();
    pid_t pid = StartCapture(dir, {"--png", "--from", "7.25", "--to", "7.75", "--fps", "8",
                                   "-o", dir + "/frames"}, c.limit);
    int status = 0;
    ASSERT_TRUE(WaitExit(pid, 120, &status));
    const std::string errors = ReadFile(dir + "/stderr");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << errors;
    EXPECT_NE(errors.find(c.names), std::string::npos) << errors;
    EXPECT_NE(errors.find(std::strerror(EFBIG)), std::string::npos) << errors;
    std::istringstream names(FilesIn(dir + "/frames"));
    for (std::string name; names >> name;) {
      EXPECT_NE(name[0], '.') << "left " << name;
      if (name.rfind("frame-", 0) != 0) continue;
      int w = 0, h = 0;
      EXPECT_EQ(ReadRgbPng(dir + "/frames/" + name, &w, &h).size(), 640u * 480 * 3) << name;
    }
  }
}

// Numbers are read whole and in range; each refusal names the option and
// why, then the usage, exit 2. Accepted edge values get past the parsing
// (and then stop at the missing output folder, with the real cause).
TEST(CaptureTool, OptionsAreParsedStrictlyAndEachRefusalSaysWhy) {
  struct Case {
    const char* args;
    const char* says;  // empty: accepted
  } cases[] = {
      {"--fps 30x", "--fps: '30x' is not a whole number"},
      {"--fps 0", "--fps: '0' is not between 1 and 1000"},
      {"--fps 1001", "--fps: '1001' is not between 1 and 1000"},
      {"--fps 99999999999999999999", "--fps: '99999999999999999999' is not a whole number"},
      {"--size 640x480x", "--size: '640x480x' is not WIDTHxHEIGHT"},
      {"--size 15x480", "--size: '15x480' has a side outside 16 to 8192"},
      {"--from abc", "--from: 'abc' is not a finite number"},
      {"--from 1e300", "--from: '1e300' is not between 0 and 67"},
      {"--to inf", "--to: 'inf' is not a finite number"},
      {"--from 5 --to 3", "--from (5 s) must come before --to (3 s)"},
      {"--from 67", "--from (67 s) must come before --to (67 s)"},
      {"--fps", "--fps needs a value"},
      {"--frobnicate", "unknown option '--frobnicate'"},
      {"--fps 1000 --size 16x16 --from 0 --to 67", ""},
      {"--fps 1 --from 66.5", "--from 66.5 to --to 67 holds no frame at --fps 1"},
      {"--fps 2 --size 8192x16 --from 66.5", ""},
  };
  for (const Case& c : cases) {
    std::string out = RunCommand("timeout 20 " + std::string(CAPTURE_TOOL) +
                                 " -o /nonexistent/folder/x.mp4 " + c.args);
    if (*c.says) {
      EXPECT_NE(out.find(std::string("orvi-capture: ") + c.says), std::string::npos) << c.args << "\n" << out;
      EXPECT_NE(out.find("usage: orvi-capture"), std::string::npos) << c.args;
      EXPECT_NE(out.find("exit 2"), std::string::npos) << c.args << "\n" << out;
    } else {
      EXPECT_NE(out.find("cannot write in /nonexistent/folder: No such file or directory"),
                std::string::npos) << c.args << "\n" << out;
      EXPECT_NE(out.find("exit 1"), std::string::npos) << c.args << "\n" << out;
    }
  }
}

// A run that cannot start writes nothing and starts no ffmpeg: a missing
// picture is reported as such, with no word from ffmpeg about its inputs.
TEST(CaptureTool, AMissingPictureIsReportedAndNothingElseHappens) {
  const std::string world = TempDir();
  fs::copy(g_projectRoot / "data", fs::path(world) / "data");
  fs::remove(fs::path(world) / "data" / "chrome.png");
  const std::string out = RunCommand("cd " + world + " && " + CAPTURE_TOOL + " --to 1 -o out.mp4");
  EXPECT_NE(out.find("Could not load Chrome texture!@#"), std::string::npos) << out;
  EXPECT_EQ(out.find("f32"), std::string::npos) << out;
  EXPECT_EQ(out.find("disk full"), std::string::npos) << out;
  EXPECT_EQ(out.find("exit 0"), std::string::npos) << out;
  EXPECT_EQ(FilesIn(world), "data ");
}
