#include "platform/frame_timer.h"

#include <errno.h>
#include <time.h>

FrameTimer g_timer;

// A monotonic clock: a step of the time of day (NTP, the user) must neither end
// the show at once nor freeze its flashes.
uint64_t MonotonicClockMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec / 1000000);
}

ClockSource g_clockSource = MonotonicClockMs;

int64_t MonotonicMicroseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void SleepUntilMicroseconds(int64_t untilUs) {
  timespec until;
  until.tv_sec = untilUs / 1000000;
  until.tv_nsec = (untilUs % 1000000) * 1000;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

PacerClock g_pacerClockUs = MonotonicMicroseconds;
PacerSleep g_pacerSleep = SleepUntilMicroseconds;

uint64_t FrameTimer::NowMs() { return g_clockSource(); }

uint64_t FrameTimer::ElapsedMs() { return NowMs() - startMs; }

uint64_t FrameTimer::DeltaMs() {
  uint64_t now = NowMs();
  uint64_t delta = now - lastMs;
  lastMs = now;
  return delta;
}

// The monotonic clock's nanosleep needs no timer period set up or released.
int FrameTimer::Begin() {
  deadlineUs = 0;
  armed = 0;
  uint64_t now = NowMs();
  lastMs = now;
  startMs = now;
  return 1;
}

void FrameTimer::Arm(uint64_t delayMs) {
  deadlineUs = g_pacerClockUs() + int64_t(delayMs) * 1000;
  armed = 1;
}

// Sleeps until the deadline set by Arm; a frame that already took longer
// returns at once.
void FrameTimer::Wait() {
  if (!armed) return;
  armed = 0;
  if (g_pacerClockUs() < deadlineUs) g_pacerSleep(deadlineUs);
}
