// The program's one window with its OpenGL context, and the message loop that
// renders one paced frame whenever no event is pending.
#pragma once
#include <SDL2/SDL.h>

#include <cstdint>

class GLWindow;
typedef void (*FrameCallback)(GLWindow* window);
typedef void (*KeyCallback)(int pressed, uint32_t keyCode, GLWindow* window);

enum { KeyEscape = 27 };

class GLWindow {
 public:
  GLWindow();
  int Create(uint16_t width, uint16_t height, uint8_t colorBits, int fullscreen,
             FrameCallback frameCallback, int framesPerSecond, const char* title);
  void Destroy();
  void Resize();
  int Run();
  void SetKeyCallback(KeyCallback callback);
  int SetTitle(const char* text);
  uint16_t GetWidth() const { return width; }
  uint16_t GetHeight() const { return height; }
  // Handles one window event; returns 1 when it was one of ours.
  int WndProc(const SDL_Event& event);

  FrameCallback frameCallback;
  KeyCallback keyCallback;
  uint16_t framePeriodMs;  // 1000 / frames per second
  uint16_t width;          // client width in pixels
  uint16_t height;         // client height in pixels
  uint8_t colorBits;
  uint8_t keyDown[256];  // indexed by the low 8 bits of the key code
  int active;            // frames are rendered only while non-zero
  int fullscreen;
  int projectionMode;  // 2 orthographic, 3 perspective
  SDL_Window* sdlWindow;
  SDL_GLContext glContext;
  int videoStarted;  // SDL's video subsystem is ours to release
};

extern GLWindow* g_window;
