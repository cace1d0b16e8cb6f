#include "render/screen_quads.h"

#include <GL/gl.h>

#include "assets/textures.h"
#include "render/vector3.h"

float g_backgroundPulse = 1.0f;
float g_spritePulse = 1.0f;
int g_reduceFlashing = 0;

// The reduced flash's peak opacity. White at 15 % over any colour moves no
// pixel's relative luminance by 0.1 (at most 0.078, over mid-grey) nor a
// saturated red's (R - G - B) x 320 by 20 (at most 13): no flash, by the
// photosensitivity guidelines' thresholds, whatever the scene under it.
static const float kReducedFlashPeak = 0.15f;

struct QuadRect {
  double x0, y0, x1, y1;
};

// A 1024x512 picture anchored at the bottom-left corner (one texel per pixel in
// a 640x480 window), scaled about the window centre by the pulse.
static QuadRect BackgroundRect(double W, double H, float pulse) {
  QuadRect r = {0, 0, W * 1.6, H * 1.0666666666666667};  // 1024/640, 512/480
  if (pulse != 1.0f) {
    double s = pulse, cx = W * 0.5, cy = H * 0.5;
    r.x0 = cx - s * cx;
    r.y0 = cy - s * cy;
    r.x1 = cx + s * (r.x1 - cx);
    r.y1 = cy + s * (r.y1 - cy);
  }
  return r;
}

// Size in a 640x480 reference frame, position unscaled; the pulse scales about
// the centre of the content (the lettering) in the sprite's lower-left corner.
static QuadRect SpriteRect(double W, double H, double x, double y, double width, double height,
                    double contentWidth, double contentHeight, float pulse) {
  // 1/640 and 1/480: sizes are given in the 640x480 reference frame.
  QuadRect r = {x, y, x + W * width * 0.0015625, y + H * height * 0.0020833333333333333};
  if (pulse != 1.0f) {
    double s = pulse, hw = contentWidth * 0.5, hh = contentHeight * 0.5;
    r.x1 = x + hw + s * (r.x1 - x - hw);
    r.x0 = x + hw - s * hw;
    r.y1 = y + hh + s * (r.y1 - y - hh);
    r.y0 = y + hh - s * hh;
  }
  return r;
}

// Opacity of the scene-change flash at age t ms: 0 at 0, 1 at 85, 0 at 170.
static float FlashAlpha(int64_t flashMs) { return SinDeg(float(flashMs) * 180.0f * 0.005882353f); }

static void BeginScreenSpace(double W, double H) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, W, 0, H, 0, 100);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

static void EndScreenSpace() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

// The picture's first row (t = 0) lies at the top edge.
static void TexturedQuad(const QuadRect& r) {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex2d(r.x0, r.y0);
  glTexCoord2f(1, 1);
  glVertex2d(r.x1, r.y0);
  glTexCoord2f(1, 0);
  glVertex2d(r.x1, r.y1);
  glTexCoord2f(0, 0);
  glVertex2d(r.x0, r.y1);
  glEnd();
}

void DrawBackground(GLWindow* window, int slot) {
  double W = window->GetWidth(), H = window->GetHeight();
  QuadRect r = BackgroundRect(W, H, g_backgroundPulse);
  BeginScreenSpace(W, H);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glPushMatrix();
  glColor4f(1, 1, 1, 1);
  glBindTexture(GL_TEXTURE_2D, g_textureNames[slot]);
  TexturedQuad(r);
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
  EndScreenSpace();
  // So 3D drawing that follows lands on top of the picture.
  glClear(GL_DEPTH_BUFFER_BIT);
}

void DrawSprite(GLWindow* window, int slot, const SpritePlacement& place) {
  double W = window->GetWidth(), H = window->GetHeight();
  QuadRect r = SpriteRect(W, H, place.x, place.y, place.width, place.height, kLetteringWidth,
                          kLetteringHeight, g_spritePulse);
  BeginScreenSpace(W, H);
  glDisable(GL_LIGHTING);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glPushMatrix();
  glColor4f(1, 1, 1, place.alpha);
  glBindTexture(GL_TEXTURE_2D, g_textureNames[slot]);
  TexturedQuad(r);
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glPopMatrix();
  EndScreenSpace();
}

void DrawFlash(GLWindow* window, int64_t flashMs) {
  double W = window->GetWidth(), H = window->GetHeight();
  glEnable(GL_BLEND);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, W, 0, H, 0, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();  // not saved: the flash is the last thing drawn in a frame
  float alpha = FlashAlpha(flashMs);
  if (g_reduceFlashing) alpha *= kReducedFlashPeak;
  glColor4f(1, 1, 1, alpha);
  glBegin(GL_QUADS);
  glVertex2d(0, 0);
  glVertex2d(W, 0);
  glVertex2d(W, H);
  glVertex2d(0, H);
  glEnd();
  EndScreenSpace();
  glDisable(GL_BLEND);
}
