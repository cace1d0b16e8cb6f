// Scenes 0 and 1: the group logo and the title logo, a picture each.
#pragma once
#include "demo/scene_table.h"

void LogoScene(GLWindow* window, const SceneEntry& scene);
