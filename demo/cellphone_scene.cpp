#include "demo/cellphone_scene.h"

#include <GL/gl.h>

#include "platform/frame_timer.h"
#include "assets/mesh.h"
#include "assets/textures.h"
#include "render/screen_quads.h"
#include "render/toon_mesh.h"

static const Vector3 kPhoneLightStart = {-0.1f, 0.16f, 0.44f};  // before normalising

uint64_t g_phoneTimeMs;
int32_t g_phoneNextReset;
Vector3 g_phoneOffset;
float g_phoneAngleX, g_phoneAngleY, g_phoneAngleZ;
Vector3 g_phoneLight = kPhoneLightStart;

void ResetCellphone() {
  g_phoneTimeMs = 0;
  g_phoneNextReset = 2;
  g_phoneOffset = Vector3{0, 0, 0};
  g_phoneAngleX = g_phoneAngleY = g_phoneAngleZ = 0;
  g_phoneLight = kPhoneLightStart;
  Vector3Normalize(g_phoneLight);
}

enum { kFallMs = 3600 };

uint64_t AdvancePhoneTime(int variant, uint64_t dt) {
  if (g_phoneNextReset == variant) {
    g_phoneNextReset += 1;
    g_phoneTimeMs = dt;
  } else {
    g_phoneTimeMs += dt;
  }
  if (variant == 4 && g_phoneTimeMs >= kFallMs) g_phoneTimeMs -= kFallMs;
  return g_phoneTimeMs;
}

LookAt CellphoneCamera(int variant, uint64_t T) {
  switch (variant) {
    case 1:
      return LookAt{{-0.1f, 0.16f, 0.44f}, {0, 0, 0}};
    case 2:
      return LookAt{{0, 0, 0.9 - double(0.00023f * float(T))}, {0, 0, 0}};
    case 3: {
      // A pan past the phone in its 3600 ms: rates in units per ms.
      const float kEyeXPerMs = 6.111111e-05f;      // 0.22 / 3600: from 0.11 to -0.11
      const float kEyeYPerMs = 2.2222222e-05f;     // 0.08 / 3600: from -0.14 to -0.06
      const float kEyeZDegPerMs = 0.045454547f;    // 1/22: the rise and fall, 7920 ms a period
      const float kCentreXPerMs = 1.1111111e-05f;  // 0.04 / 3600
      const float kCentreYPerMs = 2.7777778e-06f;  // 0.01 / 3600
      float t = float(T);
      return LookAt{{0.11f - kEyeXPerMs * t, kEyeYPerMs * t - 0.14f,
                     0.08f + 0.04f * SinDeg(t * kEyeZDegPerMs)},
                    {kCentreXPerMs * t - 0.02f, kCentreYPerMs * t + 0.02f, 0}};
    }
    default:
      return LookAt{{0, 0, 0.2}, {0, 0, 0}};
  }
}

// The phone's offset and angles for this frame.
void MovePhone(int variant, uint64_t T, uint64_t dtMs) {
  float t = float(T), dt = float(dtMs);
  switch (variant) {
    case 1:
      // Wobbles about the origin while it tumbles.
      g_phoneOffset = Vector3{CosDeg(t * 0.1f) * 0.17f, SinDeg(t * 0.133f) * 0.09f,
                              SinDeg(t * 0.113f) * 0.07f};
      g_phoneAngleX += 0.19f * dt;
      g_phoneAngleY += 0.06f * dt;
      g_phoneAngleZ += 0.06f * dt;
      break;
    case 2:
      // Spins about the viewing axis, carrying on from variant 1's z angle.
      g_phoneOffset = Vector3{0, 0, 0};
      g_phoneAngleX = 0;
      g_phoneAngleY = 0;
      g_phoneAngleZ += 0.06f * dt;
      break;
    case 3:
      g_phoneOffset = Vector3{0, 0, 0};
      g_phoneAngleX = g_phoneAngleY = g_phoneAngleZ = 0;
      break;
    default:
      // Falls away on a widening circle; x and y use the previous frame's depth.
      g_phoneOffset.x = CosDeg(t * 0.35f) * g_phoneOffset.z * 0.3f;
      g_phoneOffset.y = SinDeg(t * 0.35f) * g_phoneOffset.z * 0.3f;
      g_phoneOffset.z = float(double(t * t) * -3.3e-07);
      g_phoneAngleX += 0.342f * dt;
      g_phoneAngleY += 0.198f * dt;
      g_phoneAngleZ = 0;
  }
}

// Closed intervals of variant 4's blinking, ever shorter.
static const uint32_t kBlinkOn[10][2] = {{0, 300},     {600, 900},   {1200, 1400}, {1600, 1800},
                                         {2000, 2100}, {2200, 2300}, {2400, 2450}, {2500, 2550},
                                         {2600, 2625}, {2650, 2675}};

ShownSprite CellphoneTitle(int variant, uint64_t T) {
  ShownSprite title;
  // A T beyond 32 bits counts as larger than every bound.
  const uint64_t t = T >> 32 ? UINT64_MAX : T;
  if (variant == 1) {
    if (t <= 2500) {
      title.draw = 0;
    } else if (t < 3000) {
      // Opens out from the lettering's centre (146.5, 32.5) and fades in.
      float u = float(t - 2500) * 0.002f;
      float x0 = 146.5f - 145.5f * u, y0 = 32.5f - 32.5f * u;
      title.x = x0;
      title.y = y0;
      title.width = int((146.5f + 365.5f * u) - x0);
      title.height = int((32.5f + 223.5f * u) - y0);
      title.alpha = u;
    }
  } else if (variant == 4) {
    title.draw = 0;
    for (const auto& on : kBlinkOn)
      if (t >= on[0] && t <= on[1]) title.draw = 1;
  }
  return title;
}

// The scene's time and the phone's pose moved on a frame; returns T.
static uint64_t AdvancePhone(int variant) {
  uint64_t dt = g_timer.DeltaMs();
  uint64_t T = AdvancePhoneTime(variant, dt);
  MovePhone(variant, T, dt);
  return T;
}

void StepCellphone(GLWindow*, const SceneEntry& scene) { AdvancePhone(scene.variant); }

void CellphoneScene(GLWindow* window, const SceneEntry& scene) {
  const int variant = scene.variant;
  uint64_t T = AdvancePhone(variant);
  ApplyLookAt(CellphoneCamera(variant, T));
  DrawBackground(window, scene.backgroundSlot);

  BeginToonBatch();
  glPushMatrix();
  glTranslatef(g_phoneOffset.x, g_phoneOffset.y, g_phoneOffset.z);
  glRotatef(g_phoneAngleY, 0, 1, 0);
  glRotatef(g_phoneAngleX, 1, 0, 0);
  glRotatef(g_phoneAngleZ, 0, 0, 1);
  float normalMatrix[16];
  CaptureNormalMatrix(normalMatrix);
  DrawToonMesh(CellphoneMesh(), g_textureNames[kPhoneRampSlot], g_phoneLight, normalMatrix);
  glPopMatrix();
  EndToonBatch();

  ShownSprite title = CellphoneTitle(variant, T);
  if (title.draw)
    DrawSprite(window, kTitleSlot, title);
}
