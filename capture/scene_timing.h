// How long a capture's frames took to draw, scene by scene.
#pragma once
#include <chrono>
#include <cstdio>
#include <vector>

struct SceneTiming {
  // per scene number: time to draw a kept frame, glFinish included
  std::vector<std::vector<double>> frameMs;
  // The same frames in CPU time of the whole process (renderer threads too),
  // which other work on a shared machine stretches far less than wall time.
  std::vector<std::vector<double>> cpuMs;
};

// CPU time this process has used, all threads, in ms.
double ProcessCpuMs();

struct FrameStart {
  std::chrono::steady_clock::time_point wall;
  double cpuMs;
};
FrameStart StartFrameTiming();
// Adds the frame begun at start, finished now, to its scene's figures.
void RecordFrame(SceneTiming* timing, int scene, const FrameStart& start);
// Per scene: frames, mean, p95 and max wall ms, mean CPU ms; a table on out.
void PrintSceneTiming(const SceneTiming& timing, std::FILE* out);
