#include "demo/scene_table.h"

#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/picture_scenes.h"
#include "demo/prison_cell_scene.h"
#include "render/chrome_logo.h"
#include "render/screen_quads.h"

const SceneEntry g_scenes[kSceneCount] = {
    {LogoPicture, 0, PulseBackground, 0, -1},   // the group logo
    {LogoPicture, 0, PulseBackground, 1, -1},   // the title logo
    {BloodCells, 1, PulseBackground, 3, -1},
    {BloodCells, 2, PulseBackground, 4, -1},
    {BloodCells, 3, PulseBackground, 5, -1},
    {PrisonCell, 1, PulseSprite, -1, -1},
    {PrisonCell, 2, PulseSprite, -1, -1},
    {Cellphone, 1, PulseBackground, 8, -1},
    {Cellphone, 2, PulseBackground, 9, -1},
    {Cellphone, 3, PulseBackground, 10, -1},
    {Cellphone, 4, PulseBackground, 11, -1},
    {Greetings, 0, PulseNone, -1, -1},
    {Credits, 1, PulseAlternating, 15, 16},     // Jastu
    {Credits, 2, PulseAlternating, 17, 18},     // Pelan
    {Credits, 3, PulseAlternating, 19, 20},     // Sorvo
    {TheEnd, 0, PulseNone, 21, -1},
};

const char* SceneFamilyName(SceneFamily family) {
  switch (family) {
    case LogoPicture: return "logo";
    case BloodCells: return "blood cells";
    case PrisonCell: return "prison cell";
    case Cellphone: return "cellphone";
    case Greetings: return "greetings";
    case Credits: return "credits";
    case TheEnd: return "end";
  }
  return "?";
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

void DrawScene(GLWindow* window, int scene) {
  const SceneEntry& s = g_scenes[scene];
  switch (s.family) {
    case LogoPicture: DrawBackground(window, s.backgroundSlot); break;
    case BloodCells: BloodCellScene(window, s.variant, s.backgroundSlot); break;
    case PrisonCell: PrisonCellScene(window, s.variant); break;
    case Cellphone: CellphoneScene(window, s.variant, s.backgroundSlot); break;
    case Greetings: PictureScene(window); break;
    case Credits: CreditsScene(window, s.backgroundSlot, s.spriteSlot); break;
    case TheEnd: EndScene(window, s.backgroundSlot); break;
  }
}

void StepScene(GLWindow* window, int scene) {
  const SceneEntry& s = g_scenes[scene];
  SpritePlacement title;
  switch (s.family) {
    case BloodCells: StepBloodCells(window, s.variant, &title); break;
    case PrisonCell: StepPrisonCell(s.variant); break;
    case Cellphone: StepCellphone(s.variant); break;
    case Credits: StartChromeSpin(); break;
    case TheEnd: StepEndScene(); break;
    case LogoPicture:
    case Greetings: break;
  }
}
