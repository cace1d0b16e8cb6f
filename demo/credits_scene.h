// Scenes 12-14: a credit each over its background, with the chrome logo
// spinning beside it.
#pragma once
#include "demo/scene_table.h"

void CreditsScene(GLWindow* window, const SceneEntry& scene);
// What a frame of the scene changes, without drawing: the logo's spin.
void StepCredits(GLWindow* window, const SceneEntry& scene);
// The chrome logo where the credits and the end show it, right of and below
// centre, over what is drawn (depth cleared).
void DrawCornerChromeLogo(int spinning, float alpha);
