// A stop signal answered within a second even while the run is inside a call
// that cannot look at the stop flag: a large frame drawn, the window opened.
#pragma once

// Started once the run's files are being made. While the calling thread is
// inside an Unwatched section, a stop signal that the section outlasts by
// kStopGraceMs is answered by the watcher thread: it calls `stop`, which
// removes what the run was writing and returns the exit code, and ends the
// process with it. Outside a section the run stops itself, as before.
void StartStopWatcher(int (*stop)(void* user), void* user);
// The watcher ended: the run is done with its files either way.
void EndStopWatcher();

enum { kStopGraceMs = 100 };

// Marks a section; leaving it waits while the watcher is stopping the run.
class Unwatched {
 public:
  Unwatched();
  ~Unwatched();
  Unwatched(const Unwatched&) = delete;
  Unwatched& operator=(const Unwatched&) = delete;
};
