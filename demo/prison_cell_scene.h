// Scenes 5 and 6: the camera glides through a toon-shaded prison cell.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"
#include "demo/scene_frame.h"
#include "demo/scene_table.h"
#include "render/vector3.h"

extern uint64_t g_prisonTimeMs;  // scene time T in ms, restarted once by variant 2
extern int g_prisonResetDone;    // variant 2 has restarted T
extern Vector3 g_prisonLight;    // eye-space light, moved by this scene

// Scene time 0, the light back at its normalised start.
void ResetPrisonCell();
void PrisonCellScene(GLWindow* window, const SceneEntry& scene);
// What a frame of the scene changes, without drawing: its time and light.
void StepPrisonCell(GLWindow* window, const SceneEntry& scene);

LookAt PrisonCellCamera(int variant, uint64_t T);
