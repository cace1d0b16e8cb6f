#include "platform/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifndef O_NONBLOCK
#define O_NONBLOCK 0  // no FIFOs to block on
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

std::string DataFilePath(const char* fileName) {
  std::string path(fileName);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::FILE* OpenDataFile(const char* fileName, const char** why) {
  const std::string path = DataFilePath(fileName);
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_BINARY);
  if (fd < 0) {
    *why = std::strerror(errno);
    return nullptr;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *why = "not a regular file";
    close(fd);
    return nullptr;
  }
#ifdef F_GETFL
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
  std::FILE* file = fdopen(fd, "rb");
  if (!file) {
    *why = std::strerror(errno);
    close(fd);
  }
  return file;
}

int DataFileExists(const char* fileName) {
  struct stat status;
  return stat(DataFilePath(fileName).c_str(), &status) == 0;
}
