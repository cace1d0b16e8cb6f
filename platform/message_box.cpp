#include "platform/message_box.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstdio>

#include "platform/quit_signals.h"

const char* g_programName = "orvi";

static MessageHook g_messageHook = nullptr;
static std::atomic<int> g_messageBoxUp{0};

int MessageBoxUp() { return g_messageBoxUp.load(); }
static void SetMessageBoxUp(int up) { g_messageBoxUp.store(up); }

MessageHook SetMessageHook(MessageHook hook) {
  const MessageHook previous = g_messageHook;
  g_messageHook = hook;
  return previous;
}

// Where nothing composites the screen (a kiosk's bare X), the area a box
// covered keeps its pixels until the window under it draws again, and the
// next, smaller box stands among pieces of this one. The window is cleared.
static void (*g_clearUnderBox)() = nullptr;

void OnBoxClosed(void (*clear)()) { g_clearUnderBox = clear; }

static void ClearTheWindowUnder() {
  if (!g_clearUnderBox) return;
  g_clearUnderBox();
  SDL_PumpEvents();  // sends what is queued for the display before the next box comes up
}

static int IsYesNo(MessageKind kind) {
  return kind == MessageQuestion || kind == MessageWarningYesNo;
}

int ShowMessage(MessageKind kind, const char* caption, const char* text) {
  if (g_messageHook) return g_messageHook(kind, caption, text);
  // Once asked to end, no box holds the shutdown up: a question is answered No.
  SetMessageBoxUp(1);
  if (QuitRequested()) {
    SetMessageBoxUp(0);
    return IsYesNo(kind) ? 0 : 1;
  }

  Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
  if (kind == MessageError) flags = SDL_MESSAGEBOX_ERROR;
  if (kind == MessageWarning || kind == MessageWarningYesNo) flags = SDL_MESSAGEBOX_WARNING;

  // Button ids: 1 = Yes/OK, 0 = No. Return answers Yes, Escape answers No.
  SDL_MessageBoxButtonData yesNo[2] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
  };
  SDL_MessageBoxButtonData ok[1] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1,
       "OK"},
  };
  SDL_MessageBoxData box = {};
  box.flags = flags;
  box.window = nullptr;
  box.title = caption;
  box.message = text;
  box.numbuttons = IsYesNo(kind) ? 2 : 1;
  box.buttons = IsYesNo(kind) ? yesNo : ok;

  int answer = 0;
  int shown = SDL_ShowMessageBox(&box, &answer);
  SetMessageBoxUp(0);
  ClearTheWindowUnder();
  if (QuitRequested()) return IsYesNo(kind) ? 0 : 1;
  if (shown != 0) {
    // A box nobody saw has no answer: a question is declined, as where there
    // is no display at all, and stderr says what was not asked and why.
    std::fprintf(stderr, "%s: %s (no box can be shown: %s)%s\n", caption, text, SDL_GetError(),
                 IsYesNo(kind) ? ": answered No" : "");
    return IsYesNo(kind) ? 0 : 1;
  }
  return answer == 1 ? 1 : 0;
}
