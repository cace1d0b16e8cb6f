// Opening one of the show's data files the way every platform can.
#pragma once
#include <cstdio>

// Opens a file for reading in binary. The catalogue names files with
// backslashes. Only a regular file is opened: a FIFO or a device would block
// or never end, so the open does not wait and anything else is refused
// before a byte is read. Null when it cannot be read.
std::FILE* OpenDataFile(const char* fileName);
