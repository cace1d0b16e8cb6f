#include "capture/safe_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/launch_options.h"

namespace fs = std::filesystem;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// What an existing path is, for a refusal: "a folder", "a device", ...
static std::string KindOf(const struct stat& s) {
  if (S_ISDIR(s.st_mode)) return "a folder";
  if (S_ISCHR(s.st_mode) || S_ISBLK(s.st_mode)) return "a device";
  if (S_ISFIFO(s.st_mode)) return "a fifo";
  if (S_ISSOCK(s.st_mode)) return "a socket";
  if (S_ISREG(s.st_mode)) return "a file";
  return "not a regular file";
}

std::string CheckFileTarget(std::string* path) {
  struct stat s;
  if (lstat(path->c_str(), &s) != 0) {
    if (errno == ENOENT) return "";
    return Errno("cannot look at " + Printable(*path));
  }
  if (S_ISLNK(s.st_mode)) {
    if (stat(path->c_str(), &s) != 0) return Printable(*path) + " is a link to nothing that can be written";
    char* real = realpath(path->c_str(), nullptr);
    if (!real) return Errno("cannot follow " + Printable(*path));
    *path = real;
    std::free(real);
  }
  if (!S_ISREG(s.st_mode)) return Printable(*path) + " is " + KindOf(s) + ", not a file to write";
  return "";
}

std::string ClearHiddenName(const std::string& path) {
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return "";
  return Errno("cannot write " + Printable(path));
}

std::string WriteComplete(const fs::path& name,
                          const std::function<bool(const std::string&)>& write) {
  std::string target = name.string();
  const std::string refusal = CheckFileTarget(&target);
  if (!refusal.empty()) return refusal;
  const fs::path final(target);
  const std::string temporary =
      (final.parent_path() / ("." + final.filename().string() + ".partial")).string();
  const std::string uncleared = ClearHiddenName(temporary);
  if (!uncleared.empty()) return uncleared;
  if (!write(temporary)) {
    const int why = errno;
    std::remove(temporary.c_str());
    errno = why;
    return Errno("cannot write " + Printable(final.string()));
  }
  if (std::rename(temporary.c_str(), final.c_str()) != 0) {
    const int why = errno;
    std::remove(temporary.c_str());
    errno = why;
    return Errno("cannot rename " + Printable(temporary) + " to " + Printable(final.string()));
  }
  return "";
}

std::string CanWriteIn(const fs::path& folder) {
  const std::string dir = folder.empty() ? "." : folder.string();
  if (access(dir.c_str(), W_OK | X_OK) != 0) return Errno("cannot write in " + Printable(dir));
  return "";
}

std::string CheckOutputs(CaptureSettings* settings) {
  if (settings->output == "-") return "";
  const fs::path out(settings->output);
  if (!settings->png) return CheckFileTarget(&settings->output);
  struct stat s;
  const char* output = settings->output.c_str();
  if (stat(output, &s) == 0 && !S_ISDIR(s.st_mode))
    return Printable(settings->output) + " is " + KindOf(s) + ", not a folder for --png";
  if (lstat(output, &s) == 0 && S_ISLNK(s.st_mode) && stat(output, &s) != 0)
    return Printable(settings->output) + " is a link to nothing, not a folder for --png";
  std::vector<std::string> names = {"tune.wav"};
  char name[64];
  for (int64_t n = FirstFrame(settings->options), last = LastFrame(settings->options); n < last;
       ++n) {
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
