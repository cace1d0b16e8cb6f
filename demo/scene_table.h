// The show's scenes, one row each in show order: what draws a scene, with
// which variant and pictures, and which factor its beat pulse scales. Every
// other list of scenes is read from this table or from the timeline's cuts.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"
#include "demo/timeline.h"

enum SceneFamily {
  LogoPicture, BloodCells, PrisonCell, Cellphone, Greetings, Credits, TheEnd, kSceneFamilyCount
};

enum PulseTarget {
  PulseNone,
  PulseBackground,   // amplitude 0.05 about 1.05
  PulseSprite,       // amplitude 0.1 about 1.1
  PulseAlternating,  // each pulse flips between the two, starting with the background
};

struct SceneEntry {
  SceneFamily family;
  int variant;         // the family's variant, from 1; 0 for a family of one
  PulseTarget pulse;   // the factor the beat pulse scales
  int backgroundSlot;  // texture slot of the background picture; -1: none
  int spriteSlot;      // texture slot of the credits picture; -1: none
};

// One scene a cut: the nth cut of the timeline opens scene n.
constexpr int kSceneCount = CountEvents(EventCut);
extern const SceneEntry g_scenes[kSceneCount];

// What a family does, in one shape for every family: draw the scene's frame,
// or make the same changes to its state without drawing (null: it keeps none).
// Each family's routines live in a file of their own.
typedef void (*SceneRoutine)(GLWindow* window, const SceneEntry& scene);
struct SceneRoutines {
  const char* name;
  SceneRoutine draw;
  SceneRoutine step;
};
// Indexed by SceneFamily; the sequencer calls a scene's routines through it.
extern const SceneRoutines g_sceneRoutines[kSceneFamilyCount];

const char* SceneFamilyName(SceneFamily family);
// The cut that opens a scene, and the first moment it is drawn: 85 ms after
// its cut, at once for scene 0. ms of the show.
uint64_t SceneCutMs(int scene);
uint64_t SceneStartMs(int scene);
// When the scene gives way to the next, or the show ends.
uint64_t SceneEndMs(int scene);
// From when on everything the scene shows is on screen: its start, or the
// last picture event within it.
uint64_t SceneSettledMs(int scene);
// The first scene whose beat pulse goes to this target; kSceneCount if none.
int FirstSceneWithPulse(PulseTarget pulse);
// The first scene a family draws; kSceneCount if none.
int FirstSceneOfFamily(SceneFamily family);

// Calls the routine of a scene number 0..kSceneCount-1 with its row: the
// scene routines learn their variant and pictures only from here.
void DrawScene(GLWindow* window, int scene);
// Changes what the scene's routine would change, without drawing anything.
void StepScene(GLWindow* window, int scene);
