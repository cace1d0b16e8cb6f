// The signals that ask a program to end (TERM, INT, HUP, QUIT) turned into a
// quit request, so the show takes its normal shutdown and exits 0, also while
// a message box is up.
#pragma once

// Call first in main, before SDL starts any thread: the signals are blocked
// in every thread and taken by one that waits for them.
void InstallQuitSignals();
// Non-zero once such a signal came.
int QuitRequested();
