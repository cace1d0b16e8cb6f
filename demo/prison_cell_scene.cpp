#include "demo/prison_cell_scene.h"

#include <GL/gl.h>

#include "platform/frame_timer.h"
#include "assets/mesh.h"
#include "assets/textures.h"
#include "render/screen_quads.h"
#include "render/toon_mesh.h"

static const Vector3 kPrisonLightStart = {0.5f, 0.6f, -0.5f};  // before normalising

uint64_t g_prisonTimeMs;
int g_prisonResetDone;
Vector3 g_prisonLight = kPrisonLightStart;

void ResetPrisonCell() {
  g_prisonTimeMs = 0;
  g_prisonResetDone = 0;
  g_prisonLight = kPrisonLightStart;
  Vector3Normalize(g_prisonLight);
}

// Variant 1's straight glide, in units per ms of scene time.
static const float kEyeXPerMs = 0.00014285714f;     // 1/7000: leftwards
static const float kEyeYPerMs = 0.000076923077f;    // 1/13000: upwards
static const float kEyeZPerMs = 0.000083333333f;    // 1/12000: inwards
static const float kCentreYPerMs = 0.000066666667f;  // 1/15000
static const float kCentreZPerMs = 0.0000625f;       // 1/16000

LookAt PrisonCellCamera(int variant, uint64_t T) {
  float t = float(T);
  if (variant == 1)
    return LookAt{{0.3f - t * kEyeXPerMs, 2.54f + t * kEyeYPerMs, 3.42f - t * kEyeZPerMs},
                  {0, 2.47f + t * kCentreYPerMs, -0.24f - t * kCentreZPerMs}};
  if (T <= 4500) return LookAt{{1.7f, 2.7f, -2.5f}, {4.7f + 3 * CosDeg(t * 0.04f), 2.4f, 0}};
  float a = float(T - 3500) * 0.02f;
  float b = float(T - 1800) * 0.06666667f;
  return LookAt{{0.103f + 1.7f * CosDeg(a), 2.7f, -2.5f},
                {-1.3f - 3 * CosDeg(b), 2.4f - float(T - 4500) * 0.0001f, 0}};
}

// Variant 2's light moves on a second straight leg once the eye's swing
// angle, 0.02 degrees a ms from T = 3500, reaches 42 degrees: at T = 5600 ms.
static const float kLightTurnDegrees = 42.0f;
enum { kLightTurnMs = 5600 };

// Overwrites the light's moving components for this frame and normalises it.
static void MovePrisonLight(int variant, uint64_t T, Vector3& light) {
  if (variant == 1) {
    light.x = 0.5f * CosDeg(float(T) * 0.016666668f);  // a turn in 21.6 s
  } else {
    if (T <= 4500) return;
    float a = float(T - 3500) * 0.02f;
    if (a < kLightTurnDegrees) {
      light.x = float(T - 4500) * 0.00029818184f - 0.326f;
      light.z = 0.676f + float(T - 4500) * 0.00014272728f;
    } else {
      float since = float(int64_t(T) - kLightTurnMs);
      light.x = 0.002f + since * 0.000349375f;
      light.z = 0.833f - since * 0.0002675f;
    }
  }
  Vector3Normalize(light);
}

static ShownSprite PrisonCellTitle(int variant, uint64_t T, int W, int H) {
  ShownSprite title;
  title.x = double(W - kLetteringWidth);
  title.y = double(H - kLetteringHeight);
  if (variant == 1) {
    if (T <= 1500) title.draw = 0;
    // Drops in from just above the top edge in 1200 ms.
    if (T > 1500 && T < 2700) title.y = H - float(T - 1500) * 0.00083333335f * kLetteringHeight;
    return title;
  }
  if (T <= 4300) return title;
  if (T > 5000) {
    title.draw = 0;
    return title;
  }
  // Leaves up and to the left while it stretches right and flattens, in 700 ms.
  uint64_t u = T - 4300;
  const float kPer700 = 0.0014285714f;      // 1/700 per ms: the exit's progress
  const float kStretchWidths = 2.7474403f;  // window widths the title grows by in the exit
  const int lw = kLetteringWidth, lh = kLetteringHeight;
  title.x = double(W - lw) - float(int64_t(W + lw) * int64_t(u)) * kPer700;
  title.y = double(H - lh) + float(lh * int64_t(u)) * kPer700;
  title.width = int(float(W) * kStretchWidths * float(u) * kPer700 + 512);
  title.height = int(256 - float(lh * int64_t(u)) * kPer700);
  return title;
}

// The scene's time and light moved on a frame; returns T.
static uint64_t AdvancePrison(int variant) {
  g_prisonTimeMs += g_timer.DeltaMs();
  if (variant == 2 && !g_prisonResetDone) {
    g_prisonResetDone = 1;
    g_prisonTimeMs = 0;
    g_prisonLight = Vector3{-0.326f, 0.661f, 0.676f};
    Vector3Normalize(g_prisonLight);
  }
  MovePrisonLight(variant, g_prisonTimeMs, g_prisonLight);
  return g_prisonTimeMs;
}

void StepPrisonCell(GLWindow*, const SceneEntry& scene) { AdvancePrison(scene.variant); }

void PrisonCellScene(GLWindow* window, const SceneEntry& scene) {
  const int variant = scene.variant;
  uint64_t T = AdvancePrison(variant);
  ApplyLookAt(PrisonCellCamera(variant, T));

  BeginToonBatch();
  glPushMatrix();
  // Captured before the turn: the bands fall as for the unturned room.
  float normalMatrix[16];
  CaptureNormalMatrix(normalMatrix);
  glRotatef(variant == 1 ? 105.0f : 0.0f, 0, 1, 0);
  DrawToonMesh(PrisonCellMesh(), g_textureNames[kPrisonRampSlot], g_prisonLight, normalMatrix);
  glPopMatrix();
  EndToonBatch();

  ShownSprite title = PrisonCellTitle(variant, T, window->GetWidth(), window->GetHeight());
  if (title.draw)
    DrawSprite(window, kTitleSlot, title);
}
