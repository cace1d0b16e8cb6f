// Text from the command line or the file system as a terminal can show it.
#pragma once
#include <string>

// Bytes outside printable ASCII, and the backslash, as \xNN.
std::string Printable(const std::string& text);
