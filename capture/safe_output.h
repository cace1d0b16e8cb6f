// Output that never leaves a half-written file under its final name and
// never writes over what is not a regular file.
#pragma once
#include <filesystem>
#include <functional>
#include <string>

#include "capture/capture_arguments.h"

// "what: the C library's reason for errno".
std::string Errno(const std::string& what);

// Empties a hidden name before it is written: a leftover or planted link
// there would be written through, and then renamed over the final name.
// Returns why it could not, or "".
std::string ClearHiddenName(const std::string& path);

// Writes a file under a hidden name beside its final one and renames it when
// complete, so no half-written file ever carries the final name. Returns why
// it failed, or "".
std::string WriteComplete(const std::filesystem::path& name,
                          const std::function<bool(const std::string&)>& write);

// The folder a file goes into must exist and take new files. Returns why not, or "".
std::string CanWriteIn(const std::filesystem::path& folder);

// Every path the run writes, checked before any rendering. Returns why one
// cannot be written, or ""; a video's name is made the real one to write.
std::string CheckOutputs(CaptureSettings* settings);
