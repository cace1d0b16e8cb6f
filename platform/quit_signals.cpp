#include "platform/quit_signals.h"

#include <SDL2/SDL.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "platform/message_box.h"

#ifndef _WIN32
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#endif

static std::atomic<int> g_quitRequested{0};
int QuitRequested() { return g_quitRequested.load(); }

#ifdef _WIN32

static void RequestQuit(int) { g_quitRequested.store(1); }

void InstallQuitSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  signal(SIGINT, RequestQuit);
  signal(SIGTERM, RequestQuit);
}

#else

static sigset_t QuitSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGQUIT);
  return set;
}

// SDL shows a box from a child process (a fork on X11, zenity on Wayland)
// and waits for it; ending the child closes the box as if it were dismissed.
static void CloseMessageBoxes() {
  const pid_t self = getpid();
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end) continue;
    char path[64], stat[512] = {};
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    std::FILE* file = std::fopen(path, "r");
    if (!file) continue;
    size_t got = std::fread(stat, 1, sizeof stat - 1, file);
    std::fclose(file);
    stat[got] = 0;
    // "pid (name) state ppid ...": the name may hold spaces and parentheses.
    const char* close = std::strrchr(stat, ')');
    char state;
    long parent;
    if (close && std::sscanf(close + 1, " %c %ld", &state, &parent) == 2 && parent == self)
      kill(pid_t(pid), SIGKILL);
  }
  closedir(proc);
}

static void WaitForQuitSignals() {
  sigset_t set = QuitSignals();
  for (;;) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0) continue;
    g_quitRequested.store(1);
    // Until the box that is up (or about to come up) is gone.
    while (MessageBoxUp()) {
      CloseMessageBoxes();
      SDL_Delay(50);
    }
  }
}

void InstallQuitSignals() {
  // SDL's own handlers would only post a quit event for two of them.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  sigset_t set = QuitSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(WaitForQuitSignals).detach();
  // A display that drops the connection as it opens is a failed start, said
  // as one; a write to it must not kill the process first.
  signal(SIGPIPE, SIG_IGN);
}

#endif
