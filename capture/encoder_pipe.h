// ffmpeg as the video encoder: started with the tune's file, fed raw frames
// on its standard input, and its end described.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "capture/show_capture.h"

// The signals that end a run; the first one caught is the one reported.
// ffmpeg gets their default actions back.
extern const int kStopSignals[6];

// "SIGTERM (Terminated)".
std::string SignalText(int signal);

// Whether a program of that name is on the PATH.
bool OnPath(const char* program);

// Whether ffmpeg writes a container of that name's extension that holds H.264
// and AAC ("-" is standard output, a fragmented MP4). Returns why not, or "".
std::string CheckContainer(const std::string& output);

struct EncoderPipe {
  pid_t pid = -1;
  int input = -1;  // its standard input
};

// What ffmpeg is given: raw frames of the run's size and rate on its standard
// input, the tune (f32le stereo, 44.1 kHz) from a file.
struct EncoderJob {
  CaptureOptions frames;
  std::string audioFile;
  std::string videoFile;  // where it writes; "-" for its standard output
  std::string container;  // the name the user gave, whose extension picks it
};

// Starts ffmpeg on the job. No shell: paths go through as they are. Returns
// why it could not, or "".
std::string StartEncoder(const EncoderJob& job, EncoderPipe* encoder);

// Writes all of it to the encoder's input; false on an error, or with EINTR
// once a stop signal is caught, even while ffmpeg has stopped reading.
bool WriteAll(int fd, const uint8_t* data, size_t size);

// Waits up to timeoutMs (-1: as long as it takes) for the process to end,
// giving up early when a stop signal is caught. True with its status if it ended.
bool WaitFor(pid_t pid, int timeoutMs, int* status);

// "ffmpeg exited with status 1", "ffmpeg was killed by SIGXFSZ (...)".
std::string DescribeExit(int status);
