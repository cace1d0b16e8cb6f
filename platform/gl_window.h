// The program's one window with its OpenGL context, and the message loop that
// renders one paced frame whenever no event is pending.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

class GLWindow;
typedef void (*FrameCallback)(GLWindow* window);
typedef void (*KeyCallback)(int pressed, uint32_t keyCode, GLWindow* window);

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

// Multisample count asked for by default: on a hardware renderer; a software
// renderer gets none (it would not hold the frame rate).
enum { DefaultSamples = 4 };

// The launch-time choices beside Create's own arguments, handed to the window
// before Create. Zero is each one's default: the renderer's multisampling,
// vsync where the driver lets us, a mode switch for fullscreen, a letterbox.
struct WindowOptions {
  int samples = 0;  // multisamples: 0 DefaultSamples on hardware only, -1 none, N > 0 N
  int noVsync = 0;  // never wait for the display
  int desktop = 0;  // fullscreen at the desktop's resolution instead of a mode switch
  int stretch = 0;  // fill the drawable instead of a letterboxed 4:3 picture
  // A window of this size instead of Create's (the capture's chosen size),
  // the show's picture fitted into it; 0 for Create's own.
  int drawableWidth = 0, drawableHeight = 0;
  // The picture may later grow to twice the show's size (a page on a large
  // screen): the large pictures are worth loading whatever the first size.
  int largeScreen = 0;
};

class GLWindow {
 public:
  GLWindow();
  void SetOptions(const WindowOptions& options) { this->options = options; }
  int Create(uint16_t width, uint16_t height, uint8_t colorBits, int fullscreen,
             FrameCallback frameCallback, int framesPerSecond, const char* title);
  void Destroy();
  // The display went away: nothing on it can be released, so the window and
  // context are forgotten and Destroy touches nothing of them.
  void Abandon();
  void Resize();
  int Run();
  void SetKeyCallback(KeyCallback callback);
  int SetTitle(const char* text);
  // The client size the show draws in. Where the picture is fitted to a
  // larger drawable (desktop fullscreen, the page, a capture's size) it stays
  // the size Create was given, and the viewport maps it to the drawable.
  uint16_t GetWidth() const { return width; }
  uint16_t GetHeight() const { return height; }
  // 2 when the picture is drawn at twice the show's size or more (or may
  // grow to it), so pictures drawn at twice the size are sharper; else 1.
  int GetPictureScale() const;
  // What Create found: the multisamples of the pixel format in use.
  int GetGrantedSamples() const { return grantedSamples; }
  // Handles one window event; returns 1 when it was one of ours.
  int WndProc(const SDL_Event& event);

  FrameCallback frameCallback;
  KeyCallback keyCallback;
  uint16_t framePeriodMs;  // 1000 / frames per second
  uint16_t width;          // client width in pixels
  uint16_t height;         // client height in pixels
  uint8_t colorBits;
  uint8_t keyDown[256];  // indexed by the virtual-key code
  int active;            // frames are rendered only while non-zero
  int fullscreen;
  int projectionMode;  // 2 orthographic, 3 perspective
  SDL_Window* sdlWindow;
  SDL_GLContext glContext;

 private:
  // Why opening the window failed, and whether Create must run Destroy
  // before it reports it (the rendering-context steps).
  struct OpenFailure {
    const char* message;
    int destroy;
  };
  int OpenPixelFormat(const char* title, int sampleCount, OpenFailure* failure);
  int OpenContext(const char* title, OpenFailure* failure);
  void ClosePixelFormat();
  int OpenFailed(const OpenFailure& failure);
  void TakeContext();
  int SwitchToFullscreen();
  void TakeDrawableSize(int drawableWidth, int drawableHeight);

  WindowOptions options;
  int videoStarted;    // SDL's video subsystem is ours to release
  int grantedSamples;
  int viewX, viewY;  // the viewport's corner in the drawable (letterbox bars)
  int viewWidth, viewHeight;         // the picture's size in the drawable
  uint16_t designWidth, designHeight;  // the size Create was given
  uint8_t heldBeforeFocus[256];  // down as focus first came; counts once released
  int hadFocus;
};

extern GLWindow* g_window;
