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

// Where a lettering picture (title, greetings, credits) goes: its quad's
// bottom-left corner in window pixels, not scaled, and its size in a 640x480
// reference window, scaled to the window; its opacity.
struct SpritePlacement {
  double x = 0, y = 0;
  double width = 512, height = 256;  // the texture's own size unless it grows or shrinks
  float alpha = 1.0f;
};

void DrawBackground(GLWindow* window, int slot);
// The beat pulse scales the quad about the centre of the lettering it holds
// (the texture's lower-left kLetteringWidth x kLetteringHeight pixels), so the
// words throb about their own middle.
void DrawSprite(GLWindow* window, int slot, const SpritePlacement& place);
void DrawFlash(GLWindow* window, int64_t flashMs);
