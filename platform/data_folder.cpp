#include "platform/data_folder.h"

#include <SDL2/SDL.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

int UseDataBesideProgram() {
  std::error_code error;
  if (fs::is_directory("data", error)) return 0;
  // SDL_GetBasePath needs no SDL_Init; it ends with a separator.
  char* base = SDL_GetBasePath();
  if (!base) return 0;
  fs::path programFolder = fs::u8path(base);
  SDL_free(base);
  if (!fs::is_directory(programFolder / "data", error)) return 0;
  fs::current_path(programFolder, error);
  return error ? 0 : 1;
}
