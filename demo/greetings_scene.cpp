#include "demo/greetings_scene.h"

#include "assets/textures.h"
#include "demo/sequencer.h"
#include "render/screen_quads.h"

void GreetingsScene(GLWindow* window, const SceneEntry&) {
  // Positions are window pixels; only the sizes follow the window.
  if (g_showZmbPicture)
    DrawSprite(window, kZmbSlot, SpritePlacement{0, 216});
  if (g_showQvtPicture)
    DrawSprite(window, kQvtSlot, SpritePlacement{270, 136});
}
