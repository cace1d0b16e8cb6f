// The page the browser shows the show in. The browser drives the frames (a
// page may not block), messages appear in the page in the boxes' words, and
// the end of the process becomes the page's end state.
#pragma once
#include "platform/gl_window.h"

// Messages go into the page from here on; nothing is asked there.
void ReadyPage();
// Whether the page fetched the pictures drawn at twice the pixels (its
// screen can show a picture of 1280x960 or more), so the show reads them.
int PageHasLargePictures();
// Draws one frame per display refresh from now on. Escape, the page being
// left or closed call end, which must not return.
void RunFramesInPage(GLWindow* window, void (*end)(GLWindow* window));
// The page's end of the program: the page hears the code, the frames stop
// and control goes back to the browser.
[[noreturn]] void EndInPage(int code);
