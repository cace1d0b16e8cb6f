#include "demo/logo_scene.h"

#include "render/screen_quads.h"

void LogoScene(GLWindow* window, const SceneEntry& scene) {
  DrawBackground(window, scene.backgroundSlot);
}
