#include "app/number_arguments.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

bool ParseWholeNumber(const char* text, long* value) {
  if (!*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtol(text, &end, 10);
  return errno == 0 && *end == '\0';
}

bool ParseDecimal(const char* text, double* value) {
  if (!*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text, &end);
  return errno == 0 && *end == '\0' && std::isfinite(*value);
}
