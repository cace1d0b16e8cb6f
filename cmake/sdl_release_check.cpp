// Built into every program of the sanitized build. A window, a GL context or
// a sound device still open when SDL's video or audio shuts down is ended
// with it (the context with SDL's EGL display), so the leak check never sees
// one that the program forgot to release: shutting down with one still open
// ends the program here instead, saying where.
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>

#include <cstdio>
#include <cstdlib>

namespace {
const unsigned kAudio = 0x10, kVideo = 0x20;  // SDL_INIT_AUDIO, SDL_INIT_VIDEO

template <typename Function>
Function Sdl(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int g_contexts = 0;  // made and not yet deleted: SDL keeps no list of them

const char* LeftOpen(unsigned subsystems) {
  if (subsystems & kVideo) {
    if (g_contexts) return "a GL context";
    // Window ids count from 1 in each start of the video.
    for (unsigned id = 1; id <= 64; ++id)
      if (Sdl<void* (*)(unsigned)>("SDL_GetWindowFromID")(id)) return "a window";
  }
  if (subsystems & kAudio)
    for (unsigned id = 1; id <= 16; ++id)  // SDL's open devices, stopped or not
      if (Sdl<int (*)(unsigned)>("SDL_GetAudioDeviceStatus")(id) != 0) return "an audio device";
  return nullptr;
}
}  // namespace

// A program that ends with SDL's video or audio still running released
// nothing of it: the shutdown's check never ran.
__attribute__((destructor)) static void CheckShutDown() {
  auto running = Sdl<unsigned (*)(unsigned)>("SDL_WasInit");
  if (running && running(kAudio | kVideo)) {
    std::fprintf(stderr, "the program ended with SDL's video or audio still running\n");
    std::abort();
  }
}

extern "C" void SDL_QuitSubSystem(unsigned subsystems) {
  if (const char* open = LeftOpen(subsystems)) {
    std::fprintf(stderr, "SDL shut down with %s still open, from:\n", open);
    __sanitizer_print_stack_trace();
    std::abort();
  }
  Sdl<void (*)(unsigned)>("SDL_QuitSubSystem")(subsystems);
}

extern "C" void* SDL_GL_CreateContext(void* window) {
  void* context = Sdl<void* (*)(void*)>("SDL_GL_CreateContext")(window);
  if (context) ++g_contexts;
  return context;
}

extern "C" void SDL_GL_DeleteContext(void* context) {
  if (context) --g_contexts;
  Sdl<void (*)(void*)>("SDL_GL_DeleteContext")(context);
}
