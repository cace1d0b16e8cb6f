// Writes frames as 8-bit RGB PNG files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// rgb holds width * height * 3 bytes, bottom row first (as glReadPixels gives).
// On failure errno says why.
bool WriteRgbPng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
