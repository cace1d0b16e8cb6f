// Scenes 7-10: a toon-shaded cellphone tumbling, approaching, panned past and
// falling away in front of four backgrounds.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"
#include "demo/scene_frame.h"
#include "demo/scene_table.h"
#include "render/vector3.h"

extern uint64_t g_phoneTimeMs;   // scene time T in ms, restarted by variants 2, 3, 4
extern int32_t g_phoneNextReset; // the variant whose next call restarts T
extern Vector3 g_phoneOffset;    // translation of the phone
extern float g_phoneAngleX, g_phoneAngleY, g_phoneAngleZ;  // degrees
extern Vector3 g_phoneLight;     // eye-space light, normalised by StartShow

// Scene time 0 with variant 2 next to restart it, the phone at rest at the
// origin, the light normalised.
void ResetCellphone();
// Draws the scene's variant over its background.
void CellphoneScene(GLWindow* window, const SceneEntry& scene);
// What a frame of the scene changes, without drawing: its time and the phone's
// pose.
void StepCellphone(GLWindow* window, const SceneEntry& scene);

// Moves the scene time on by dt (restarting it where due) and, for variant 4,
// wraps it; returns T for this frame.
uint64_t AdvancePhoneTime(int variant, uint64_t dt);
// The camera for the variant at scene time T.
LookAt CellphoneCamera(int variant, uint64_t T);
// The phone's offset and angles for this frame.
void MovePhone(int variant, uint64_t T, uint64_t dt);
ShownSprite CellphoneTitle(int variant, uint64_t T);
