#include "app/number_arguments.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

bool ParseWholeNumber(const char* text, long* value) {
  if (!*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return *end == '\0';
}

bool ParseDecimal(const char* text, double* value) {
  if (!*text || std::strspn(text, "0123456789.eE+-") != std::strlen(text)) return false;
  char* end = nullptr;
  *value = std::strtod(text, &end);
  return *end == '\0';
}
