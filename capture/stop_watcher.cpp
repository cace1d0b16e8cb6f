#include "capture/stop_watcher.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "capture/show_capture.h"

namespace {

std::mutex g_files;  // held by the watcher while it stops the run, and to leave a section
std::condition_variable g_wake;
std::thread g_watcher;
bool g_ending = false;
std::atomic<bool> g_inSection{false};

void Watch(int (*stop)(void*), void* user) {
  using namespace std::chrono;
  std::unique_lock<std::mutex> lock(g_files);
  steady_clock::time_point seen{};
  while (!g_ending) {
    // Polled: a signal handler may not wake a condition variable.
    g_wake.wait_for(lock, milliseconds(20));
    if (!g_captureStop || !g_inSection) {
      seen = {};
      continue;
    }
    if (seen == steady_clock::time_point{}) seen = steady_clock::now();
    if (steady_clock::now() - seen < milliseconds(kStopGraceMs)) continue;
    // The run's thread is held at the section's end by the lock: its files
    // are as they were, and are ours to remove.
    const int code = stop(user);
    std::fflush(stderr);
    _exit(code);
  }
}

}  // namespace

void StartStopWatcher(int (*stop)(void*), void* user) {
  g_ending = false;
  g_watcher = std::thread(Watch, stop, user);
}

void EndStopWatcher() {
  if (!g_watcher.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(g_files);
    g_ending = true;
  }
  g_wake.notify_all();
  g_watcher.join();
}

Unwatched::Unwatched() { g_inSection = true; }

Unwatched::~Unwatched() {
  std::lock_guard<std::mutex> lock(g_files);
  g_inSection = false;
}
