// Modal message boxes with no owner window: the only way the program speaks.
#pragma once

enum MessageKind {
  MessageError,     // OK button, stop icon
  MessageWarning,   // OK button, exclamation icon
  MessageQuestion,  // Yes/No buttons, question icon
  MessagePlain,     // OK button, no icon
  MessageWarningYesNo,  // Yes/No buttons, exclamation icon
};

// Shows the box and waits for the answer. Returns 1 for OK or Yes, 0 for No.
// Where no box can be shown the caption and text go to stderr with SDL's
// reason, and a question is answered No.
int ShowMessage(MessageKind kind, const char* caption, const char* text);

// Non-zero while a box is up (or about to come up), so a quit signal can
// close it; any thread may ask.
int MessageBoxUp();

// Tests replace the box with a recorder; null restores the real box.
// Returns the hook that was in place.
typedef int (*MessageHook)(MessageKind kind, const char* caption, const char* text);
MessageHook SetMessageHook(MessageHook hook);

// What clears the window a box covered, once the box closes (the window sets it
// while it lives); the box itself knows nothing of windows.
void OnBoxClosed(void (*clear)());

// The name the program's own lines on stderr begin with: "orvi", or the
// capture tool's, which sets it.
extern const char* g_programName;
