#include "demo/picture_scenes.h"

#include <GL/gl.h>

#include "platform/frame_timer.h"
#include "demo/sequencer.h"
#include "render/chrome_logo.h"
#include "render/screen_quads.h"

uint64_t g_endStartMs;
int g_endStartSet;

void ResetPictureScenes() {
  g_endStartMs = 0;
  g_endStartSet = 0;
}

enum { kZmbSlot = 12, kQvtSlot = 13, kEndLogoFadeMs = 1200 };

// Where the chrome logo's camera stands: the logo sits right of and below centre.
static const double kLogoEyeZ = 7.0, kLogoEyeX = -2.3, kLogoEyeY = 1.8;

void PictureScene(GLWindow* window) {
  // Positions are window pixels; only the sizes follow the window.
  if (g_showZmbPicture) DrawSprite(window, kZmbSlot, 0, 216, 512, 256, 293, 65, 1.0f);
  if (g_showQvtPicture) DrawSprite(window, kQvtSlot, 270, 136, 512, 256, 293, 65, 1.0f);
}

void CreditsScene(GLWindow* window, int backgroundSlot, int creditsSlot) {
  DrawBackground(window, backgroundSlot);
  DrawSprite(window, creditsSlot, 0, 0, 512, 256, 293, 65, 1.0f);
  glClear(GL_DEPTH_BUFFER_BIT);
  DrawChromeLogo(kLogoEyeZ, kLogoEyeX, kLogoEyeY, 1, 1.0f);
}

// 1/1200 a millisecond; at 1200 ms the value lands just below 0.
float EndLogoAlpha(uint64_t u) { return float(1.0 - double(u) * double(0.00083333335f)); }

uint64_t StepEndScene() {
  uint64_t elapsed = g_timer.ElapsedMs();
  if (!g_endStartSet) {
    g_endStartMs = elapsed;
    g_endStartSet = 1;
  }
  uint64_t u = elapsed - g_endStartMs;
  if (u <= kEndLogoFadeMs) StartChromeSpin();
  return u;
}

void EndScene(GLWindow* window, int backgroundSlot) {
  uint64_t u = StepEndScene();
  DrawBackground(window, backgroundSlot);
  if (u > kEndLogoFadeMs) return;
  glClear(GL_DEPTH_BUFFER_BIT);
  DrawChromeLogo(kLogoEyeZ, kLogoEyeX, kLogoEyeY, 0, EndLogoAlpha(u));
}
