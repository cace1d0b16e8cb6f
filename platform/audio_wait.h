// Waiting for the audio device's first call back, where a platform can.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>

// Waits up to `milliseconds` for `done` to hold, woken through `changed` with
// `lock` held. A browser calls the audio back on this very thread, between
// frames, so a wait there would never end: it returns 1 at once.
int WaitForAudioDevice(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                       int milliseconds, const std::function<bool()>& done);
