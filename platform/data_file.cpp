#include "platform/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#ifndef O_NONBLOCK
#define O_NONBLOCK 0  // no FIFOs to block on
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

std::FILE* OpenDataFile(const char* fileName) {
  std::string path(fileName);
  for (char& c : path)
    if (c == '\\') c = '/';
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_BINARY);
  if (fd < 0) return nullptr;
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return nullptr;
  }
#ifdef F_GETFL
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
  std::FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}
