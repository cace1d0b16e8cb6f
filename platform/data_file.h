// Opening one of the show's data files the way every platform can.
#pragma once
#include <cstdio>
#include <string>

// The catalogue names files with backslashes; this is the name the platform opens.
std::string DataFilePath(const char* fileName);
// Opens a file for reading in binary. Only a regular file is opened: a FIFO
// or a device would block or never end, so the open does not wait and
// anything else is refused before a byte is read. Null when it cannot be
// read, with the reason in *why.
std::FILE* OpenDataFile(const char* fileName, const char** why);
// 1 when something is there under that name.
int DataFileExists(const char* fileName);
