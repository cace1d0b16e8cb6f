#include "platform/gl_window.h"

#include <GL/gl.h>
#include <GL/glu.h>

// Windows' headers stop at OpenGL 1.1; multisampling came in 1.3.
#ifndef GL_MULTISAMPLE
#define GL_MULTISAMPLE 0x809D
#endif
#ifndef GL_SAMPLES
#define GL_SAMPLES 0x80A9
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/frame_body.h"
#include "platform/frame_timer.h"
#include "platform/key_map.h"
#include "platform/message_box.h"
#include "platform/quit_signals.h"
#include "platform/video_start.h"

GLWindow* g_window = nullptr;

static void ClearTheShownWindow() {
  if (g_window) g_window->ShowCleared();
}

static const char* const kErrorCaption = "Orvi - ERROR";

static int CreateFailure(const char* text) {
  ShowMessage(MessageWarning, kErrorCaption, text);
  return 0;
}

// The page is the desktop: its canvas already fills what the page gives
// it, and a page may not switch to fullscreen by itself; the window stays as
// made and its drawable is fitted as on a desktop.
#ifdef __EMSCRIPTEN__
static const int kPageIsTheDesktop = 1;
#else
static const int kPageIsTheDesktop = 0;
#endif

static int IsDesktop(FullscreenMode mode) {
  return mode == FullscreenDesktop || mode == FullscreenStretched;
}

static int HasDesktopSize(const WindowDesc& desc) {
  return desc.desktopWidth > 0 && desc.desktopHeight > 0;
}

GLWindow::GLWindow() {
  frameCallback = nullptr;
  framePeriodMs = 0;
  width = 0;
  height = 0;
  std::memset(keyDown, 0, sizeof keyDown);
  std::memset(heldBeforeFocus, 0, sizeof heldBeforeFocus);
  hadFocus = 0;
  active = 0;
  mode = NotFullscreen;
  fullscreen = 0;
  sdlWindow = nullptr;
  glContext = nullptr;
  videoStarted = 0;
  grantedSamples = 0;
  viewX = 0;
  viewY = 0;
  viewWidth = 0;
  viewHeight = 0;
  designWidth = 0;
  designHeight = 0;
  g_window = this;
  OnBoxClosed(ClearTheShownWindow);
}

// The display must offer exactly the requested size with 32-bit pixels; SDL's
// closest mode is another size when it does not.
static int FindFullscreenMode(uint16_t width, uint16_t height, SDL_DisplayMode* mode) {
  SDL_DisplayMode wanted = {};
  wanted.w = width;
  wanted.h = height;
  if (!SDL_GetClosestDisplayMode(0, &wanted, mode)) return 0;
  return mode->w == width && mode->h == height && SDL_BYTESPERPIXEL(mode->format) == 4;
}

FullscreenSwitch g_fullscreenSwitch = SDL_SetWindowFullscreen;

ViewRect FitViewport(int drawableWidth, int drawableHeight, int letterbox) {
  ViewRect r = {0, 0, drawableWidth, drawableHeight};
  if (!letterbox || drawableWidth <= 0 || drawableHeight <= 0) return r;
  // At least a pixel either way: a drawable of 1x1 still shows the picture.
  if (int64_t(drawableWidth) * 3 > int64_t(drawableHeight) * 4) {
    r.width = std::max(1, int(int64_t(drawableHeight) * 4 / 3));  // bars left and right
    r.x = (drawableWidth - r.width) / 2;
  } else {
    r.height = std::max(1, int(int64_t(drawableWidth) * 3 / 4));  // bars above and below
    r.y = (drawableHeight - r.height) / 2;
  }
  return r;
}

static int IsSoftwareRenderer() {
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (!renderer) return 1;
  return std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe") ||
         std::strstr(renderer, "Software");
}

// Double-buffered 32-bit RGBA and a 16-bit depth buffer, in a compatibility
// context (the show draws in immediate mode), with sampleCount multisamples.
// Returns 1 with the window and context made, or 0 with nothing left over
// and what the step that failed asks of Create.
int GLWindow::MakeWindowAndContext(int sampleCount, OpenFailure* failure) {
  if (SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, sampleCount > 0 ? 1 : 0) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, sampleCount > 0 ? sampleCount : 0) != 0 ||
      SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY) != 0) {
    *failure = {"Cannot find a suitable pixel format.", 0};
    return 0;
  }
  // Created hidden: the fullscreen switch comes once it shows, where its
  // result is checked. On the desktop the window is made borderless over the
  // whole display, so it covers the screen also where no window manager
  // carries the switch out. Only on the desktop (or the page), where the
  // picture is fitted to what there is, may the drawable be larger than the
  // window: a plain window's client size is its drawable's.
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int x = SDL_WINDOWPOS_UNDEFINED, y = SDL_WINDOWPOS_UNDEFINED, w = width, h = height;
  SDL_Rect bounds;
  if (IsDesktop(mode) && !HasDesktopSize(desc)) flags |= SDL_WINDOW_ALLOW_HIGHDPI;
  if (HasDesktopSize(desc)) {
    w = desc.desktopWidth;
    h = desc.desktopHeight;
  } else if (!fullscreen) {
    flags |= SDL_WINDOW_RESIZABLE;
  } else if (mode == FullscreenModeSwitch) {
    flags |= SDL_WINDOW_FULLSCREEN;
    x = y = 0;
  } else if (SDL_GetDisplayBounds(0, &bounds) == 0) {
    flags |= SDL_WINDOW_BORDERLESS;
    x = bounds.x;
    y = bounds.y;
    w = bounds.w;
    h = bounds.h;
  }
  sdlWindow = SDL_CreateWindow(desc.title, x, y, w, h, flags);
  if (!sdlWindow) {
    *failure = {"Cannot create window!", 0};
    return 0;
  }
  glContext = SDL_GL_CreateContext(sdlWindow);
  if (!glContext) {
    *failure = {"Cannot create a GL Rendering Context.", 1};
    CloseWindowAndContext();
    return 0;
  }
  if (SDL_GL_MakeCurrent(sdlWindow, glContext) != 0) {
    *failure = {"Cannot activate the GL Rendering Context.", 1};
    CloseWindowAndContext();
    return 0;
  }
  return 1;
}

int GLWindow::OpenFailed(const OpenFailure& failure) {
  std::fprintf(stderr, "%s: %s\n", g_programName, SDL_GetError());
  if (failure.destroy) Destroy();
  return CreateFailure(failure.message);
}

// What the new context gives: its multisamples, switched on, and its swap
// interval. Adaptive vsync tears only a late frame; plain vsync otherwise.
// The pacer still caps the rate at its period on faster displays.
void GLWindow::TakeContext() {
  grantedSamples = 0;
  glGetIntegerv(GL_SAMPLES, &grantedSamples);
  if (grantedSamples > 0) glEnable(GL_MULTISAMPLE);
  if (desc.noVsync || (SDL_GL_SetSwapInterval(-1) != 0 && SDL_GL_SetSwapInterval(1) != 0))
    SDL_GL_SetSwapInterval(0);
}

void GLWindow::CloseWindowAndContext() {
  if (glContext) {
    SDL_GL_MakeCurrent(sdlWindow, nullptr);
    SDL_GL_DeleteContext(glContext);
    glContext = nullptr;
  }
  if (sdlWindow) {
    SDL_DestroyWindow(sdlWindow);
    sdlWindow = nullptr;
  }
}

// The switch itself, checked: SDL's answer, and for a mode switch the mode
// the display really runs in afterwards.
int GLWindow::SwitchToFullscreen() {
  const int desktop = IsDesktop(mode);
  Uint32 flag = desktop ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
  if (g_fullscreenSwitch(sdlWindow, flag) != 0) return 0;
  if ((SDL_GetWindowFlags(sdlWindow) & flag) != flag) return 0;
  int display = SDL_GetWindowDisplayIndex(sdlWindow);
  if (display < 0) return 0;
  if (desktop) {
    SDL_Rect bounds;
    int w = 0, h = 0;
    SDL_GetWindowSize(sdlWindow, &w, &h);
    return SDL_GetDisplayBounds(display, &bounds) == 0 && w == bounds.w && h == bounds.h;
  }
  SDL_DisplayMode now = {};
  if (SDL_GetCurrentDisplayMode(display, &now) != 0) return 0;
  return now.w == width && now.h == height;
}

// Where we chose the drawable's size (the desktop's, the page's, a capture's),
// the show keeps its own client size and its picture is scaled to fit, so
// everything placed in window pixels scales with the rest. A window the user
// resizes gives the show the new size itself, as it always has.
void GLWindow::TakeDrawableSize(int drawableWidth, int drawableHeight) {
  const int fitted = IsDesktop(mode) || HasDesktopSize(desc);
  ViewRect view = FitViewport(drawableWidth, drawableHeight, fitted && mode != FullscreenStretched);
  viewX = view.x;
  viewY = view.y;
  viewWidth = view.width;
  viewHeight = view.height;
  width = fitted ? designWidth : uint16_t(view.width);
  height = fitted ? designHeight : uint16_t(view.height);
}

int GLWindow::GetPictureScale() const {
  if (desc.largeScreen) return 2;
  return designWidth > 0 && viewWidth >= 2 * designWidth && viewHeight >= 2 * designHeight ? 2 : 1;
}

// The window and its context with the multisamples the description asks
// for, and the swap interval it asks for. Multisampling is a nicety: without
// a format for the count asked, take half as many, down to none.
int GLWindow::MakeWindowWithSamples(OpenFailure* failure) {
  const int choose = desc.samples == ChooseSamples;
  int wanted = choose ? DefaultSamples : desc.samples < 0 ? 0 : desc.samples;
  int opened = MakeWindowAndContext(wanted, failure);
  if (opened && choose && wanted > 0 && IsSoftwareRenderer()) {
    CloseWindowAndContext();
    opened = 0;
    wanted = 1;
  }
  while (!opened && wanted > 0) {
    wanted /= 2;
    opened = MakeWindowAndContext(wanted > 1 ? wanted : 0, failure);
  }
  if (!opened) return 0;
  TakeContext();
  return 1;
}

static int AskToFallBack() {
  return ShowMessage(MessageWarningYesNo, kErrorCaption,
                     "Cannot initialize fullscreen mode.\nFall back to windowed mode?") == 1;
}

// The switch failed: asked, the window is made anew as a plain one. One made
// for the desktop keeps a drawable larger than itself on a scaled display,
// and the window is centred and sized as any other.
int GLWindow::FallBackToWindow(OpenFailure* failure) {
  SDL_SetWindowFullscreen(sdlWindow, 0);
  if (!AskToFallBack()) return 0;
  fullscreen = 0;
  mode = NotFullscreen;
  CloseWindowAndContext();
  if (!MakeWindowWithSamples(failure)) return OpenFailed(*failure);
  SDL_ShowWindow(sdlWindow);
  return 1;
}

int GLWindow::Create(const WindowDesc& desc) {
  this->desc = desc;
  frameCallback = desc.frameCallback;
  mode = desc.fullscreen;
  fullscreen = mode != NotFullscreen && !kPageIsTheDesktop && !HasDesktopSize(desc);
  framePeriodMs = uint16_t(1000 / desc.framesPerSecond);
  width = designWidth = viewWidth = desc.width;
  height = designHeight = viewHeight = desc.height;
  active = 1;

  if (!StartVideo())
    return CreateFailure("Cannot start application!\nFailed To Register The Window Class.");
  videoStarted = 1;
  SDL_DisableScreenSaver();

  SDL_DisplayMode displayMode = {};
  if (fullscreen && mode == FullscreenModeSwitch &&
      !FindFullscreenMode(width, height, &displayMode)) {
    if (!AskToFallBack()) return 0;
    fullscreen = 0;
    mode = NotFullscreen;
  }

  if (SDL_GL_LoadLibrary(nullptr) != 0) {
    std::fprintf(stderr, "%s: SDL_GL_LoadLibrary: %s\n", g_programName, SDL_GetError());
    return CreateFailure("Cannot create GL Device Context.");
  }

  OpenFailure failure = {nullptr, 0};
  if (!MakeWindowWithSamples(&failure)) return OpenFailed(failure);

  if (fullscreen && mode == FullscreenModeSwitch) SDL_SetWindowDisplayMode(sdlWindow, &displayMode);
  SDL_ShowWindow(sdlWindow);
  if (fullscreen && !SwitchToFullscreen() && !FallBackToWindow(&failure)) return 0;
  if (fullscreen) SDL_ShowCursor(SDL_DISABLE);
  SDL_RaiseWindow(sdlWindow);

  int drawableWidth = 0, drawableHeight = 0;
  SDL_GL_GetDrawableSize(sdlWindow, &drawableWidth, &drawableHeight);
  if (drawableWidth > 0 && drawableHeight > 0) TakeDrawableSize(drawableWidth, drawableHeight);
  Resize();
  return 1;
}

// The projection every frame starts from: perspective, 45 degrees.
void GLWindow::Resize() {
  if (height == 0) height = 1;
  if (width == 0) width = 1;
  glViewport(viewX, viewY, viewWidth > 0 ? viewWidth : 1, viewHeight > 0 ? viewHeight : 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, double(width) / double(height), 0.1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// A key down as the window first takes focus was pressed before it was
// there (Escape held to answer the question): its press and repeats reach the
// window all the same. It counts once pressed anew.
static void SetAsideKeysHeld(uint8_t* heldBeforeFocus, uint8_t* keyDown) {
  int count = 0;
  const Uint8* state = SDL_GetKeyboardState(&count);
  for (int scancode = 0; scancode < count; ++scancode) {
    if (!state[scancode]) continue;
    int code = VirtualKeyCode(SDL_GetKeyFromScancode(SDL_Scancode(scancode)));
    if (code < 0) continue;
    heldBeforeFocus[code] = 1;
    keyDown[code] = 0;
  }
}

int GLWindow::HandleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED: {
          // A restore after minimising need not change SDL's idea of the
          // size, so it brings no size event of its own: take the size anew.
          int w = event.window.data1, h = event.window.data2;
          if (sdlWindow) SDL_GL_GetDrawableSize(sdlWindow, &w, &h);
          TakeDrawableSize(w, h);
          Resize();
          return 1;
        }
        case SDL_WINDOWEVENT_MINIMIZED:
          TakeDrawableSize(0, 0);
          Resize();
          return 1;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          // Later, SDL takes focus late (200 ms on X11) and reports a key
          // pressed meanwhile only then: such a key counts.
          if (!hadFocus) SetAsideKeysHeld(heldBeforeFocus, keyDown);
          hadFocus = 1;
          active = 1;
          return 1;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_FOCUS_LOST:
          // Rendering never pauses, whatever the activation state.
          active = 1;
          return 1;
        case SDL_WINDOWEVENT_CLOSE: {
          SDL_Event quit = {};
          quit.type = SDL_QUIT;
          SDL_PushEvent(&quit);
          return 1;
        }
      }
      return 0;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      int code = VirtualKeyCode(event.key.keysym.sym);
      if (code < 0) return 0;  // a key the show has no code for
      int pressed = event.type == SDL_KEYDOWN;
      if (heldBeforeFocus[code]) {
        if (!pressed) heldBeforeFocus[code] = 0;
        return 1;
      }
      keyDown[code] = uint8_t(pressed);
      return 1;
    }
  }
  return 0;
}

int GLWindow::Run() {
  for (;;) {
    SDL_Event event;
    if (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) return 0;
      HandleEvent(event);
      continue;
    }
    // A quit posted while draining is taken before the next frame, as the
    // system's own quit message would be.
    if (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_QUIT, SDL_QUIT) > 0) return 0;
    if (QuitRequested()) return 0;
    if (!active) continue;
    if (keyDown[KeyEscape]) return 0;
    g_timer.Arm(framePeriodMs);
    DrawFrameBody(this);
    SwapBuffers();
    g_timer.Wait();
  }
}

void GLWindow::Destroy() {
  if (fullscreen) {
    // Puts the desktop's own mode back after a mode switch.
    if (sdlWindow) SDL_SetWindowFullscreen(sdlWindow, 0);
    SDL_ShowCursor(SDL_ENABLE);
  }
  CloseWindowAndContext();
  if (videoStarted) {
    // Create loaded the GL library: the video's shutdown alone keeps SDL's
    // hold on it (and with EGL, its display) for good.
    SDL_GL_UnloadLibrary();
    SDL_EnableScreenSaver();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoStarted = 0;
  }
  g_window = nullptr;
  OnBoxClosed(nullptr);
}

void GLWindow::Abandon() {
  sdlWindow = nullptr;
  glContext = nullptr;
  videoStarted = 0;
  fullscreen = 0;
}

void GLWindow::SwapBuffers() { SDL_GL_SwapWindow(sdlWindow); }

void GLWindow::ShowCleared() {
  if (!sdlWindow || !glContext || SDL_GL_GetCurrentContext() != glContext) return;
  glClear(GL_COLOR_BUFFER_BIT);
  SwapBuffers();
}

int GLWindow::SetTitle(const char* text) {
  if (!sdlWindow) return 0;
  SDL_SetWindowTitle(sdlWindow, text);
  return 1;
}
