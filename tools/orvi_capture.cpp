// Captures the show to a video file (or a PNG sequence) at a fixed time step:
// every frame drawn at its own moment, the tune rendered offline beside it.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "app/launch_options.h"
#include "demo/timeline.h"
#include "platform/data_folder.h"
#include "tools/png_writer.h"
#include "tools/scene_timing.h"
#include "tools/show_capture.h"
#include "tools/tune_render.h"
#include "tools/wav_writer.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: orvi-capture [options]   (reads data/ from the current folder, else beside itself)\n"
    "Renders the show offscreen at a fixed time step and writes it with its music.\n"
    "  -o, --output PATH   the video file (default orvi-tonaro.mp4), or with --png\n"
    "                      the folder for frame-NNNNN.png files and tune.wav\n"
    "      --png           write a PNG sequence instead of a video\n"
    "      --fps N         frames per second, 1 to 1000 (default 60)\n"
    "      --size WxH      window size, 16 to 8192 a side (default 640x480)\n"
    "      --from S        start at S seconds of the show (default 0)\n"
    "      --to S          stop at S seconds (default: the show's end, 67 s)\n"
    "      --msaa N        multisample anti-aliasing with N samples, 0 to 32 (default 8;\n"
    "                      0 draws the frames exactly as the reference frames)\n"
    "      --reduce-flashing  the show with every flash softened to a faint glow\n"
    "      --stats         print the time to draw a frame, per scene\n"
    "  -h, --help          this text\n"
    "      --version       the program's version\n"
    "A signal (INT, TERM, HUP, PIPE, XFSZ) stops it and removes what it was writing.\n";

// The signals that end a run; the first one caught is the one reported.
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ};

void CatchStop(int signal) {
  if (!g_captureStop) g_captureStop = signal;
}

std::string SignalText(int signal) {
  const char* name = signal == SIGINT    ? "SIGINT"
                     : signal == SIGTERM ? "SIGTERM"
                     : signal == SIGHUP  ? "SIGHUP"
                     : signal == SIGPIPE ? "SIGPIPE"
                     : signal == SIGXFSZ ? "SIGXFSZ"
                                         : "a signal";
  return std::string(name) + " (" + strsignal(signal) + ")";
}

struct Job {
  Job() { options.msaa = 8; }  // offline, so it can afford the quality
  CaptureOptions options;
  std::string output = "orvi-tonaro.mp4";
  bool png = false;
  bool stats = false;
  // While writing:
  pid_t ffmpeg = -1;
  int toFfmpeg = -1;                  // its standard input
  std::vector<std::string> partials;  // removed unless the run completes
  std::string failure;                // the first thing that went wrong
  int64_t total = 0, done = 0;
  bool progress = false;
  std::chrono::steady_clock::time_point started;
  std::vector<uint8_t> flipped;
};

// Whole strings only: "30x", "" and " 30" are refused, as are values that
// overflow or are not finite.
bool ParseInt(const char* text, long* value) {
  if (!*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtol(text, &end, 10);
  return errno == 0 && *end == '\0';
}

bool ParseSeconds(const char* text, double* value) {
  if (!*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text, &end);
  return errno == 0 && *end == '\0' && std::isfinite(*value);
}

// Returns an empty string when the arguments are sound, else why not.
std::string ParseArguments(int argc, char** argv, Job* job) {
  const double showSeconds = double(NthEventMs(EventEnd, 0)) / 1000;
  char range[64];
  std::snprintf(range, sizeof range, "between 0 and %g (the show's length in seconds)",
                showSeconds);
  bool toGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (a == "--version") {
      std::puts("orvi-capture " ORVI_VERSION);
      std::exit(0);
    }
    if (a == "--png") {
      job->png = true;
      continue;
    }
    if (a == "--stats") {
      job->stats = true;
      continue;
    }
    if (a == "--reduce-flashing") {
      job->options.reduceFlashing = 1;
      continue;
    }
    const bool takesValue = a == "-o" || a == "--output" || a == "--fps" || a == "--size" ||
                            a == "--msaa" || a == "--from" || a == "--to";
    if (!takesValue) return "unknown option '" + Printable(a) + "'";
    if (i + 1 >= argc) return a + " needs a value";
    const char* v = argv[++i];
    const std::string quoted = "'" + Printable(v) + "'";
    if (a == "-o" || a == "--output") {
      if (!*v) return a + ": the path is empty";
      job->output = v;
    } else if (a == "--fps") {
      long fps = 0;
      if (!ParseInt(v, &fps)) return "--fps: " + quoted + " is not a whole number";
      if (fps < 1 || fps > 1000) return "--fps: " + quoted + " is not between 1 and 1000";
      job->options.fps = int(fps);
    } else if (a == "--size") {
      const char* x = std::strchr(v, 'x');
      long w = 0, h = 0;
      if (!x || !ParseInt(std::string(v, x).c_str(), &w) || !ParseInt(x + 1, &h))
        return "--size: " + quoted + " is not WIDTHxHEIGHT in whole pixels";
      if (w < 16 || w > 8192 || h < 16 || h > 8192)
        return "--size: " + quoted + " has a side outside 16 to 8192";
      job->options.width = int(w);
      job->options.height = int(h);
    } else if (a == "--msaa") {
      long samples = 0;
      if (!ParseInt(v, &samples)) return "--msaa: " + quoted + " is not a whole number";
      if (samples < 0 || samples > 32) return "--msaa: " + quoted + " is not between 0 and 32";
      job->options.msaa = int(samples);
    } else {
      double seconds = 0;
      if (!ParseSeconds(v, &seconds)) return a + ": " + quoted + " is not a finite number";
      if (seconds < 0 || seconds > showSeconds) return a + ": " + quoted + " is not " + range;
      (a == "--from" ? job->options.fromSeconds : job->options.toSeconds) = seconds;
      toGiven |= a == "--to";
    }
  }
  if (!toGiven) job->options.toSeconds = showSeconds;
  if (!(job->options.fromSeconds < job->options.toSeconds)) {
    char why[96];
    std::snprintf(why, sizeof why, "--from (%g s) must come before --to (%g s)",
                  job->options.fromSeconds, job->options.toSeconds);
    return why;
  }
  if (LastFrame(job->options) <= FirstFrame(job->options)) {
    char why[96];
    std::snprintf(why, sizeof why, "--from %g to --to %g holds no frame at --fps %d",
                  job->options.fromSeconds, job->options.toSeconds, job->options.fps);
    return why;
  }
  return "";
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

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// What an existing path is, for a refusal: "a folder", "a device", ...
std::string KindOf(const struct stat& s) {
  if (S_ISDIR(s.st_mode)) return "a folder";
  if (S_ISCHR(s.st_mode) || S_ISBLK(s.st_mode)) return "a device";
  if (S_ISFIFO(s.st_mode)) return "a fifo";
  if (S_ISSOCK(s.st_mode)) return "a socket";
  if (S_ISREG(s.st_mode)) return "a file";
  return "not a regular file";
}

// A file the run will rename its finished output onto: absent, or a regular
// file (through any links, which are kept: the target is what gets replaced).
// Returns why not, or "" with *path made the real name to write.
std::string CheckFileTarget(std::string* path) {
  struct stat s;
  if (lstat(path->c_str(), &s) != 0) {
    if (errno == ENOENT) return "";
    return Errno("cannot look at " + *path);
  }
  if (S_ISLNK(s.st_mode)) {
    if (stat(path->c_str(), &s) != 0) return *path + " is a link to nothing that can be written";
    char* real = realpath(path->c_str(), nullptr);
    if (!real) return Errno("cannot follow " + *path);
    *path = real;
    std::free(real);
  }
  if (!S_ISREG(s.st_mode)) return *path + " is " + KindOf(s) + ", not a file to write";
  return "";
}

// Empties a hidden name before it is written: a leftover or planted link
// there would be written through, and then renamed over the final name.
bool ClearHiddenName(Job* job, const std::string& path) {
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  job->failure = Errno("cannot write " + path);
  return false;
}

// Writes a file under a hidden name beside its final one and renames it when
// complete, so no half-written file ever carries the final name.
bool WriteComplete(Job* job, const fs::path& name,
                   const std::function<bool(const std::string&)>& write) {
  std::string target = name.string();
  const std::string refusal = CheckFileTarget(&target);
  if (!refusal.empty()) {
    job->failure = refusal;
    return false;
  }
  const fs::path final(target);
  const std::string temporary =
      (final.parent_path() / ("." + final.filename().string() + ".partial")).string();
  if (!ClearHiddenName(job, temporary)) return false;
  if (!write(temporary)) {
    const int why = errno;
    std::remove(temporary.c_str());
    errno = why;
    job->failure = Errno("cannot write " + final.string());
    return false;
  }
  if (std::rename(temporary.c_str(), final.c_str()) != 0) {
    const int why = errno;
    std::remove(temporary.c_str());
    errno = why;
    job->failure = Errno("cannot rename " + temporary + " to " + final.string());
    return false;
  }
  return true;
}

void ShowProgress(Job* job) {
  if (!job->progress) return;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job->started).count();
  double rate = seconds > 0 ? job->done / seconds : 0;
  double left = rate > 0 ? (job->total - job->done) / rate : 0;
  std::fprintf(stderr, "\rframe %lld of %lld  %3.0f%%  %5.1f fps  %3.0f s left ",
               (long long)job->done, (long long)job->total, 100.0 * job->done / job->total, rate,
               left);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) return false;  // EINTR included: a caught signal ends the run
    data += n;
    size -= size_t(n);
  }
  return true;
}

bool KeepFrame(int64_t frame, uint64_t, int, const std::vector<uint8_t>& rgb, void* user) {
  Job* job = static_cast<Job*>(user);
  const int w = job->options.width, h = job->options.height;
  char name[64];
  if (job->png) {
    std::snprintf(name, sizeof name, "frame-%05lld.png", (long long)frame);
    if (!WriteComplete(job, fs::path(job->output) / name,
                       [&](const std::string& path) { return WriteRgbPng(path, w, h, rgb); })) {
      job->failure = "frame " + std::to_string(frame) + ": " + job->failure;
      return false;
    }
  } else {
    // ffmpeg takes rows top first.
    job->flipped.resize(rgb.size());
    const size_t row = size_t(w) * 3;
    for (int y = 0; y < h; ++y)
      std::memcpy(&job->flipped[size_t(h - 1 - y) * row], &rgb[size_t(y) * row], row);
    if (!WriteAll(job->toFfmpeg, job->flipped.data(), job->flipped.size())) {
      if (errno != EINTR)
        job->failure = Errno("frame " + std::to_string(frame) + ": cannot hand it to ffmpeg");
      return false;
    }
  }
  ++job->done;
  ShowProgress(job);
  return !g_captureStop;
}

// "ffmpeg exited with status 1", "ffmpeg was killed by SIGXFSZ (...)".
std::string DescribeExit(int status) {
  if (WIFEXITED(status)) return "ffmpeg exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ffmpeg was killed by " + SignalText(WTERMSIG(status));
  return "ffmpeg ended abnormally";
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Starts ffmpeg reading raw frames on its standard input and the tune from a
// file. No shell: paths go through as they are.
bool StartFfmpeg(Job* job, const std::string& audioFile) {
  const CaptureOptions& o = job->options;
  const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
  const std::string fps = std::to_string(o.fps);
  std::vector<std::string> args = {
      "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
      "-pix_fmt", "rgb24", "-s", size, "-r", fps, "-i", "pipe:0", "-f", "f32le", "-ar", "44100",
      "-ac", "2", "-i", audioFile, "-c:v", "libx264", "-preset", "medium", "-crf", "18",
      "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart",
      "-f", "mp4", job->partials.front()};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    job->failure = Errno("cannot make a pipe to ffmpeg");
    return false;
  }
  fcntl(pipeEnds[1], F_SETFD, FD_CLOEXEC);
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
  const int error = posix_spawnp(&job->ffmpeg, "ffmpeg", &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[0]);
  if (error != 0) {
    close(pipeEnds[1]);
    job->ffmpeg = -1;
    errno = error;
    job->failure = Errno("cannot start ffmpeg");
    return false;
  }
  job->toFfmpeg = pipeEnds[1];
  return true;
}

// Ends a run that did not complete: ffmpeg stopped, every partial file gone,
// the reason said. A signal's run ends with 128 + its number.
int Fail(Job* job) {
  if (job->progress) std::fputc('\n', stderr);
  if (job->toFfmpeg >= 0) close(job->toFfmpeg);
  if (job->ffmpeg > 0) {
    // If it ended by itself, that is part of why.
    int status = 0;
    if (waitpid(job->ffmpeg, &status, WNOHANG) == job->ffmpeg) {
      std::fprintf(stderr, "orvi-capture: %s\n", DescribeExit(status).c_str());
    } else {
      kill(job->ffmpeg, SIGKILL);
      WaitFor(job->ffmpeg);
    }
  }
  for (const std::string& path : job->partials) std::remove(path.c_str());
  if (!job->failure.empty()) std::fprintf(stderr, "orvi-capture: %s\n", job->failure.c_str());
  if (g_captureStop) {
    std::fprintf(stderr, "orvi-capture: stopped by %s; removed what was being written\n",
                 SignalText(g_captureStop).c_str());
    return 128 + g_captureStop;
  }
  return 1;
}

int Fail(Job* job, const std::string& why) {
  if (job->failure.empty()) job->failure = why;
  return Fail(job);
}

// The folder a file goes into must exist and take new files.
bool CanWriteIn(const fs::path& folder, Job* job) {
  const std::string dir = folder.empty() ? "." : folder.string();
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    job->failure = Errno("cannot write in " + dir);
    return false;
  }
  return true;
}

// Every path the run writes, checked before any rendering.
std::string CheckOutputs(Job* job) {
  const fs::path out(job->output);
  if (!job->png) return CheckFileTarget(&job->output);
  struct stat s;
  if (stat(job->output.c_str(), &s) == 0 && !S_ISDIR(s.st_mode))
    return job->output + " is " + KindOf(s) + ", not a folder for --png";
  if (lstat(job->output.c_str(), &s) == 0 && S_ISLNK(s.st_mode) && stat(job->output.c_str(), &s) != 0)
    return job->output + " is a link to nothing, not a folder for --png";
  std::vector<std::string> names = {"tune.wav"};
  char name[64];
  for (int64_t n = FirstFrame(job->options), last = LastFrame(job->options); n < last; ++n) {
    std::snprintf(name, sizeof name, "frame-%05lld.png", (long long)n);
    names.push_back(name);
  }
  for (const std::string& n : names) {
    std::string path = (out / n).string();
    const std::string why = CheckFileTarget(&path);
    if (!why.empty()) return why;
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  Job job;
  const std::string refusal = ParseArguments(argc, argv, &job);
  if (!refusal.empty()) {
    std::fprintf(stderr, "orvi-capture: %s\n", refusal.c_str());
    std::fputs(kUsage, stderr);
    return 2;
  }
  // The signals stop the run between frames; SDL must not take them.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction stop = {};
  stop.sa_handler = CatchStop;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = 0;  // no restart: a blocked write returns and the loop looks
  for (int s : kStopSignals) sigaction(s, &stop, nullptr);

  // The output is named from where the tool was started, even when the
  // pictures are then read from beside the tool.
  job.output = fs::absolute(job.output).string();
  const std::string unwritable = CheckOutputs(&job);
  if (!unwritable.empty()) {
    std::fprintf(stderr, "orvi-capture: %s\n", unwritable.c_str());
    return 2;
  }
  UseDataBesideProgram();
  const CaptureOptions& o = job.options;
  job.total = LastFrame(o) - FirstFrame(o);

  const fs::path out(job.output);
  if (job.png) {
    std::error_code error;
    fs::create_directories(out, error);
    if (error) return Fail(&job, "cannot make " + job.output + ": " + error.message());
    if (!CanWriteIn(out, &job)) return Fail(&job);
  } else {
    if (!OnPath("ffmpeg")) return Fail(&job, "ffmpeg is missing (scripts/deps installs it)");
    if (!CanWriteIn(out.parent_path(), &job)) return Fail(&job);
  }

  // The pictures and the window first: a run that cannot show the show
  // writes nothing and starts nothing.
  GLWindow* window = OpenCaptureWindow(o);
  if (!window) return Fail(&job, "the show could not start");
  if (window->GetGrantedSamples() != o.msaa && o.msaa > 0)
    std::fprintf(stderr, "orvi-capture: %d-sample anti-aliasing is not available here; %d samples\n",
                 o.msaa, window->GetGrantedSamples());
  if (g_captureStop) return Fail(&job);

  const size_t samples = size_t(std::llround(double(job.total) * 44100 / o.fps));
  std::vector<float> tune = RenderTune(double(FrameTimeMs(FirstFrame(o), o.fps)) / 1000, samples);
  if (tune.empty()) return Fail(&job, "cannot render the tune");
  if (g_captureStop) return Fail(&job);

  if (job.png) {
    if (!WriteComplete(&job, out / "tune.wav",
                       [&](const std::string& path) { return WriteWav(path, tune, 44100); }))
      return Fail(&job);
  } else {
    const std::string partial = (out.parent_path() / ("." + out.filename().string() + ".partial.mp4")).string();
    const std::string audioFile = partial + ".f32";
    if (!ClearHiddenName(&job, partial) || !ClearHiddenName(&job, audioFile)) return Fail(&job);
    job.partials = {partial, audioFile};
    std::FILE* audio = std::fopen(audioFile.c_str(), "wb");
    if (!audio) return Fail(&job, Errno("cannot write " + audioFile));
    bool audioOk = std::fwrite(tune.data(), sizeof(float), tune.size(), audio) == tune.size();
    if (!audioOk) job.failure = Errno("cannot write " + audioFile);
    if (std::fclose(audio) != 0 && audioOk) job.failure = Errno("cannot write " + audioFile);
    if (!job.failure.empty() || g_captureStop) return Fail(&job);
    if (!StartFfmpeg(&job, audioFile)) return Fail(&job);
  }
  tune = {};

  job.progress = isatty(2);
  job.started = std::chrono::steady_clock::now();
  SceneTiming timing;
  const int64_t kept = RunCapture(window, o, KeepFrame, &job, &timing);
  if (job.progress) std::fputc('\n', stderr);
  job.progress = false;
  if (kept < 0 || g_captureStop) return Fail(&job);
  if (job.ffmpeg > 0) {
    close(job.toFfmpeg);
    job.toFfmpeg = -1;
    const int status = WaitFor(job.ffmpeg);
    job.ffmpeg = -1;
    if (g_captureStop) return Fail(&job);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail(&job, DescribeExit(status));
    std::remove(job.partials[1].c_str());
    if (std::rename(job.partials[0].c_str(), job.output.c_str()) != 0)
      return Fail(&job, Errno("cannot rename " + job.partials[0] + " to " + job.output));
    job.partials.clear();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
  std::printf("wrote %s: %lld frames at %d fps (%.1f s of show) in %.1f s, %.2fx real time\n",
              job.output.c_str(), (long long)kept, o.fps, double(kept) / o.fps, seconds,
              double(kept) / o.fps / seconds);
  if (job.stats) PrintSceneTiming(timing);
  return 0;
}
