// Scenes 2-4: a field of 20 blood cells drifting past three cameras.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"
#include "demo/scene_frame.h"
#include "render/vector3.h"

enum { kBloodCellCount = 20 };

extern Vector3 g_cellPositions[kBloodCellCount];  // x drifts and wraps; y, z follow t
extern Vector3 g_cellAngles[kBloodCellCount];     // degrees about x, y, z; grow freely
extern Vector3 g_bloodLight;                      // eye-space light, normalised by Init
extern float g_titleAlpha;                        // title opacity, faded by variant 3
extern uint64_t g_bloodFirstCallMs;               // ElapsedMs at the first frame of scene 2
extern int g_bloodFirstCallSet;
extern uint64_t g_titleFadeStartMs;  // t at which the title starts to fade
extern int g_titleFadeStartSet;

void InitBloodCells();
// The field as InitBloodCells lays it, the light normalised, the title and
// the first-call stamp as before the first frame.
void ResetBloodCells();
// Draws the variant over the picture in backgroundSlot.
void BloodCellScene(GLWindow* window, int variant, int backgroundSlot);
// What a frame of the scene changes, without drawing: the drift and the
// title's fade. Returns t; the title is what the frame would draw.
uint64_t StepBloodCells(GLWindow* window, int variant, SpritePlacement* title);

// One frame of the drift, t ms after the first frame, dt ms since the last.
void AdvanceBloodCells(uint64_t t, float dt);
// The camera of a variant; 0 for a variant outside 1..3.
int BloodCellCamera(int variant, LookAt* camera);
// The title for t > 1000 (variant 3 also moves the fade on).
SpritePlacement BloodCellTitle(uint64_t t, int variant, double windowWidth);
