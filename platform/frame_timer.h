// The one clock of the show and the frame pacer of the message loop.
#pragma once
#include <cstdint>

// Milliseconds from an arbitrary fixed origin. Replaceable so tests and the
// capture tool can drive time exactly.
typedef uint64_t (*ClockSource)();
extern ClockSource g_clockSource;
uint64_t MonotonicClockMs();

// The finest timer period the pacer may ask for, from the period range a
// system reports: never below 1 ms, never above the maximum.
uint32_t ChooseTimerResolution(uint32_t minPeriodMs, uint32_t maxPeriodMs);

class FrameTimer {
 public:
  int Begin();
  int End();
  uint64_t NowMs();
  uint64_t ElapsedMs();
  uint64_t DeltaMs();
  void Arm(uint64_t delayMs);
  void Wait();

  int64_t deadlineUs;     // pacer deadline on the monotonic microsecond clock
  uint64_t startMs;       // clock reading taken by Begin
  uint64_t lastMs;        // clock reading of the latest DeltaMs (initially Begin's)
  uint32_t resolutionMs;  // timer resolution in force between Begin and End
  uint32_t armed;         // non-zero between Arm and Wait
};

extern FrameTimer g_timer;
