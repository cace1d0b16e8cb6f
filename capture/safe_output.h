// Output that never leaves a half-written file under its final name, never
// writes over what is not a regular file or a previous capture, nor over what
// the show reads or the program itself, nor over what another run finished
// while this one drew.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_arguments.h"

// "what: the C library's reason for errno".
std::string Errno(const std::string& what);

// Where the finished output goes, and what was there when the run began: it
// replaces that and nothing else.
struct OutputTarget {
  std::string path;  // the real name, through any link (which is kept)
  bool existed = false;
  dev_t device = 0;
  ino_t inode = 0;
};

// Checked before anything is drawn: the video file, or the --png folder and
// what it holds. Returns why it may not be written, or "" with *target set.
std::string CheckOutputs(const CaptureSettings& settings, OutputTarget* target);

// Makes an empty file (or folder) under a hidden name of this run's own beside
// path, short enough for the file system; tag tells a run's names apart.
// Returns why not, or "" with *made its name.
std::string MakeHidden(const std::string& path, const std::string& tag, bool folder,
                       std::string* made);

// Puts the finished output, under its hidden name, in the target's place; the
// previous file, or previous capture, goes wholly. If another run's output took
// the place meanwhile, that stays and this returns why; else "".
std::string PlaceOutput(const std::string& hidden, const OutputTarget& target);

// The folder a file goes into must exist and take new files. Returns why not, or "".
std::string CanWriteIn(const std::filesystem::path& folder);

// The folders missing above and at `folder` made, outermost first, each one
// added to *made as it is made. Returns why not, or "".
std::string MakeFolders(const std::filesystem::path& folder, std::vector<std::string>* made);
// Those folders removed again, innermost first, where nothing else came into them.
void RemoveFolders(const std::vector<std::string>& made);

// Whether a finished video, read from its start, opens as its container does
// (an MP4 or MOV box, or Matroska's header). Returns why not, or "".
std::string CheckWrittenVideo(const std::string& path, const std::string& shown);
