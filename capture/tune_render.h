// The show's tune rendered offline, sample-exact, as the capture needs it.
#pragma once
#include <cstddef>
#include <vector>

// Interleaved stereo floats at 44.1 kHz from `fromSeconds`, exactly `frames`
// sample frames long (silence past the song's end). Empty on failure.
// `onlyChannel` >= 0 mutes every other channel of the module.
std::vector<float> RenderTune(double fromSeconds, size_t frames, int onlyChannel = -1);
