#include "demo/credits_scene.h"

#include <GL/gl.h>

#include "assets/textures.h"
#include "render/chrome_logo.h"
#include "render/screen_quads.h"

// Where the chrome logo's camera stands: the logo sits right of and below centre.
static const double kLogoEyeZ = 7.0, kLogoEyeX = -2.3, kLogoEyeY = 1.8;

void DrawCornerChromeLogo(int spinning, float alpha) {
  glClear(GL_DEPTH_BUFFER_BIT);
  DrawChromeLogo(kLogoEyeZ, kLogoEyeX, kLogoEyeY, spinning, alpha);
}

void CreditsScene(GLWindow* window, const SceneEntry& scene) {
  DrawBackground(window, scene.backgroundSlot);
  DrawSprite(window, scene.spriteSlot, SpritePlacement());
  DrawCornerChromeLogo(1, 1.0f);
}

void StepCredits(GLWindow*, const SceneEntry&) { StartChromeSpin(); }
