#include "platform/audio_wait.h"

#include <chrono>

int WaitForAudioDevice(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                       int milliseconds, const std::function<bool()>& done) {
#ifdef __EMSCRIPTEN__
  (void)changed, (void)lock, (void)milliseconds, (void)done;
  return 1;
#else
  return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), done) ? 1 : 0;
#endif
}
