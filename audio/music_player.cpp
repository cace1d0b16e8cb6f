#include "audio/music_player.h"

#include <SDL2/SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <atomic>

namespace {
struct MusicPlayer {
  SDL_AudioDeviceID device;
  int sampleRate;
  int bufferFrames;
  int audioStarted;                 // SDL's audio subsystem is ours to release
  openmpt_module* module;           // owned by the callback while playing
  std::atomic<int> playing;
  std::atomic<uint64_t> callbacks;  // callbacks that rendered the module
};
MusicPlayer g_player;
}  // namespace

// Runs on SDL's audio thread.
static void FillAudio(void*, Uint8* stream, int length) {
  float* out = reinterpret_cast<float*>(stream);
  size_t frames = size_t(length) / (2 * sizeof(float));
  size_t written = 0;
  if (g_player.playing.load() && g_player.module) {
    written = openmpt_module_read_interleaved_float_stereo(g_player.module, g_player.sampleRate,
                                                          frames, out);
    g_player.callbacks.fetch_add(1);
  }
  for (size_t i = written * 2; i < frames * 2; ++i) out[i] = 0.0f;
}

int BASS_Init(int, uint32_t frequency, uint32_t, void*) {
  if (g_player.device) return 0;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  g_player.audioStarted = 1;
  SDL_AudioSpec wanted = {};
  wanted.freq = int(frequency);
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = 512;  // about 12 ms: small, so picture and sound stay close
  wanted.callback = FillAudio;
  SDL_AudioSpec obtained = {};
  g_player.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (!g_player.device) return 0;
  g_player.sampleRate = obtained.freq;
  g_player.bufferFrames = obtained.samples;
  return 1;
}

int BASS_Start() {
  if (!g_player.device) return 0;
  SDL_PauseAudioDevice(g_player.device, 0);
  return 1;
}

uint32_t BASS_MusicLoad(int fromMemory, const void* data, uint64_t offset, uint32_t length,
                        uint32_t) {
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
  // Music time starts when the device first pulls the module, not before.
  for (int waited = 0; g_player.callbacks.load() == before; ++waited) {
    if (waited >= 2000) return 0;
    SDL_Delay(1);
  }
  return 1;
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
  return 1;
}

double MusicPositionSeconds() {
  if (!g_player.module || !g_player.playing.load()) return -1;
  SDL_LockAudioDevice(g_player.device);
  double position = openmpt_module_get_position_seconds(g_player.module);
  SDL_UnlockAudioDevice(g_player.device);
  return position;
}

int MusicDeviceBufferFrames() { return g_player.bufferFrames; }
