// Captures the show to a video file (or a PNG sequence) at a fixed time step:
// every frame drawn at its own moment, the tune rendered offline beside it.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/data_folder.h"
#include "tools/offline_audio.h"
#include "tools/png_writer.h"
#include "tools/show_capture.h"

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: orvi-capture [options]   (reads data/ from the current folder, else beside itself)\n"
    "Renders the show offscreen at a fixed time step and writes it with its music.\n"
    "  -o, --output PATH   the video file (default orvi-tonaro.mp4), or with --png\n"
    "                      the folder for frame-NNNNN.png files and tune.wav\n"
    "      --png           write a PNG sequence instead of a video\n"
    "      --fps N         frames per second (default 60)\n"
    "      --size WxH      window size (default 640x480)\n"
    "      --from S        start at S seconds of the show (default 0)\n"
    "      --to S          stop at S seconds (default: the show's end, 67 s)\n"
    "      --stats         print the time to draw a frame, per scene\n"
    "  -h, --help          this text\n"
    "      --version       the program's version\n";

struct Job {
  CaptureOptions options;
  std::string output = "orvi-tonaro.mp4";
  bool png = false;
  bool stats = false;
  // While writing:
  std::FILE* ffmpeg = nullptr;
  std::string partial;  // video written under this name until it is complete
  int64_t total = 0, done = 0;
  bool progress = false;
  std::chrono::steady_clock::time_point started;
  std::vector<uint8_t> flipped;
};

bool ParseArguments(int argc, char** argv, Job* job) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "--version") {
      std::puts("orvi-capture " ORVI_VERSION);
      std::exit(0);
    } else if (a == "--png") {
      job->png = true;
    } else if (a == "--stats") {
      job->stats = true;
    } else if ((a == "-o" || a == "--output") && (v = value())) {
      job->output = v;
    } else if (a == "--fps" && (v = value())) {
      job->options.fps = std::atoi(v);
      if (job->options.fps < 1 || job->options.fps > 1000) return false;
    } else if (a == "--size" && (v = value())) {
      if (std::sscanf(v, "%dx%d", &job->options.width, &job->options.height) != 2 ||
          job->options.width < 16 || job->options.height < 16 || job->options.width > 8192 ||
          job->options.height > 8192)
        return false;
    } else if (a == "--from" && (v = value())) {
      job->options.fromSeconds = std::atof(v);
    } else if (a == "--to" && (v = value())) {
      job->options.toSeconds = std::atof(v);
    } else {
      return false;
    }
  }
  return job->options.fromSeconds >= 0 && job->options.toSeconds > job->options.fromSeconds;
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

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
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

bool KeepFrame(int64_t frame, uint64_t, int, const std::vector<uint8_t>& rgb, void* user) {
  Job* job = static_cast<Job*>(user);
  const int w = job->options.width, h = job->options.height;
  bool ok;
  if (job->png) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05lld.png", (long long)frame);
    ok = WriteRgbPng((fs::path(job->output) / name).string(), w, h, rgb);
  } else {
    // ffmpeg takes rows top first.
    job->flipped.resize(rgb.size());
    const size_t row = size_t(w) * 3;
    for (int y = 0; y < h; ++y)
      std::memcpy(&job->flipped[size_t(h - 1 - y) * row], &rgb[size_t(y) * row], row);
    ok = std::fwrite(job->flipped.data(), 1, job->flipped.size(), job->ffmpeg) == job->flipped.size();
  }
  if (!ok) std::fprintf(stderr, "\norvi-capture: cannot write frame %lld\n", (long long)frame);
  ++job->done;
  ShowProgress(job);
  return ok;
}

void PrintStats(const SceneTiming& timing) {
  std::printf("scene  frames  mean ms   p95 ms   max ms\n");
  for (int s = 0; s < 16; ++s) {
    std::vector<double> t = timing.frameMs[s];
    if (t.empty()) continue;
    std::sort(t.begin(), t.end());
    double mean = 0;
    for (double v : t) mean += v / t.size();
    std::printf("%5d  %6zu  %7.2f  %7.2f  %7.2f\n", s, t.size(), mean, t[t.size() * 95 / 100],
                t.back());
  }
}

int Fail(Job* job, const char* why) {
  std::fprintf(stderr, "\norvi-capture: %s\n", why);
  if (job->ffmpeg) pclose(job->ffmpeg);
  if (!job->partial.empty()) fs::remove(job->partial);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Job job;
  if (!ParseArguments(argc, argv, &job)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);  // a dead ffmpeg shows as a failed write
  // The output is named from where the tool was started, even when the
  // pictures are then read from beside the tool.
  job.output = fs::absolute(job.output).string();
  UseDataBesideProgram();
  const CaptureOptions& o = job.options;
  job.total = LastFrame(o) - FirstFrame(o);
  if (job.total <= 0) return Fail(&job, "the range holds no frame");
  const size_t samples = size_t(std::llround(double(job.total) * 44100 / o.fps));
  std::vector<float> tune = RenderTune(double(FrameTimeMs(FirstFrame(o), o.fps)) / 1000, samples);
  if (tune.empty()) return Fail(&job, "cannot render the tune");

  std::error_code error;
  std::string audioFile;
  if (job.png) {
    fs::create_directories(job.output, error);
    if (error) return Fail(&job, ("cannot make " + job.output).c_str());
    if (!WriteWav((fs::path(job.output) / "tune.wav").string(), tune, 44100))
      return Fail(&job, "cannot write tune.wav");
  } else {
    if (!OnPath("ffmpeg")) return Fail(&job, "ffmpeg is missing (scripts/deps installs it)");
    fs::path out(job.output);
    job.partial = (out.parent_path() / ("." + out.filename().string() + ".partial.mp4")).string();
    audioFile = job.partial + ".f32";
    std::FILE* audio = std::fopen(audioFile.c_str(), "wb");
    bool audioOk = audio && std::fwrite(tune.data(), sizeof(float), tune.size(), audio) == tune.size();
    if (audio) audioOk = std::fclose(audio) == 0 && audioOk;
    if (!audioOk) {
      fs::remove(audioFile);
      return Fail(&job, "cannot write the audio (disk full?)");
    }
    std::string command = "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgb24 -s " +
                          std::to_string(o.width) + "x" + std::to_string(o.height) + " -r " +
                          std::to_string(o.fps) + " -i - -f f32le -ar 44100 -ac 2 -i " +
                          Quote(audioFile) +
                          " -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p"
                          " -c:a aac -b:a 192k -movflags +faststart " +
                          Quote(job.partial);
    job.ffmpeg = popen(command.c_str(), "w");
    if (!job.ffmpeg) {
      fs::remove(audioFile);
      return Fail(&job, "cannot start ffmpeg");
    }
  }

  GLWindow* window = OpenCaptureWindow(o);
  if (!window) {
    if (!audioFile.empty()) fs::remove(audioFile);
    return Fail(&job, "the show could not start");
  }
  job.progress = isatty(2);
  job.started = std::chrono::steady_clock::now();
  SceneTiming timing;
  int64_t kept = RunCapture(window, o, KeepFrame, &job, &timing);
  if (job.progress) std::fputc('\n', stderr);
  if (kept < 0) {
    if (!audioFile.empty()) fs::remove(audioFile);
    return Fail(&job, "stopped");
  }
  if (job.ffmpeg) {
    int status = pclose(job.ffmpeg);
    job.ffmpeg = nullptr;
    fs::remove(audioFile);
    if (status != 0) return Fail(&job, "ffmpeg failed (disk full?)");
    fs::rename(job.partial, job.output, error);
    if (error) return Fail(&job, ("cannot rename to " + job.output).c_str());
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
  std::printf("wrote %s: %lld frames at %d fps (%.1f s of show) in %.1f s, %.2fx real time\n",
              job.output.c_str(), (long long)kept, o.fps, double(kept) / o.fps, seconds,
              double(kept) / o.fps / seconds);
  if (job.stats) PrintStats(timing);
  return 0;
}
