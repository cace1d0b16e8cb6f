#include "platform/frame_timer.h"

#include <errno.h>
#include <time.h>

#include <algorithm>

FrameTimer g_timer;

// A monotonic clock: a step of the time of day (NTP, the user) must neither end
// the show at once nor freeze its flashes.
uint64_t MonotonicClockMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec / 1000000);
}

ClockSource g_clockSource = MonotonicClockMs;

static int64_t MonotonicMicroseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

uint32_t ChooseTimerResolution(uint32_t minPeriodMs, uint32_t maxPeriodMs) {
  return std::min(std::max(minPeriodMs, 1u), maxPeriodMs);
}

uint64_t FrameTimer::NowMs() { return g_clockSource(); }

uint64_t FrameTimer::ElapsedMs() { return NowMs() - startMs; }

uint64_t FrameTimer::DeltaMs() {
  uint64_t now = NowMs();
  uint64_t delta = now - lastMs;
  lastMs = now;
  return delta;
}

int FrameTimer::Begin() {
  resolutionMs = 0;
  timespec resolution;
  if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return 0;
  uint32_t minPeriodMs = uint32_t(resolution.tv_sec * 1000 + resolution.tv_nsec / 1000000);
  resolutionMs = ChooseTimerResolution(minPeriodMs, 1000);
  deadlineUs = 0;
  armed = 0;
  uint64_t now = NowMs();
  lastMs = now;
  startMs = now;
  return 1;
}

int FrameTimer::End() {
  resolutionMs = 0;
  return 0;
}

void FrameTimer::Arm(uint64_t delayMs) {
  deadlineUs = MonotonicMicroseconds() + int64_t(delayMs) * 1000;
  armed = 1;
}

// Sleeps until the deadline set by Arm; a frame that already took longer
// returns at once.
void FrameTimer::Wait() {
  if (!armed) return;
  armed = 0;
  timespec until;
  until.tv_sec = deadlineUs / 1000000;
  until.tv_nsec = (deadlineUs % 1000000) * 1000;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}
