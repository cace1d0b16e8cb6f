// Figures, not verdicts: the pacer's regularity, the toon shading's speed
// on the CPU and through Mesa, every scene of the show against the cost of
// the plainest frame, memory against an empty window, and picture loading.
// Shared machines make bare times wander, so scenes are given as ratios to a
// floor measured in the same process, interleaved with them.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/frame_body.h"
#include "platform/frame_timer.h"
#include "app/show_start.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "assets/textures.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/scene_table.h"
#include "render/toon_mesh.h"
#include "capture/scene_timing.h"
#include "capture/show_capture.h"

namespace {

// Not inlined, so that a profile (perf; LP_NUM_THREADS=0 keeps the rasterising
// on this thread) tells a scene frame from a floor frame.
int g_benchScene = 0;
void DrawBenchScene(GLWindow* window) { DrawScene(window, g_benchScene); }

// A 640x480 window on the offscreen driver, set up as the show's start-up
// leaves it; its frames draw g_benchScene.
GLWindow* OpenBenchWindow() {
  GLWindow* window = new GLWindow();
  WindowDesc desc;
  desc.title = "benchmark";
  desc.noVsync = 1;
  desc.frameCallback = DrawBenchScene;
  if (!OpenShowWindow(window, desc)) {
    delete window;
    return nullptr;
  }
  return window;
}

// The floor's picture: the title logo, 1024x512 RGB as the backgrounds are.
enum { kFloorSlot = kTonaroLogoSlot, kProbeFps = 20 };

double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The floor: a frame that only clears and fills the window with one picture,
// as a background is drawn (1024x512 RGB, linear filter, a texel a pixel).
// No scene with a background can cost less. Waited for, like a scene frame.
__attribute__((noinline)) double FloorFrameMs(GLWindow* window, double* cpuMs = nullptr) {
  const double W = window->GetWidth(), H = window->GetHeight();
  const float s1 = float(W / 1024), t1 = float(1 - H / 512);
  auto started = std::chrono::steady_clock::now();
  const double cpuStarted = ProcessCpuMs();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, W, 0, H, 0, 100);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, g_textureNames[kFloorSlot]);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex2d(0, 0);
  glTexCoord2f(s1, 1);
  glVertex2d(W, 0);
  glTexCoord2f(s1, t1);
  glVertex2d(W, H);
  glTexCoord2f(0, t1);
  glVertex2d(0, H);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glFinish();
  if (cpuMs) *cpuMs = ProcessCpuMs() - cpuStarted;
  return MsSince(started);
}

double Mean(const std::vector<double>& v) {
  double sum = 0;
  for (double x : v) sum += x;
  return v.empty() ? 0 : sum / v.size();
}

double Percentile95(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() * 95 / 100];
}

// Resident and peak resident memory of this process, in MiB.
struct Residency {
  double rss = 0, peak = 0;
};
Residency ReadResidency() {
  Residency r;
  std::FILE* f = std::fopen("/proc/self/status", "r");
  char line[256];
  while (f && std::fgets(line, sizeof line, f)) {
    long kib = 0;
    if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1) r.rss = kib / 1024.0;
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) r.peak = kib / 1024.0;
  }
  if (f) std::fclose(f);
  return r;
}

// --- Probes: each runs in a fresh process of this binary, so every one
// starts from the same empty process; they print "key value" lines.

// An empty window with its llvmpipe context, after one cleared frame.
int ProbeEmptyWindow() {
  GLWindow* window = OpenBenchWindow();
  if (!window) return 1;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFinish();
  window->SwapBuffers();
  std::printf("peak_mib %.2f\n", ReadResidency().peak);
  // Then one textured quad: the first draw makes llvmpipe compile shaders
  // with LLVM, a step each state the show draws in for the first time repeats.
  FloorFrameMs(window);
  std::printf("first_quad_mib %.2f\n", ReadResidency().rss);
  return 0;
}

// Fragments shaded: what the renderer's threads spend their time on, counted
// exactly, whatever the load. Zero where the driver cannot count them.
struct FragmentCounter {
  GLuint query = 0;
  bool open = false;
  void Begin() {
    if (!query) glGenQueries(1, &query);
    glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, query);
    open = true;
  }
  double End() {
    if (!open) return 0;
    glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
    open = false;
    GLuint64 count = 0;
    glGetQueryObjectui64v(query, GL_QUERY_RESULT, &count);
    return double(count);
  }
};

struct ShowProbe {
  std::vector<double> floorMs[kSceneCount];
  std::vector<double> floorCpuMs[kSceneCount];
  std::vector<double> fragments[kSceneCount], floorFragments[kSceneCount];
  FragmentCounter counter;
  double rssAtEnd[kSceneCount] = {};
  GLWindow* window = nullptr;
};

bool TimeFloorBeside(int64_t, uint64_t, int scene, const std::vector<uint8_t>&, void* user) {
  ShowProbe* probe = static_cast<ShowProbe*>(user);
  if (scene < 0 || scene >= kSceneCount) return true;
  probe->rssAtEnd[scene] = ReadResidency().rss;
  // The count opened after the previous floor frame covers this show frame.
  if (probe->counter.open) probe->fragments[scene].push_back(probe->counter.End());
  double cpu = 0;
  probe->counter.Begin();
  probe->floorMs[scene].push_back(FloorFrameMs(probe->window, &cpu));
  probe->floorFragments[scene].push_back(probe->counter.End());
  probe->floorCpuMs[scene].push_back(cpu);
  probe->counter.Begin();
  return true;
}

// The whole show at a fixed step, as orvi-capture draws it (no sound), with a
// floor frame after every show frame, so each scene has its own floor,
// measured under the same load.
int ProbeShow() {
  CaptureOptions options;
  options.fps = kProbeFps;
  ShowProbe probe;
  probe.window = OpenCaptureWindow(options);
  if (!probe.window) return 1;
  std::printf("rss_loaded_mib %.2f\n", ReadResidency().rss);
  SceneTiming timing;
  RunCapture(probe.window, options, TimeFloorBeside, &probe, &timing);
  for (int s = 0; s < kSceneCount; ++s)
    std::printf("scene %d %zu %.3f %.3f %.3f %.3f %.3f %.2f %.0f %.0f\n", s,
                timing.frameMs[s].size(), Mean(timing.frameMs[s]), Percentile95(timing.frameMs[s]),
                Mean(probe.floorMs[s]), Mean(timing.cpuMs[s]), Mean(probe.floorCpuMs[s]),
                probe.rssAtEnd[s], Mean(probe.fragments[s]), Mean(probe.floorFragments[s]));
  std::printf("peak_mib %.2f\n", ReadResidency().peak);
  return 0;
}

std::string RunProbe(const char* option) {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return "";
  std::string out;
  std::FILE* p = popen(("'" + std::string(self) + "' " + option).c_str(), "r");
  char buffer[512];
  while (p && std::fgets(buffer, sizeof buffer, p)) out += buffer;
  if (!p || pclose(p) != 0) return "";
  return out;
}

double ProbeValue(const std::string& out, const char* key) {
  size_t at = out.find(std::string(key) + " ");
  return at == std::string::npos ? 0 : std::atof(out.c_str() + at + std::strlen(key) + 1);
}

// Every scene of the show as a ratio to the floor drawn beside it, and the
// show's peak memory as a ratio to an empty window's.
void ShowAgainstFloorAndEmptyWindow(benchmark::State& state) {
  std::string empty, show;
  for (auto _ : state) {
    empty = RunProbe("--probe-empty-window");
    show = RunProbe("--probe-show");
  }
  if (empty.empty() || show.empty()) {
    state.SkipWithError("a probe failed");
    return;
  }
  // Wall time is what a viewer waits; CPU time (all threads) is what the
  // frame costs, and far steadier while others share the machine.
  std::printf("\n               ---------- wall ----------   ------- CPU -------   fragments\n"
              "scene  frames  mean ms  p95 ms  mean/floor   mean ms  mean/floor   /floor   "
              "RSS at end MiB\n");
  double heaviest = 0, heaviestCpu = 0, worstP95 = 0, scene1 = 0, scene1Cpu = 0, floorSum = 0,
         floorCpuSum = 0;
  int scenes = 0;
  for (size_t at = show.find("scene "); at != std::string::npos; at = show.find("scene ", at + 1)) {
    int s = 0;
    size_t frames = 0;
    double mean = 0, p95 = 0, floor = 0, cpu = 0, floorCpu = 0, rss = 0, fragments = 0,
           floorFragments = 0;
    if (std::sscanf(show.c_str() + at, "scene %d %zu %lf %lf %lf %lf %lf %lf %lf %lf", &s, &frames,
                    &mean, &p95, &floor, &cpu, &floorCpu, &rss, &fragments, &floorFragments) != 10 ||
        frames == 0 || floor <= 0 || floorCpu <= 0)
      continue;
    std::printf("%5d  %6zu  %7.2f  %6.2f  %10.2f   %7.2f  %10.2f  %7.2f  %14.1f\n", s, frames,
                mean, p95, mean / floor, cpu, cpu / floorCpu,
                floorFragments > 0 ? fragments / floorFragments : 0, rss);
    heaviest = std::max(heaviest, mean / floor);
    heaviestCpu = std::max(heaviestCpu, cpu / floorCpu);
    worstP95 = std::max(worstP95, p95);
    if (s == 1) scene1 = mean / floor, scene1Cpu = cpu / floorCpu;
    floorSum += floor;
    floorCpuSum += floorCpu;
    ++scenes;
  }
  if (scenes)
    std::printf("floor: %.2f ms wall, %.2f ms CPU (mean over the scenes)\n", floorSum / scenes,
                floorCpuSum / scenes);
  const double emptyPeak = ProbeValue(empty, "peak_mib"), showPeak = ProbeValue(show, "peak_mib");
  std::printf("empty window peak %.1f MiB (%.1f after one drawn quad); show with its pictures "
              "loaded %.1f MiB; show peak %.1f MiB = %.2fx the empty window\n\n",
              emptyPeak, ProbeValue(empty, "first_quad_mib"), ProbeValue(show, "rss_loaded_mib"),
              showPeak, showPeak / emptyPeak);
  state.counters["floor_ms"] = scenes ? floorSum / scenes : 0;
  state.counters["scene1_x_floor"] = scene1;
  state.counters["heaviest_x_floor"] = heaviest;
  state.counters["scene1_cpu_x_floor"] = scene1Cpu;
  state.counters["heaviest_cpu_x_floor"] = heaviestCpu;
  state.counters["worst_p95_ms"] = worstP95;
  state.counters["peak_x_empty"] = emptyPeak > 0 ? showPeak / emptyPeak : 0;
}
BENCHMARK(ShowAgainstFloorAndEmptyWindow)->Iterations(1)->Unit(benchmark::kSecond);

GLWindow* Window() {
  static GLWindow* window = [] {
    GLWindow* w = OpenBenchWindow();
    if (w) LoadTextures();
    return w;
  }();
  return window;
}

// Frame intervals of the pacer over 500 light frames.
void PacerIntervals(benchmark::State& state) {
  ShowSettings monotonic;
  monotonic.clock = MonotonicClockMs;
  UseShowSettings(monotonic);
  std::vector<double> intervals;
  for (auto _ : state) {
    intervals.clear();
    timespec last, now;
    clock_gettime(CLOCK_MONOTONIC, &last);
    for (int i = 0; i < 500; ++i) {
      g_timer.Arm(10);
      g_timer.Wait();
      clock_gettime(CLOCK_MONOTONIC, &now);
      intervals.push_back((now.tv_sec - last.tv_sec) * 1e3 + (now.tv_nsec - last.tv_nsec) / 1e6);
      last = now;
    }
  }
  std::vector<double> deviation;
  for (double d : intervals) deviation.push_back(std::fabs(d - 10.0));
  std::sort(deviation.begin(), deviation.end());
  double mean = 0;
  for (double d : intervals) mean += d / intervals.size();
  state.counters["mean_ms"] = mean;
  state.counters["p99_dev_ms"] = deviation[deviation.size() * 99 / 100];
  state.counters["max_dev_ms"] = deviation.back();
}
BENCHMARK(PacerIntervals)->Iterations(1)->Unit(benchmark::kMillisecond);

// The shading math alone, per scene load of vertices.
void ShadingMath(benchmark::State& state, Mesh mesh, int copies) {
  float m[16];
  const float angle = 0.7f;
  const float c = std::cos(angle), s = std::sin(angle);
  const float turn[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0.3f, 0.1f, -2, 1};
  std::copy(turn, turn + 16, m);
  Vector3 light = {-0.2f, 0.5f, 1.0f};
  Vector3Normalize(light);
  std::vector<float> out(size_t(mesh.triangleCount) * 3);
  for (auto _ : state) {
    for (int k = 0; k < copies; ++k) {
      float* o = out.data();
      for (int t = 0; t < mesh.triangleCount; ++t)
        for (const MeshVertex& v : mesh.triangles[t].vertex) *o++ = ToonCoordinate(m, v, light);
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.counters["vertices_per_s"] = benchmark::Counter(
      double(mesh.triangleCount) * 3 * copies * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(ShadingMath, blood_cells_x20, BloodCellMesh(), 20);
BENCHMARK_CAPTURE(ShadingMath, prison_cell, PrisonCellMesh(), 1);
BENCHMARK_CAPTURE(ShadingMath, cellphone, CellphoneMesh(), 1);

__attribute__((noinline)) double SceneFrameMs(GLWindow* window, int scene) {
  g_benchScene = scene;
  auto started = std::chrono::steady_clock::now();
  DrawFrameBody(window);
  glFinish();
  return MsSince(started);
}

// A whole scene frame into the offscreen 640x480 context, waited for, and
// its ratio to floor frames drawn between them: the family's first scene.
void SceneFrame(benchmark::State& state, SceneFamily family) {
  const int scene = FirstSceneOfFamily(family);
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  InitBloodCells();
  double sceneMs = 0, floorMs = 0;
  for (auto _ : state) {
    sceneMs += SceneFrameMs(window, scene);
    state.PauseTiming();
    floorMs += FloorFrameMs(window);
    state.ResumeTiming();
  }
  state.counters["x_floor"] = floorMs > 0 ? sceneMs / floorMs : 0;
}

void FloorFrame(benchmark::State& state) {
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  for (auto _ : state) FloorFrameMs(window);
}
BENCHMARK(FloorFrame)->Unit(benchmark::kMillisecond);

// What the floor itself is made of: the same full-window quad with the
// depth test on (as the show has it) or off, from a picture stored as RGB (as
// the show's backgrounds) or RGBA, filtered linearly or nearest. CPU time of
// all threads per frame; the show may change none of these, the figures say
// where llvmpipe's time goes.
void FloorParts(benchmark::State& state) {
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  const bool depth = state.range(0), rgba = state.range(1), linear = state.range(2);
  std::vector<unsigned char> texels(1024 * 512 * 4);
  for (size_t i = 0; i < texels.size(); ++i) texels[i] = (unsigned char)(i * 2654435761u >> 24);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  const GLint filter = linear ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexImage2D(GL_TEXTURE_2D, 0, rgba ? 4 : 3, 1024, 512, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               texels.data());
  const GLuint saved = g_textureNames[kFloorSlot];
  g_textureNames[kFloorSlot] = name;
  if (!depth) glDisable(GL_DEPTH_TEST);
  double cpuMs = 0;
  for (auto _ : state) {
    double cpu = 0;
    FloorFrameMs(window, &cpu);
    cpuMs += cpu;
  }
  glEnable(GL_DEPTH_TEST);
  g_textureNames[kFloorSlot] = saved;
  glDeleteTextures(1, &name);
  state.counters["cpu_ms"] = cpuMs / state.iterations();
}
BENCHMARK(FloorParts)
    ->ArgNames({"depth", "rgba", "linear"})
    ->Args({1, 0, 1})
    ->Args({0, 0, 1})
    ->Args({1, 1, 1})
    ->Args({1, 0, 0})
    ->Args({0, 1, 0})
    ->Unit(benchmark::kMillisecond);
// The first scene of each toon family, as the show draws it.
BENCHMARK_CAPTURE(SceneFrame, blood_cells, BloodCells)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SceneFrame, prison_cell, PrisonCell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SceneFrame, cellphone, Cellphone)->Unit(benchmark::kMillisecond);

void LoadAllPictures(benchmark::State& state) {
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(LoadTextures());
    // Each load makes new names: the last one's freed, so the peak is one load's.
    state.PauseTiming();
    glDeleteTextures(kTextureSlotCount, g_textureNames);
    state.ResumeTiming();
  }
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MiB"] = usage.ru_maxrss / 1024.0;
}
BENCHMARK(LoadAllPictures)->Unit(benchmark::kMillisecond)->Iterations(5);

// How long BASS_MusicPlay takes to see the device pull the module, and the
// buffer the device got.
void MusicStart(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    BASS_Init(44100);
    BASS_Start();
    uint32_t music = BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize));
    state.ResumeTiming();
    BASS_MusicPlay(music);
    state.PauseTiming();
    state.counters["buffer_frames"] = MusicDeviceBufferFrames();
    BASS_Stop();
    BASS_Free();
    state.ResumeTiming();
  }
}
BENCHMARK(MusicStart)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  // Offscreen Mesa and silent audio, whatever the caller exported.
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (argc == 2 && std::strcmp(argv[1], "--probe-empty-window") == 0) return ProbeEmptyWindow();
  if (argc == 2 && std::strcmp(argv[1], "--probe-show") == 0) return ProbeShow();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
