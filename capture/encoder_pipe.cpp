#include "capture/encoder_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/printable_text.h"
#include "capture/safe_output.h"

extern char** environ;

const int kStopSignals[6] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};

std::string SignalText(int signal) {
  const char* name = signal == SIGINT    ? "SIGINT"
                     : signal == SIGTERM ? "SIGTERM"
                     : signal == SIGHUP  ? "SIGHUP"
                     : signal == SIGQUIT ? "SIGQUIT"
                     : signal == SIGPIPE ? "SIGPIPE"
                     : signal == SIGXFSZ ? "SIGXFSZ"
                                         : "a signal";
  return std::string(name) + " (" + strsignal(signal) + ")";
}

bool OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The input does not block: a signal caught just before a blocking write
// would go unseen until ffmpeg read again, which a stalled one never does.
bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    if (g_captureStop) {
      errno = EINTR;
      return false;
    }
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno != EAGAIN && errno != EINTR) return false;
      struct pollfd ready = {fd, POLLOUT, 0};
      poll(&ready, 1, 100);  // ms; a caught signal cuts it short
      continue;
    }
    data += n;
    size -= size_t(n);
  }
  return true;
}

std::string DescribeExit(int status) {
  if (WIFEXITED(status)) return "ffmpeg exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ffmpeg was killed by " + SignalText(WTERMSIG(status));
  return "ffmpeg ended abnormally";
}

bool WaitFor(pid_t pid, int timeoutMs, int* status) {
  // Polled: a blocking wait would not see a signal caught just before it.
  for (int waited = 0;; waited += 10) {
    const pid_t ended = waitpid(pid, status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) return ended == pid;
    if (g_captureStop || (timeoutMs >= 0 && waited >= timeoutMs)) return false;
    poll(nullptr, 0, 10);
  }
}

// The containers ffmpeg writes that hold H.264 and AAC, by extension, with
// ffmpeg's name for each.
struct Container {
  const char* extension;
  const char* muxer;
};
static const Container kContainers[] = {
    {".mp4", "mp4"}, {".m4v", "mp4"}, {".mov", "mov"}, {".mkv", "matroska"}};

static const Container* ContainerOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return nullptr;
  for (const Container& c : kContainers)
    if (strcasecmp(name.c_str() + dot, c.extension) == 0) return &c;
  return nullptr;
}

std::string CheckContainer(const std::string& output) {
  if (output == "-" || ContainerOf(output)) return "";
  return "-o: '" + Printable(output) +
         "' does not end in .mp4, .m4v, .mov or .mkv, the video containers written here "
         "(--png writes pictures)";
}

// ffmpeg's command line: raw RGB frames on standard input, the tune from a
// file, H.264 and AAC out. An MP4 on a pipe comes in fragments, as it cannot
// go back to write its index first.
static std::vector<std::string> EncoderArguments(const EncoderJob& job) {
  const CaptureOptions& o = job.frames;
  const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
  const std::string fps = std::to_string(o.fps);
  std::vector<std::string> args = {
      "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
      "-pix_fmt", "rgb24", "-s", size, "-r", fps, "-i", "pipe:0", "-f", "f32le", "-ar", "44100",
      "-ac", "2", "-i", job.audioFile, "-c:v", "libx264", "-preset", "medium", "-crf", "18",
      "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "192k"};
  const std::string muxer = job.videoFile == "-" ? "mp4" : ContainerOf(job.container)->muxer;
  if (job.videoFile == "-")
    args.insert(args.end(), {"-movflags", "+frag_keyframe+empty_moov+default_base_moof"});
  else if (muxer != "matroska")
    args.insert(args.end(), {"-movflags", "+faststart"});
  args.insert(args.end(), {"-f", muxer, job.videoFile == "-" ? "pipe:1" : job.videoFile});
  return args;
}

std::string StartEncoder(const EncoderJob& job, EncoderPipe* encoder) {
  std::vector<std::string> args = EncoderArguments(job);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return Errno("cannot make a pipe to ffmpeg");
  fcntl(pipeEnds[1], F_SETFD, FD_CLOEXEC);
  fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
  posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  // ffmpeg gets the default actions back for the signals this process catches.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : kStopSignals) sigaddset(&defaults, s);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const int error = posix_spawnp(&encoder->pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[0]);
  if (error != 0) {
    close(pipeEnds[1]);
    encoder->pid = -1;
    errno = error;
    return Errno("cannot start ffmpeg");
  }
  encoder->input = pipeEnds[1];
  return "";
}
