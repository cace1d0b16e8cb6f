// The program's one window with its OpenGL context, and the message loop that
// renders one paced frame whenever no event is pending.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

class GLWindow;
typedef void (*FrameCallback)(GLWindow* window);

enum { KeyEscape = 27 };

// Where the show's viewport sits in a drawable: the whole of it, or the
// largest centred 4:3 part with black bars beside or above and below it.
struct ViewRect {
  int x, y, width, height;
};
ViewRect FitViewport(int drawableWidth, int drawableHeight, int letterbox);

// Makes the fullscreen switch; 0 on success, as SDL_SetWindowFullscreen.
// Tests replace it to make the switch fail.
typedef int (*FullscreenSwitch)(SDL_Window* window, Uint32 flags);
extern FullscreenSwitch g_fullscreenSwitch;

enum FullscreenMode {
  NotFullscreen,        // a window of the design size the user may resize
  FullscreenModeSwitch,  // the display switched to the design size
  FullscreenDesktop,    // the desktop's own resolution, the 4:3 picture letterboxed
  FullscreenStretched,  // the desktop's own resolution, the picture filling it
};

// Multisample count asked for by ChooseSamples on a hardware renderer; a
// software renderer gets none (it would not hold the frame rate).
enum { DefaultSamples = 4, ChooseSamples = -1 };

// Everything Create needs, given once. Zero is each field's default but the
// design size's, the frame rate's and the title's.
struct WindowDesc {
  uint16_t width = 640, height = 480;  // the show's design size
  int framesPerSecond = 100;
  const char* title = "Orvi";
  FullscreenMode fullscreen = NotFullscreen;
  int samples = 0;  // multisamples: 0 none, N > 0 N, ChooseSamples as DefaultSamples says
  int noVsync = 0;  // never wait for the display
  // A desktop of this size instead of the display's (a capture's frame): the
  // window is made that size and the picture fitted into it as a desktop
  // mode says, with nothing switched; 0 for none.
  int desktopWidth = 0, desktopHeight = 0;
  // The picture may later grow to twice the show's size (a page on a large
  // screen): the large pictures are worth loading whatever the first size.
  int largeScreen = 0;
  FrameCallback frameCallback = nullptr;  // draws one frame; called by the loop
};

class GLWindow {
 public:
  GLWindow();
  int Create(const WindowDesc& desc);
  void Destroy();
  // The display went away: nothing on it can be released, so the window and
  // context are forgotten and Destroy touches nothing of them.
  void Abandon();
  int Run();
  int SetTitle(const char* text);
  // Handles one window event; returns 1 when it was one of ours.
  int HandleEvent(const SDL_Event& event);
  // The description's frame callback on this window.
  void CallFrameCallback() { frameCallback(this); }
  void SwapBuffers();
  // Whether a key (by its virtual-key code) is held down now.
  int KeyHeld(int code) const { return code >= 0 && code < 256 && keyDown[code]; }
  // The client size the show draws in. Where the picture is fitted to a
  // larger drawable (desktop fullscreen, the page, a capture's size) it stays
  // the design size, and the viewport maps it to the drawable.
  uint16_t GetWidth() const { return width; }
  uint16_t GetHeight() const { return height; }
  // 2 when the picture is drawn at twice the show's size or more (or may
  // grow to it), so pictures drawn at twice the size are sharper; else 1.
  int GetPictureScale() const;
  // What Create found: the multisamples of the pixel format in use.
  int GetGrantedSamples() const { return grantedSamples; }

 private:
  // Why opening the window failed, and whether Create must run Destroy
  // before it reports it (the rendering-context steps).
  struct OpenFailure {
    const char* message;
    int destroy;
  };
  int MakeWindowAndContext(int sampleCount, OpenFailure* failure);
  int MakeWindowWithSamples(OpenFailure* failure);
  void CloseWindowAndContext();
  int OpenFailed(const OpenFailure& failure);
  void TakeContext();
  int SwitchToFullscreen();
  int FallBackToWindow(OpenFailure* failure);
  void TakeDrawableSize(int drawableWidth, int drawableHeight);
  void Resize();

  WindowDesc desc;
  FrameCallback frameCallback;
  uint16_t framePeriodMs;  // 1000 / frames per second
  uint16_t width;          // client width in pixels
  uint16_t height;         // client height in pixels
  uint8_t keyDown[256];    // indexed by the virtual-key code
  int active;              // frames are rendered only while non-zero
  FullscreenMode mode;     // as asked, until a fallback makes it a window
  int fullscreen;          // the display is (to be) switched for the window
  SDL_Window* sdlWindow;
  SDL_GLContext glContext;
  int videoStarted;    // SDL's video subsystem is ours to release
  int grantedSamples;
  int viewX, viewY;  // the viewport's corner in the drawable (letterbox bars)
  int viewWidth, viewHeight;         // the picture's size in the drawable
  uint16_t designWidth, designHeight;  // the size Create was given
  uint8_t heldBeforeFocus[256];  // down as focus first came; counts once released
  int hadFocus;
};

extern GLWindow* g_window;
