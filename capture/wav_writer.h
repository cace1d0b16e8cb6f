// Writes interleaved stereo floats as a 16-bit PCM WAV file.
#pragma once
#include <string>
#include <vector>

// On failure errno says why.
bool WriteWav(const std::string& path, const std::vector<float>& stereo, int rate);
