#include "audio/music_player.h"

#include <SDL2/SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "platform/audio_buffer.h"
#include "platform/audio_wait.h"
#include "platform/frame_timer.h"
#include "platform/message_box.h"

namespace {
struct MusicPlayer {
  SDL_AudioDeviceID device;
  int sampleRate;
  int bufferFrames;
  int audioStarted;                 // SDL's audio subsystem is ours to release
  openmpt_module* module;           // owned by the callback while playing
  std::atomic<int> playing;
  std::atomic<uint64_t> callbacks;  // callbacks that rendered the module
  // The playback position as the audio thread hands it over, one pair.
  std::mutex handedLock;
  uint64_t framesHanded;  // frames given to the device since play began
  int64_t handedAtUs;     // monotonic time of the callback that gave the latest
  uint64_t clockUs;       // the latest reading of the music clock (main thread)
  std::condition_variable rendered;  // a callback rendered the module
};
MusicPlayer g_player;
}  // namespace

MusicTimeSource g_musicTimeUs = MonotonicMicroseconds;

void FillMusicBuffer(float* out, size_t frames) {
  size_t written = 0;
  if (g_player.playing.load() && g_player.module) {
    written = openmpt_module_read_interleaved_float_stereo(g_player.module, g_player.sampleRate,
                                                          frames, out);
    g_player.callbacks.fetch_add(1);
  }
  for (size_t i = written * 2; i < frames * 2; ++i) out[i] = 0.0f;
  if (g_player.playing.load()) {
    // Silence past the song's end counts too: the show's time goes on.
    {
      std::lock_guard<std::mutex> hold(g_player.handedLock);
      g_player.framesHanded += frames;
      g_player.handedAtUs = g_musicTimeUs();
    }
    g_player.rendered.notify_all();
  }
}

// Runs on SDL's audio thread.
static void FillAudio(void*, Uint8* stream, int length) {
  FillMusicBuffer(reinterpret_cast<float*>(stream), size_t(length) / (2 * sizeof(float)));
}

// The box says there is no music; stderr says why.
static int NoSound() {
  std::fprintf(stderr, "%s: no sound device opened: %s\n", g_programName, SDL_GetError());
  return 0;
}

int BASS_Init(uint32_t frequency) {
  if (g_player.device) return 0;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return NoSound();
  g_player.audioStarted = 1;
  SDL_AudioSpec wanted = {};
  wanted.freq = int(frequency);
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = kAudioBufferFrames;
  wanted.callback = FillAudio;
  SDL_AudioSpec obtained = {};
  g_player.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (!g_player.device) return NoSound();
  g_player.sampleRate = obtained.freq;
  g_player.bufferFrames = obtained.samples;
  return 1;
}

int BASS_Start() {
  if (!g_player.device) return 0;
  SDL_PauseAudioDevice(g_player.device, 0);
  return 1;
}

uint32_t BASS_MusicLoad(int fromMemory, const void* data, uint64_t offset, uint32_t length) {
  if (!fromMemory || !data || length == 0 || g_player.module) return 0;
  const openmpt_module_initial_ctl ctls[] = {{"play.at_end", "stop"}, {nullptr, nullptr}};
  openmpt_module* module = openmpt_module_create_from_memory2(
      static_cast<const char*>(data) + offset, length, openmpt_log_func_silent, nullptr,
      openmpt_error_func_ignore, nullptr, nullptr, nullptr, ctls);
  if (!module) return 0;
  openmpt_module_ctl_set_integer(module, "dither", 0);
  if (g_player.device) SDL_LockAudioDevice(g_player.device);
  g_player.module = module;
  if (g_player.device) SDL_UnlockAudioDevice(g_player.device);
  return 1;
}

int BASS_MusicPlay(uint32_t handle) {
  if (handle != 1 || !g_player.module || !g_player.device) return 0;
  uint64_t before = g_player.callbacks.load();
  g_player.playing.store(1);
  // Music time starts when the device first pulls the module, not before
  // (where the device cannot be waited for, the clock stays at 0 until then).
  std::unique_lock<std::mutex> hold(g_player.handedLock);
  return WaitForAudioDevice(g_player.rendered, hold, kMusicStartWaitMs,
                            [&] { return g_player.callbacks.load() != before; });
}

int BASS_Stop() {
  if (!g_player.device) return 0;
  SDL_PauseAudioDevice(g_player.device, 1);
  return 1;
}

int BASS_Free() {
  g_player.playing.store(0);
  if (g_player.device) {
    SDL_CloseAudioDevice(g_player.device);  // waits for the callback to finish
    g_player.device = 0;
  }
  if (g_player.module) {
    openmpt_module_destroy(g_player.module);
    g_player.module = nullptr;
  }
  if (g_player.audioStarted) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_player.audioStarted = 0;
  }
  g_player.bufferFrames = 0;
  g_player.sampleRate = 0;
  std::lock_guard<std::mutex> hold(g_player.handedLock);
  g_player.framesHanded = 0;
  g_player.handedAtUs = 0;
  g_player.clockUs = 0;
  return 1;
}

double MusicPositionSeconds() {
  if (!g_player.module || !g_player.playing.load()) return -1;
  SDL_LockAudioDevice(g_player.device);
  double position = openmpt_module_get_position_seconds(g_player.module);
  SDL_UnlockAudioDevice(g_player.device);
  return position;
}

int MusicHeard() {
  std::lock_guard<std::mutex> hold(g_player.handedLock);
  return g_player.playing.load() && g_player.framesHanded > 0;
}

int MusicDeviceBufferFrames() { return g_player.bufferFrames; }

uint64_t MusicClockUs() {
  uint64_t frames;
  int64_t handedAtUs;
  {
    std::lock_guard<std::mutex> hold(g_player.handedLock);
    frames = g_player.framesHanded;
    handedAtUs = g_player.handedAtUs;
  }
  const int rate = g_player.sampleRate;
  if (rate <= 0 || frames == 0) return g_player.clockUs;
  // The buffer just handed over is heard after those the device holds: they
  // are its latency. Between callbacks the device plays on at its own pace,
  // but never more than one buffer: a longer gap is a stall.
  const int64_t bufferUs = int64_t(g_player.bufferFrames) * 1000000 / rate;
  int64_t heardUs = int64_t(frames) * 1000000 / rate - kAudioBuffersQueued * bufferUs;
  heardUs += std::clamp<int64_t>(g_musicTimeUs() - handedAtUs, 0, bufferUs);
  g_player.clockUs = std::max<uint64_t>(g_player.clockUs, uint64_t(std::max<int64_t>(heardUs, 0)));
  return g_player.clockUs;
}

uint64_t MusicClockMs() { return MusicClockUs() / 1000; }
