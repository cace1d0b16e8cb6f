// The one clock of the show and the frame pacer of the message loop.
#pragma once
#include <cstdint>

// Milliseconds from an arbitrary fixed origin. Replaceable so tests and the
// capture tool can drive time exactly.
typedef uint64_t (*ClockSource)();
extern ClockSource g_clockSource;
uint64_t MonotonicClockMs();

// The pacer's own clock, in microseconds, and its sleep until a reading of
// that clock. Replaceable so tests can drive the frame loop's pacing.
typedef int64_t (*PacerClock)();
typedef void (*PacerSleep)(int64_t untilUs);
extern PacerClock g_pacerClockUs;
extern PacerSleep g_pacerSleep;
int64_t MonotonicMicroseconds();
void SleepUntilMicroseconds(int64_t untilUs);

class FrameTimer {
 public:
  int Begin();
  uint64_t NowMs();
  uint64_t ElapsedMs();
  uint64_t DeltaMs();
  void Arm(uint64_t delayMs);
  void Wait();

  int64_t deadlineUs;  // pacer deadline on the pacer's microsecond clock
  uint64_t startMs;    // clock reading taken by Begin
  uint64_t lastMs;     // clock reading of the latest DeltaMs (initially Begin's)
  uint32_t armed;      // non-zero between Arm and Wait
};

extern FrameTimer g_timer;
