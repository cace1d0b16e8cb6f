// Axis-aligned quads in window pixels (origin bottom-left, y up), each drawn
// inside its own temporary orthographic projection at depth 0.0.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"

// Beat-pulse scales, 1.0 at rest; written only by the sequencer.
extern float g_backgroundPulse;
extern float g_spritePulse;
// 1: every flash is drawn as a faint glow, the show for viewers who asked for
// less flashing; set at start-up from the launch settings, read by DrawFlash.
extern int g_reduceFlashing;

struct QuadRect {
  double x0, y0, x1, y1;
};

// A 1024x512 picture anchored at the bottom-left corner (one texel per pixel in
// a 640x480 window), scaled about the window centre by the pulse.
QuadRect BackgroundRect(double windowWidth, double windowHeight, float pulse);
// Size in a 640x480 reference frame, position unscaled; the pulse scales about
// the centre of the content (the lettering) in the sprite's lower-left corner.
QuadRect SpriteRect(double windowWidth, double windowHeight, double x, double y, double width,
                    double height, double contentWidth, double contentHeight, float pulse);

void DrawBackground(GLWindow* window, int slot);
void DrawSprite(GLWindow* window, int slot, double x, double y, double width, double height,
                double contentWidth, double contentHeight, float alpha);
void DrawFlash(GLWindow* window, int64_t flashMs);
