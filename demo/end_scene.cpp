#include "demo/end_scene.h"

#include "platform/frame_timer.h"
#include "demo/credits_scene.h"
#include "render/chrome_logo.h"
#include "render/screen_quads.h"

uint64_t g_endStartMs;
int g_endStartSet;

void ResetEndScene() {
  g_endStartMs = 0;
  g_endStartSet = 0;
}

enum { kEndLogoFadeMs = 1200 };

// The end logo's opacity u ms into the end scene; drawn only while u <= 1200:
// 1/1200 a millisecond, so at 1200 ms the value lands just below 0.
static float EndLogoAlpha(uint64_t u) { return float(1.0 - double(u) * double(0.00083333335f)); }

// The stamp taken at the first frame, the spin kept going while the logo
// shows; returns u, the ms into the scene.
static uint64_t AdvanceEnd() {
  uint64_t elapsed = g_timer.ElapsedMs();
  if (!g_endStartSet) {
    g_endStartMs = elapsed;
    g_endStartSet = 1;
  }
  uint64_t u = elapsed - g_endStartMs;
  if (u <= kEndLogoFadeMs) StartChromeSpin();
  return u;
}

void StepEndScene(GLWindow*, const SceneEntry&) { AdvanceEnd(); }

void EndScene(GLWindow* window, const SceneEntry& scene) {
  uint64_t u = AdvanceEnd();
  DrawBackground(window, scene.backgroundSlot);
  if (u > kEndLogoFadeMs) return;
  DrawCornerChromeLogo(0, EndLogoAlpha(u));
}
