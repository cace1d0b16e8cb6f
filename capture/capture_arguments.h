// orvi-capture's command line: what a run is asked to make.
#pragma once
#include <string>

#include "capture/show_capture.h"

extern const char* const kCaptureUsage;

// The settings of one run; nothing here changes while it runs.
struct CaptureSettings {
  CaptureSettings() { options.msaa = 8; }  // offline, so it can afford the quality
  CaptureOptions options;
  std::string output = "orvi-tonaro.mp4";
  bool png = false;
  bool stats = false;
  bool msaaGiven = false;  // --msaa on the command line, not the default
};

// Returns an empty string when the arguments are sound, else why not.
// --help and --version print and end the process.
std::string ParseCaptureArguments(int argc, char** argv, CaptureSettings* settings);
