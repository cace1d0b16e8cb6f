// Captures the show to a video file (or a PNG sequence) at a fixed time step:
// every frame drawn at its own moment, the tune rendered offline beside it.
// The parts: capture_arguments (the command line), safe_output (nothing
// half-written under a final name), encoder_pipe (ffmpeg); here, the run.
#include <SDL2/SDL.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/printable_text.h"
#include "capture/capture_arguments.h"
#include "capture/encoder_pipe.h"
#include "capture/png_writer.h"
#include "capture/safe_output.h"
#include "capture/scene_timing.h"
#include "capture/show_capture.h"
#include "capture/tune_render.h"
#include "capture/wav_writer.h"
#include "assets/textures.h"
#include "platform/data_folder.h"

namespace fs = std::filesystem;

namespace {

void CatchStop(int signal, siginfo_t* info, void*) {
  // A SIGPIPE the kernel raised for our own write to an ffmpeg that quit is
  // the encoder's failure, which that write's EPIPE reports; one sent by
  // anyone else stops the run.
  if (signal == SIGPIPE && info->si_code == SI_USER && info->si_pid == getpid()) return;
  if (!g_captureStop) g_captureStop = signal;
}

// What changes while a run writes.
struct Run {
  explicit Run(const CaptureSettings& settings) : settings(settings) {}
  const CaptureSettings& settings;
  OutputTarget target;                // where the output goes, and what was there
  std::string folder;                 // --png: the frames' folder under its hidden name
  EncoderPipe encoder;
  std::vector<std::string> partials;  // removed unless the run completes; the tune's first
  std::string failure;                // the first thing that went wrong
  bool encoderQuit = false;           // ffmpeg stopped reading: its end says why
  int64_t total = 0, done = 0;
  bool progress = false;
  std::chrono::steady_clock::time_point started;
  std::vector<uint8_t> flipped;
};

void ShowProgress(Run* run) {
  if (!run->progress) return;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run->started).count();
  double rate = seconds > 0 ? run->done / seconds : 0;
  double left = rate > 0 ? (run->total - run->done) / rate : 0;
  std::fprintf(stderr, "\rframe %lld of %lld  %3.0f%%  %5.1f fps  %3.0f s left ",
               (long long)run->done, (long long)run->total, 100.0 * run->done / run->total, rate,
               left);
}

bool KeepFrame(int64_t frame, uint64_t, int, const std::vector<uint8_t>& rgb, void* user) {
  Run* run = static_cast<Run*>(user);
  const int w = run->settings.options.width, h = run->settings.options.height;
  char name[64];
  if (run->settings.png) {
    // The folder is hidden until complete, so its files go in under their names.
    std::snprintf(name, sizeof name, "frame-%05lld.png", (long long)frame);
    if (!WriteRgbPng(run->folder + "/" + name, w, h, rgb)) {
      run->failure = Errno("frame " + std::to_string(frame) + ": cannot write " +
                           Printable(run->target.path + "/" + name));
      return false;
    }
  } else {
    // ffmpeg takes rows top first.
    run->flipped.resize(rgb.size());
    const size_t row = size_t(w) * 3;
    for (int y = 0; y < h; ++y)
      std::memcpy(&run->flipped[size_t(h - 1 - y) * row], &rgb[size_t(y) * row], row);
    if (!WriteAll(run->encoder.input, run->flipped.data(), run->flipped.size())) {
      run->encoderQuit = errno == EPIPE;
      if (run->encoderQuit)
        run->failure = "ffmpeg stopped taking frames at frame " + std::to_string(frame);
      else if (errno != EINTR)
        run->failure = Errno("frame " + std::to_string(frame) + ": cannot hand it to ffmpeg");
      return false;
    }
  }
  ++run->done;
  ShowProgress(run);
  return !g_captureStop;
}

// Ends a run that did not complete: ffmpeg stopped, every partial file gone,
// the reason said. A signal's run ends with 128 + its number.
int Fail(Run* run) {
  if (run->progress) std::fputc('\n', stderr);
  if (run->encoder.input >= 0) close(run->encoder.input);
  if (run->encoder.pid > 0) {
    // If it ended by itself, that is part of why; one that quit reading is
    // given a moment to end.
    int status = 0;
    if (WaitFor(run->encoder.pid, run->encoderQuit ? 5000 : 0, &status)) {
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "orvi-capture: %s\n", DescribeExit(status).c_str());
    } else {
      kill(run->encoder.pid, SIGKILL);
      while (waitpid(run->encoder.pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
    run->encoder.pid = -1;
  }
  for (const std::string& path : run->partials) std::remove(path.c_str());
  std::error_code ignored;
  if (!run->folder.empty()) fs::remove_all(run->folder, ignored);  // this run's own
  if (!run->failure.empty()) std::fprintf(stderr, "orvi-capture: %s\n", run->failure.c_str());
  if (g_captureStop) {
    std::fprintf(stderr, "orvi-capture: stopped by %s; removed what was being written\n",
                 SignalText(g_captureStop).c_str());
    return 128 + g_captureStop;
  }
  return 1;
}

int Fail(Run* run, const std::string& why) {
  if (run->failure.empty()) run->failure = why;
  return Fail(run);
}

// The signals stop the run between frames; SDL must not take them.
void CatchStopSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction stop = {};
  stop.sa_sigaction = CatchStop;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = SA_SIGINFO;  // no restart: a blocked wait returns and the loop looks
  for (int s : kStopSignals) sigaction(s, &stop, nullptr);
}

// The frames' hidden folder made beside where it goes, or the video's folder
// and ffmpeg checked.
std::string ReadyOutput(Run* run) {
  const fs::path out(run->target.path);
  if (!run->settings.png) {
    if (!OnPath("ffmpeg")) return "ffmpeg is missing (scripts/deps installs it)";
    return run->settings.output == "-" ? "" : CanWriteIn(out.parent_path());
  }
  std::error_code error;
  fs::create_directories(out.parent_path(), error);
  if (error) return "cannot make " + Printable(out.parent_path().string()) + ": " + error.message();
  const std::string why = CanWriteIn(out.parent_path());
  return why.empty() ? MakeHidden(run->target.path, "partial", true, &run->folder) : why;
}

// The tune beside the frames as tune.wav; or, for a video, as a hidden raw
// file that ffmpeg, started here, reads: beside the video, or among the
// temporary files when the video goes to standard output. Returns why not, or "".
std::string HandOverTune(Run* run, const std::vector<float>& tune) {
  if (run->settings.png) {
    if (WriteWav(run->folder + "/tune.wav", tune, 44100)) return "";
    return Errno("cannot write " + Printable(run->target.path + "/tune.wav"));
  }
  EncoderJob job;
  job.frames = run->settings.options;
  job.container = run->settings.output;
  job.videoFile = "-";
  const char* temporary = std::getenv("TMPDIR");
  const std::string temporaryFolder = temporary && *temporary ? temporary : "/tmp";
  const std::string beside =
      run->settings.output != "-" ? run->target.path : temporaryFolder + "/orvi-capture";
  std::string why = MakeHidden(beside, "tune.f32", false, &job.audioFile);
  if (!why.empty()) return why;
  run->partials = {job.audioFile};
  if (run->settings.output != "-") {
    why = MakeHidden(beside, "partial", false, &job.videoFile);
    if (!why.empty()) return why;
    run->partials.push_back(job.videoFile);
  }
  const std::string audioName = Printable(job.audioFile);
  std::FILE* audio = std::fopen(job.audioFile.c_str(), "wb");
  if (!audio) return Errno("cannot write " + audioName);
  bool audioOk = std::fwrite(tune.data(), sizeof(float), tune.size(), audio) == tune.size();
  if (!audioOk) why = Errno("cannot write " + audioName);
  if (std::fclose(audio) != 0 && audioOk) why = Errno("cannot write " + audioName);
  if (!why.empty() || g_captureStop) return why;
  return StartEncoder(job, &run->encoder);
}

// ffmpeg's input closed, its end waited for, the video put in its place.
// Returns 0, or Fail's exit code.
int FinishVideo(Run* run) {
  close(run->encoder.input);
  run->encoder.input = -1;
  int status = 0;
  if (!WaitFor(run->encoder.pid, -1, &status)) return Fail(run);  // a stop signal
  run->encoder.pid = -1;
  if (g_captureStop) return Fail(run);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail(run, DescribeExit(status));
  std::remove(run->partials[0].c_str());
  if (run->settings.output != "-") {
    const std::string why = PlaceOutput(run->partials[1], run->target);
    if (!why.empty()) return Fail(run, why);
  }
  run->partials.clear();
  return 0;
}

// The tune handed over, every frame drawn and kept.
int CaptureIn(Run* run, GLWindow* window) {
  const CaptureOptions& o = run->settings.options;
  if (window->GetGrantedSamples() != o.msaa && o.msaa > 0)
    std::fprintf(stderr, "orvi-capture: %d-sample anti-aliasing is not available here; %d samples\n",
                 o.msaa, window->GetGrantedSamples());
  if (g_captureStop) return Fail(run);
  {
    const size_t samples = size_t(std::llround(double(run->total) * 44100 / o.fps));
    const std::vector<float> tune =
        RenderTune(double(FrameTimeMs(FirstFrame(o), o.fps)) / 1000, samples);
    if (tune.empty()) return Fail(run, "cannot render the tune");
    if (g_captureStop) return Fail(run);
    run->failure = HandOverTune(run, tune);
    if (!run->failure.empty() || g_captureStop) return Fail(run);
  }
  run->progress = isatty(2);
  run->started = std::chrono::steady_clock::now();
  SceneTiming timing;
  const int64_t kept = RunCapture(window, o, KeepFrame, run, &timing);
  if (run->progress) std::fputc('\n', stderr);
  run->progress = false;
  if (kept < 0 || g_captureStop) return Fail(run);
  if (run->encoder.pid > 0) {
    const int failed = FinishVideo(run);
    if (failed) return failed;
  } else {
    const std::string why = PlaceOutput(run->folder, run->target);
    if (!why.empty()) return Fail(run, why);
    run->folder.clear();
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run->started).count();
  // Standard output may be the video itself.
  const bool streamed = run->settings.output == "-";
  std::FILE* report = streamed ? stderr : stdout;
  std::fprintf(report,
               "wrote %s: %lld frames at %d fps (%.1f s of show) in %.1f s, %.2fx real time\n",
               streamed ? "the video to standard output" : Printable(run->settings.output).c_str(),
               (long long)kept, o.fps, double(kept) / o.fps, seconds,
               double(kept) / o.fps / seconds);
  if (run->settings.stats) PrintSceneTiming(timing, report);
  return 0;
}

// The pictures and the window first: a run that cannot show the show writes
// nothing and starts nothing. The window is released however the run ends.
int Capture(Run* run) {
  GLWindow* window = OpenCaptureWindow(run->settings.options);
  if (!window) return Fail(run, "the show could not start");
  const int code = CaptureIn(run, window);
  window->Destroy();
  delete window;
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  CaptureSettings settings;
  const std::string refusal = ParseCaptureArguments(argc, argv, &settings);
  if (!refusal.empty()) {
    std::fprintf(stderr, "orvi-capture: %s\n", refusal.c_str());
    std::fputs(kCaptureUsage, stderr);
    return 2;
  }
  CatchStopSignals();
  // The output is named from where the tool was started, even when the
  // pictures are then read from beside the tool; a folder's trailing / goes.
  if (settings.output != "-") {
    settings.output = fs::absolute(settings.output).lexically_normal().string();
    if (settings.output.size() > 1 && settings.output.back() == '/') settings.output.pop_back();
  }
  UseDataBesideProgram(g_textureFiles, kTextureSlotCount);
  Run run(settings);
  const std::string unwritable = CheckOutputs(settings, &run.target);
  if (!unwritable.empty()) {
    std::fprintf(stderr, "orvi-capture: %s\n", unwritable.c_str());
    return 2;
  }
  run.total = LastFrame(settings.options) - FirstFrame(settings.options);
  const std::string unready = ReadyOutput(&run);
  if (!unready.empty()) return Fail(&run, unready);
  return Capture(&run);
}
