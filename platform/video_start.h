// SDL's video subsystem, started once for the message boxes and the window.
#pragma once

// Starts video unless it runs already; 1 when it runs on a display, or on a
// driver that shows nothing only when SDL_VIDEODRIVER names it. A display named in the
// environment that refuses the connection is tried again for up to a second
// (an X server resetting after its last client left refuses new ones for a
// moment). A failure is said on stderr with SDL's reason.
int StartVideo();

// Where the X display goes away under the running program (the server ends,
// the connection breaks), end is called instead of Xlib's exit with code 1.
// Nothing on that display can be reached any more; end must not return.
void OnDisplayLost(void (*end)());
