/* Presses keys by X keycode through the XTest extension, as a keyboard would:
 * every key FIRST..LAST goes down, all are held HOLD_MS milliseconds with the
 * input focus on WINDOW, then all come up. Held together, each stays down
 * long enough to be seen by a program that polls once a frame.
 *   x11_press_keys WINDOW HOLD_MS FIRST [LAST]   (keycodes 8-255) */
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static void Pause(long ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    fprintf(stderr, "usage: x11_press_keys WINDOW HOLD_MS FIRST [LAST]\n");
    return 2;
  }
  Window window = (Window)strtoul(argv[1], NULL, 0);
  long hold = strtol(argv[2], NULL, 10);
  long first = strtol(argv[3], NULL, 10);
  long last = argc == 5 ? strtol(argv[4], NULL, 10) : first;
  if (!window || hold < 0 || first < 8 || last > 255 || first > last) {
    fprintf(stderr, "x11_press_keys: a window id, a hold time and keycodes 8-255\n");
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "x11_press_keys: cannot open the display\n");
    return 1;
  }
  int event, error, major, minor;
  if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
    fprintf(stderr, "x11_press_keys: no XTest extension\n");
    return 1;
  }
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  for (long code = first; code <= last; ++code) XTestFakeKeyEvent(display, (unsigned)code, True, 0);
  XSync(display, False);
  Pause(hold);
  for (long code = first; code <= last; ++code) XTestFakeKeyEvent(display, (unsigned)code, False, 0);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
