#include "platform/data_folder.h"

#include <SDL2/SDL.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

// How many of the files (paths relative to folder, with either separator) are
// there.
static int CountFiles(const fs::path& folder, const char* const* files, int count) {
  int found = 0;
  std::error_code error;
  for (int i = 0; i < count; ++i) {
    if (!files[i]) continue;
    std::string name(files[i]);
    for (char& c : name)
      if (c == '\\') c = '/';
    if (fs::is_regular_file(folder / fs::u8path(name), error)) ++found;
  }
  return found;
}

int UseDataBesideProgram(const char* const* files, int count) {
  std::error_code error;
  const int here = CountFiles(".", files, count);
  // SDL_GetBasePath needs no SDL_Init; it ends with a separator.
  char* base = SDL_GetBasePath();
  if (!base) return 0;
  fs::path programFolder = fs::u8path(base);
  SDL_free(base);
  if (CountFiles(programFolder, files, count) <= here) return 0;
  fs::current_path(programFolder, error);
  return error ? 0 : 1;
}
