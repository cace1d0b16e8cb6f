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

void DrawBackground(GLWindow* window, int slot);
void DrawSprite(GLWindow* window, int slot, double x, double y, double width, double height,
                double contentWidth, double contentHeight, float alpha);
void DrawFlash(GLWindow* window, int64_t flashMs);
