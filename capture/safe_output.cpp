#include "capture/safe_output.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/printable_text.h"
#include "assets/textures.h"

namespace fs = std::filesystem;

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

namespace {

// What an existing path is, for a refusal: "a folder", "a device", ...
std::string KindOf(const struct stat& s) {
  if (S_ISDIR(s.st_mode)) return "a folder";
  if (S_ISCHR(s.st_mode) || S_ISBLK(s.st_mode)) return "a device";
  if (S_ISFIFO(s.st_mode)) return "a fifo";
  if (S_ISSOCK(s.st_mode)) return "a socket";
  if (S_ISREG(s.st_mode)) return "a file";
  return "not a regular file";
}

bool Same(const struct stat& s, const OutputTarget& target) {
  return s.st_dev == target.device && s.st_ino == target.inode;
}

// frame-NNNNN.png or tune.wav: what a --png run writes.
bool IsCaptureFile(const std::string& name) {
  if (name == "tune.wav") return true;
  const size_t digits = name.size() - std::min(name.size(), sizeof "frame-.png" - 1);
  return digits >= 5 && name.compare(0, 6, "frame-") == 0 &&
         name.compare(6 + digits, std::string::npos, ".png") == 0 &&
         std::all_of(name.begin() + 6, name.begin() + 6 + long(digits),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Absent, or of the kind wanted through any link; the target's real name and
// identity set. Returns why not, or "".
std::string LookAt(bool folder, OutputTarget* target) {
  const std::string shown = Printable(target->path);
  const char* wanted = folder ? "a folder for --png" : "a file to write";
  struct stat s;
  if (lstat(target->path.c_str(), &s) != 0)
    return errno == ENOENT ? "" : Errno("cannot look at " + shown);
  if (S_ISLNK(s.st_mode)) {
    if (stat(target->path.c_str(), &s) != 0)
      return shown + " is a link to nothing, not " + wanted;
    char* real = realpath(target->path.c_str(), nullptr);
    if (!real) return Errno("cannot follow " + shown);
    target->path = real;
    std::free(real);
  }
  if (folder ? !S_ISDIR(s.st_mode) : !S_ISREG(s.st_mode))
    return shown + " is " + KindOf(s) + ", not " + wanted;
  target->existed = true;
  target->device = s.st_dev;
  target->inode = s.st_ino;
  return "";
}

// A --png folder takes a new capture only if empty or holding an earlier one.
std::string CheckCaptureFolder(const std::string& path) {
  DIR* folder = opendir(path.c_str());
  if (!folder) return Errno("cannot read " + Printable(path));
  std::string why;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    struct stat s;
    if (name == "." || name == "..") continue;
    if (!IsCaptureFile(name) || lstat((path + "/" + name).c_str(), &s) != 0 ||
        !S_ISREG(s.st_mode)) {
      why = Printable(path) + " holds " + Printable(name) +
            ", which no capture wrote; --png writes into an empty folder or over a capture";
      break;
    }
  }
  closedir(folder);
  return why;
}

// Nothing the show or this program needs: the data folder in use and what is
// in it, a picture it loads (a hard link elsewhere too), the program itself.
std::string CheckNotShow(const OutputTarget& target) {
  std::error_code error;
  const fs::path data = fs::weakly_canonical(fs::absolute("data"), error);
  const fs::path out = fs::weakly_canonical(target.path, error);
  const std::string shown = Printable(target.path);
  // A path that cannot be followed (left empty) is in no data folder; its writes say why.
  const bool inside =
      !data.empty() && !out.empty() &&
      std::mismatch(data.begin(), data.end(), out.begin(), out.end()).first == data.end();
  if (inside && out == data) return shown + " is the data folder the show reads";
  if (inside)
    return shown + " is inside " + Printable(data.string()) + ", the data folder the show reads";
  if (!target.existed) return "";
  struct stat s;
  if (stat("/proc/self/exe", &s) == 0 && Same(s, target)) return shown + " is this program itself";
  for (const char* file : g_textureFiles) {
    if (!file) continue;
    std::string picture = file;
    std::replace(picture.begin(), picture.end(), '\\', '/');
    if (stat(picture.c_str(), &s) == 0 && Same(s, target))
      return shown + " is the picture " + picture + " the show loads";
  }
  return "";
}

// The output replaced, now under a hidden name: a file, or a folder of an
// earlier capture, whose files go and then the folder (if nothing else came).
void RemovePrevious(const std::string& path) {
  struct stat s;
  if (lstat(path.c_str(), &s) != 0 || !S_ISDIR(s.st_mode)) {
    unlink(path.c_str());
    return;
  }
  if (DIR* folder = opendir(path.c_str())) {
    while (const dirent* entry = readdir(folder))
      if (IsCaptureFile(entry->d_name)) unlink((path + "/" + entry->d_name).c_str());
    closedir(folder);
  }
  rmdir(path.c_str());
}

}  // namespace

std::string CheckOutputs(const CaptureSettings& settings, OutputTarget* target) {
  *target = OutputTarget();
  if (settings.output == "-") return "";
  target->path = settings.output;
  std::string why = LookAt(settings.png, target);
  if (why.empty()) why = CheckNotShow(*target);
  if (why.empty() && settings.png && target->existed) why = CheckCaptureFolder(target->path);
  return why;
}

std::string MakeHidden(const std::string& path, const std::string& tag, bool folder,
                       std::string* made) {
  const fs::path final(path);
  const std::string dir = final.parent_path().empty() ? "." : final.parent_path().string();
  long limit = pathconf(dir.c_str(), _PC_NAME_MAX);
  if (limit <= 0) limit = 255;
  const std::string name = final.filename().string();
  for (int n = 0; n < 100; ++n) {
    // .NAME.PID-N.TAG, NAME cut short (never inside a UTF-8 character) to fit.
    const std::string suffix = "." + std::to_string(getpid()) + "-" + std::to_string(n) + "." + tag;
    size_t keep = std::min(name.size(), size_t(std::max(0L, limit - 1 - long(suffix.size()))));
    while (keep > 0 && keep < name.size() && (name[keep] & 0xC0) == 0x80) --keep;
    *made = dir + "/." + name.substr(0, keep) + suffix;
    if (folder ? mkdir(made->c_str(), 0777) == 0 : [&] {
          const int fd = open(made->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
          return fd >= 0 && close(fd) == 0;
        }())
      return "";
    if (errno != EEXIST) return Errno("cannot write " + Printable(*made));
  }
  return "no free hidden name beside " + Printable(path);
}

std::string PlaceOutput(const std::string& hidden, const OutputTarget& target) {
  const char* from = hidden.c_str();
  const char* to = target.path.c_str();
  const std::string taken = Printable(target.path) +
                            " was written by another run while this one drew; it is left as it is";
  const std::string failed = "cannot rename " + Printable(hidden) + " to " + Printable(target.path);
  if (target.existed) {
    // Swapped in one step, then what came out is looked at: another run's
    // output goes back.
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE) == 0) {
      struct stat s;
      if (lstat(from, &s) != 0 || !Same(s, target)) {
        renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
        return taken;
      }
      RemovePrevious(hidden);
      return "";
    }
    if (errno != ENOENT && errno != EINVAL) return Errno(failed);
  }
  if (!target.existed || errno == ENOENT) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return "";
    if (errno == EEXIST || errno == ENOTEMPTY) return taken;
    if (errno != EINVAL) return Errno(failed);
  }
  // File systems without those (FAT, some network ones): look, then rename,
  // an earlier output first moved aside.
  struct stat s;
  const bool there = lstat(to, &s) == 0;
  if (there != target.existed || (there && !Same(s, target))) return taken;
  std::string previous;
  if (there) {
    const std::string why = MakeHidden(target.path, "previous", S_ISDIR(s.st_mode), &previous);
    if (!why.empty()) return why;
    if (std::rename(to, previous.c_str()) != 0) return Errno(failed);
  }
  if (std::rename(from, to) != 0) {
    const int why = errno;
    if (there) std::rename(previous.c_str(), to);
    errno = why;
    return Errno(failed);
  }
  if (there) RemovePrevious(previous);
  return "";
}

std::string CanWriteIn(const fs::path& folder) {
  const std::string dir = folder.empty() ? "." : folder.string();
  if (access(dir.c_str(), W_OK | X_OK) != 0) return Errno("cannot write in " + Printable(dir));
  return "";
}
