#include "demo/scene_table.h"

#include "assets/textures.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/credits_scene.h"
#include "demo/end_scene.h"
#include "demo/greetings_scene.h"
#include "demo/logo_scene.h"
#include "demo/prison_cell_scene.h"

const SceneEntry g_scenes[kSceneCount] = {
    {LogoPicture, 0, PulseBackground, kOrviLogoSlot, -1},
    {LogoPicture, 0, PulseBackground, kTonaroLogoSlot, -1},
    {BloodCells, 1, PulseBackground, kBloodBackground1Slot, -1},
    {BloodCells, 2, PulseBackground, kBloodBackground1Slot + 1, -1},
    {BloodCells, 3, PulseBackground, kBloodBackground1Slot + 2, -1},
    {PrisonCell, 1, PulseSprite, -1, -1},
    {PrisonCell, 2, PulseSprite, -1, -1},
    {Cellphone, 1, PulseBackground, kPhoneBackground1Slot, -1},
    {Cellphone, 2, PulseBackground, kPhoneBackground1Slot + 1, -1},
    {Cellphone, 3, PulseBackground, kPhoneBackground1Slot + 2, -1},
    {Cellphone, 4, PulseBackground, kPhoneBackground1Slot + 3, -1},
    {Greetings, 0, PulseNone, -1, -1},
    {Credits, 1, PulseAlternating, kJastuBackgroundSlot, kJastuCreditsSlot},
    {Credits, 2, PulseAlternating, kPelanBackgroundSlot, kPelanCreditsSlot},
    {Credits, 3, PulseAlternating, kSorvoBackgroundSlot, kSorvoCreditsSlot},
    {TheEnd, 0, PulseNone, kEndSlot, -1},
};

const SceneRoutines g_sceneRoutines[kSceneFamilyCount] = {
    {"logo", LogoScene, nullptr},
    {"blood cells", BloodCellScene, StepBloodCells},
    {"prison cell", PrisonCellScene, StepPrisonCell},
    {"cellphone", CellphoneScene, StepCellphone},
    {"greetings", GreetingsScene, nullptr},
    {"credits", CreditsScene, StepCredits},
    {"end", EndScene, StepEndScene},
};

const char* SceneFamilyName(SceneFamily family) {
  return unsigned(family) < kSceneFamilyCount ? g_sceneRoutines[family].name : "?";
}

uint64_t SceneCutMs(int scene) { return NthEventMs(EventCut, scene); }

uint64_t SceneStartMs(int scene) {
  return scene == 0 ? SceneCutMs(0) : SceneCutMs(scene) + kCutToSceneMs;
}

uint64_t SceneEndMs(int scene) {
  return scene + 1 < kSceneCount ? SceneStartMs(scene + 1) : NthEventMs(EventEnd, 0);
}

uint64_t SceneSettledMs(int scene) {
  uint64_t settled = SceneStartMs(scene);
  for (const TimelineEvent& event : g_timeline)
    if ((event.type == EventShowZmb || event.type == EventShowQvt) && event.timeMs > settled &&
        event.timeMs < SceneEndMs(scene))
      settled = event.timeMs;
  return settled;
}

int FirstSceneWithPulse(PulseTarget pulse) {
  int scene = 0;
  while (scene < kSceneCount && g_scenes[scene].pulse != pulse) ++scene;
  return scene;
}

int FirstSceneOfFamily(SceneFamily family) {
  int scene = 0;
  while (scene < kSceneCount && g_scenes[scene].family != family) ++scene;
  return scene;
}

void DrawScene(GLWindow* window, int scene) {
  const SceneEntry& s = g_scenes[scene];
  g_sceneRoutines[s.family].draw(window, s);
}

void StepScene(GLWindow* window, int scene) {
  const SceneEntry& s = g_scenes[scene];
  const SceneRoutines& routines = g_sceneRoutines[s.family];
  if (routines.step) routines.step(window, s);
}
