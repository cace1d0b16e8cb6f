// Scenes 2-4: a field of 20 blood cells drifting past three cameras.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"
#include "demo/scene_frame.h"
#include "demo/scene_table.h"
#include "render/vector3.h"

enum { kBloodCellCount = 20 };

extern Vector3 g_cellPositions[kBloodCellCount];  // x drifts and wraps; y, z follow t
extern Vector3 g_cellAngles[kBloodCellCount];     // degrees about x, y, z; grow freely
extern Vector3 g_bloodLight;                      // eye-space light, normalised by StartShow
extern float g_titleAlpha;                        // title opacity, faded by variant 3
extern uint64_t g_bloodFirstCallMs;               // ElapsedMs at the first frame of scene 2
extern int g_bloodFirstCallSet;
extern uint64_t g_titleFadeStartMs;  // t at which the title starts to fade
extern int g_titleFadeStartSet;

void InitBloodCells();
// The field as InitBloodCells lays it, the light normalised, the title and
// the first-call stamp as before the first frame.
void ResetBloodCells();
// Draws the scene's variant over its background.
void BloodCellScene(GLWindow* window, const SceneEntry& scene);
// What a frame of the scene changes, without drawing: the drift and the
// title's fade.
void StepBloodCells(GLWindow* window, const SceneEntry& scene);

// One frame of the drift, t ms after the first frame, dt ms since the last.
void AdvanceBloodCells(uint64_t t, float dt);
