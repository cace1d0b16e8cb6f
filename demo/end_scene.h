// Scene 15: the end picture, the chrome logo fading out over its first 1.2 s.
#pragma once
#include <cstdint>

#include "demo/scene_table.h"

extern uint64_t g_endStartMs;  // ElapsedMs at the first frame of the end scene
extern int g_endStartSet;

// The end scene's stamp unset.
void ResetEndScene();
void EndScene(GLWindow* window, const SceneEntry& scene);
// What a frame of the end scene changes, without drawing.
void StepEndScene(GLWindow* window, const SceneEntry& scene);
