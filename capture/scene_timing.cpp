#include "capture/scene_timing.h"

#include <time.h>

#include <algorithm>
#include <cstdio>

double ProcessCpuMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

FrameStart StartFrameTiming() { return {std::chrono::steady_clock::now(), ProcessCpuMs()}; }

void RecordFrame(SceneTiming* timing, int scene, const FrameStart& start) {
  using Ms = std::chrono::duration<double, std::milli>;
  const double ms = Ms(std::chrono::steady_clock::now() - start.wall).count();
  if (timing->frameMs.size() <= size_t(scene)) {
    timing->frameMs.resize(size_t(scene) + 1);
    timing->cpuMs.resize(size_t(scene) + 1);
  }
  timing->frameMs[size_t(scene)].push_back(ms);
  timing->cpuMs[size_t(scene)].push_back(ProcessCpuMs() - start.cpuMs);
}

void PrintSceneTiming(const SceneTiming& timing, std::FILE* out) {
  std::fprintf(out, "scene  frames  mean ms   p95 ms   max ms  CPU ms (all threads)\n");
  for (size_t s = 0; s < timing.frameMs.size(); ++s) {
    std::vector<double> t = timing.frameMs[s];
    if (t.empty()) continue;
    std::sort(t.begin(), t.end());
    double mean = 0, cpu = 0;
    for (double v : t) mean += v / t.size();
    for (double v : timing.cpuMs[s]) cpu += v / timing.cpuMs[s].size();
    std::fprintf(out, "%5zu  %6zu  %7.2f  %7.2f  %7.2f  %7.2f\n", s, t.size(), mean,
                 t[t.size() * 95 / 100], t.back(), cpu);
  }
}
