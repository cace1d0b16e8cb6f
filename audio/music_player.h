// The six-call music player the show was written against, over SDL's audio
// device and libopenmpt. Only the audio callback touches the module once it plays.
#pragma once
#include <cstddef>
#include <cstdint>

int BASS_Init(uint32_t frequency);
int BASS_Start();
// Loads a module from memory; returns a non-zero handle. A memory loader
// needs the block's real length, so length is never 0 here.
uint32_t BASS_MusicLoad(int fromMemory, const void* data, uint64_t offset, uint32_t length);
// How long a start waits for the device to pull the module's first audio.
enum { kMusicStartWaitMs = 2000 };
// Returns once the device is pulling the module's audio. In a browser the
// device calls back between frames, so it returns at once: MusicHeard tells
// when the audio comes.
int BASS_MusicPlay(uint32_t handle);
// 1 once the device has pulled audio of the playing module.
int MusicHeard();
int BASS_Stop();
int BASS_Free();

// Seconds of the module played so far; -1 when nothing plays.
double MusicPositionSeconds();
// Sample frames the device asks for per callback; 0 when no device is open.
int MusicDeviceBufferFrames();

// The show's live clock: how much of the music has been heard, from the
// frames handed to the device less its latency, advanced with the monotonic
// clock between callbacks and never going back. It stops when the device
// stops (a stalled process) and stays at its last reading once the device is
// gone. Main thread only.
uint64_t MusicClockUs();
uint64_t MusicClockMs();

// What the device's audio thread runs for each buffer it pulls: the next
// `frames` stereo frames of the module, silence once it has ended. Tests call
// it themselves, with the device never started, to pull buffers when they say.
void FillMusicBuffer(float* out, size_t frames);
// The monotonic microseconds the clock advances by between buffers;
// replaceable so tests can drive it.
typedef int64_t (*MusicTimeSource)();
extern MusicTimeSource g_musicTimeUs;
