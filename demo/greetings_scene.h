// Scene 11: greetings to ZMB and QVT, each shown from its own event on.
#pragma once
#include "demo/scene_table.h"

void GreetingsScene(GLWindow* window, const SceneEntry& scene);
