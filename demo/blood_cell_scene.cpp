#include "demo/blood_cell_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "platform/frame_timer.h"
#include "assets/mesh.h"
#include "assets/textures.h"
#include "render/screen_quads.h"
#include "render/toon_mesh.h"

static const Vector3 kBloodLightStart = {-0.2f, 0.5f, 1.0f};  // before normalising

Vector3 g_cellPositions[kBloodCellCount];
Vector3 g_cellAngles[kBloodCellCount];
Vector3 g_bloodLight = kBloodLightStart;
float g_titleAlpha;
uint64_t g_bloodFirstCallMs;
int g_bloodFirstCallSet;
uint64_t g_titleFadeStartMs;
int g_titleFadeStartSet;

enum { kTitleSlideStartMs = 1000, kTitleRestMs = 1400 };

// Rest heights and depths: whole fractions so the field looks scattered, not random.
static float RestY(int i) { return float((21 * i) % 37) * 0.0054054055f - 0.1f; }
static float RestZ(int i) { return float((161 + 23 * i) % 41) * 0.0121951215f - 0.25f; }

void InitBloodCells() {
  for (int i = 0; i < kBloodCellCount; ++i) {
    g_cellPositions[i].x = float((29 * i) % 41) * 0.0024390244f + 0.3f * i + 1.5f - 0.05f;
    g_cellPositions[i].y = RestY(i);
    g_cellPositions[i].z = RestZ(i);
    g_cellAngles[i].x = float((61 * i) % 37) * 9.7297297f;  // 360/37
    g_cellAngles[i].y = float((19 * i) % 37) * 9.7297297f;
    g_cellAngles[i].z = float((27 * i) % 37) * 9.7297297f;
  }
}

void ResetBloodCells() {
  InitBloodCells();
  g_bloodLight = kBloodLightStart;
  Vector3Normalize(g_bloodLight);
  g_titleAlpha = 1.0f;
  g_bloodFirstCallMs = 0;
  g_bloodFirstCallSet = 0;
  g_titleFadeStartMs = 0;
  g_titleFadeStartSet = 0;
}

void AdvanceBloodCells(uint64_t t, float dt) {
  float drift = dt * 0.00057142857f;  // 1/1750 per ms
  float spinX = dt * 0.19f;           // degrees per ms
  float spinYZ = dt * 0.06f;
  for (int i = 0; i < kBloodCellCount; ++i) {
    Vector3& p = g_cellPositions[i];
    p.x -= drift;
    if (p.x <= -1.5f) p.x += 6.0f;  // once: a long first frame may need more frames
    float yAngle = float(t + 773u * i) * float(i % 5) * 0.03f;
    float zAngle = float(t + 491u * i) * float(i % 3) * 0.03f;
    p.y = RestY(i) + 0.02f * float(i % 3) * CosDeg(yAngle);
    p.z = RestZ(i) + 0.022f * float(i % 5) * SinDeg(zAngle);
    g_cellAngles[i].x += spinX;
    g_cellAngles[i].y += spinYZ;
    g_cellAngles[i].z += spinYZ;
  }
}

// The camera of a variant; 0 for a variant outside 1..3.
static int BloodCellCamera(int variant, LookAt* camera) {
  static const double kEyes[3][3] = {{-0.7, 0.7, 0.5}, {-0.7, -0.4, -1.0}, {-0.4, 0.6, 0.2}};
  if (variant < 1 || variant > 3) return 0;
  *camera = LookAt{{kEyes[variant - 1][0], kEyes[variant - 1][1], kEyes[variant - 1][2]},
                   {0, 0, 0}};
  return 1;
}

// The title for t > 1000 (variant 3 also moves the fade on).
static ShownSprite BloodCellTitle(uint64_t t, int variant, double W) {
  ShownSprite title;
  title.x = W - kLetteringWidth;
  if (t < kTitleRestMs) {
    // Slides in from the right edge in 400 ms.
    title.x = W - double(t - kTitleSlideStartMs) * 0.0025 * kLetteringWidth;
    return title;
  }
  if (variant != 3) return title;
  if (!(g_titleAlpha > 0.0f)) {
    title.draw = 0;
    return title;
  }
  if (!g_titleFadeStartSet) {
    g_titleFadeStartMs = t + 500;
    g_titleFadeStartSet = 1;
  }
  // The alpha drawn now is the one the previous frame computed.
  title.alpha = g_titleAlpha;
  if (t >= g_titleFadeStartMs) g_titleAlpha = 1.0f - float(t - g_titleFadeStartMs) * 0.0005f;
  return title;
}

// The drift and the title moved on a frame; returns t, with the title the
// frame draws.
static uint64_t AdvanceField(GLWindow* window, int variant, ShownSprite* title) {
  uint64_t elapsed = g_timer.ElapsedMs();
  if (!g_bloodFirstCallSet) {
    g_bloodFirstCallMs = elapsed;
    g_bloodFirstCallSet = 1;
  }
  uint64_t t = elapsed - g_bloodFirstCallMs;
  float dt = float(g_timer.DeltaMs());
  AdvanceBloodCells(t, dt);
  *title = ShownSprite();
  title->draw = 0;
  if (t > kTitleSlideStartMs) *title = BloodCellTitle(t, variant, window->GetWidth());
  return t;
}

void StepBloodCells(GLWindow* window, const SceneEntry& scene) {
  ShownSprite title;
  AdvanceField(window, scene.variant, &title);
}

void BloodCellScene(GLWindow* window, const SceneEntry& scene) {
  ShownSprite title;
  uint64_t t = AdvanceField(window, scene.variant, &title);

  LookAt camera;
  if (BloodCellCamera(scene.variant, &camera)) {
    ApplyLookAt(camera);
    DrawBackground(window, scene.backgroundSlot);
  }

  if (t > kTitleSlideStartMs) {
    if (title.draw)
      DrawSprite(window, kTitleSlot, title);
    glClear(GL_DEPTH_BUFFER_BIT);
  }

  const Mesh cell = BloodCellMesh();
  BeginToonBatch();
  for (int i = 0; i < kBloodCellCount; ++i) {
    glPushMatrix();
    glTranslatef(g_cellPositions[i].x, g_cellPositions[i].y, g_cellPositions[i].z);
    glRotatef(g_cellAngles[i].x, 1, 0, 0);
    glRotatef(g_cellAngles[i].y, 0, 1, 0);
    glRotatef(g_cellAngles[i].z, 0, 0, 1);
    // After the cell's own turn, so its bands follow it.
    float normalMatrix[16];
    CaptureNormalMatrix(normalMatrix);
    DrawToonMesh(cell, g_textureNames[kBloodRampSlot], g_bloodLight, normalMatrix);
    glPopMatrix();
  }
  EndToonBatch();
}
