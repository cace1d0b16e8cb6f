// Figures, not verdicts: the pacer's regularity, the toon shading's speed
// on the CPU and through Mesa, and picture loading.
#include <GL/gl.h>
#include <GL/glu.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/frame_timer.h"
#include "audio/music.h"
#include "audio/music_player.h"
#include "assets/textures.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "render/toon_mesh.h"
#include "tests/test_support.h"

namespace {

GLWindow* Window() {
  static GLWindow* window = [] {
    GLWindow* w = OpenTestWindow();
    if (w) LoadTextures();
    return w;
  }();
  return window;
}

// Frame intervals of the pacer over 500 light frames.
void PacerIntervals(benchmark::State& state) {
  g_clockSource = MonotonicClockMs;
  g_timer.Begin();
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

// A whole scene frame into the offscreen 640x480 context, waited for.
template <void (*Scene)(GLWindow*, int)>
void SceneFrame(benchmark::State& state) {
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  InitBloodCells();
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    Scene(window, 1);
    glFinish();
  }
}
BENCHMARK_TEMPLATE(SceneFrame, BloodCellScene)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(SceneFrame, PrisonCellScene)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(SceneFrame, CellphoneScene)->Unit(benchmark::kMillisecond);

void LoadAllPictures(benchmark::State& state) {
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(LoadTextures());
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MiB"] = usage.ru_maxrss / 1024.0;
}
BENCHMARK(LoadAllPictures)->Unit(benchmark::kMillisecond)->Iterations(5);

// The baseline for the one above, in the same run: the same pictures read and
// uploaded one after another on this thread.
void LoadAllPicturesOneByOne(benchmark::State& state) {
  GLWindow* window = Window();
  if (!window) {
    state.SkipWithError("no GL window");
    return;
  }
  for (auto _ : state)
    for (int slot = 0; slot < kTextureSlotCount; ++slot)
      if (g_textureFiles[slot]) benchmark::DoNotOptimize(LoadTextureSlot(slot, GL_LINEAR));
}
BENCHMARK(LoadAllPicturesOneByOne)->Unit(benchmark::kMillisecond)->Iterations(5);

// How long BASS_MusicPlay takes to see the device pull the module, and the
// buffer the device got.
void MusicStart(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    BASS_Init(-1, 44100, 32, nullptr);
    BASS_Start();
    uint32_t music = BASS_MusicLoad(1, g_moduleData, 0, uint32_t(g_moduleSize), 5);
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

BENCHMARK_MAIN();
