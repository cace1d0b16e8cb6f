// How the show runs. The message loop calls DemoFrame once a frame. It reads
// the clock once, and if the next record of the timeline is due it consumes it
// (at most one a frame; records that fall due together follow one a frame).
// A cut starts a 170 ms white flash and arms the scene change, which happens in
// the frame where the flash is 85 ms old, at full white, hiding the cut. A
// pulse makes the scene's background or sprite throb for 190 ms. Flash and
// pulse share one time stamp, so an event of either kind restarts the other's
// curve if it is running. Then the current scene's routine draws, and the flash
// quad goes over everything. The end record shuts the program down from
// inside the frame.
#include "demo/sequencer.h"

#include "platform/frame_timer.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/picture_scenes.h"
#include "demo/prison_cell_scene.h"
#include "demo/timeline.h"
#include "render/screen_quads.h"
#include "render/vector3.h"

int32_t g_eventCursor = 0;
int32_t g_scene = -1;
uint64_t g_eventStampMs = 0;
int64_t g_flashMs = -1;
int32_t g_cutPending = 1;
int32_t g_pulseActive = 0;
int32_t g_pulseOnSprite = 1;
int32_t g_showZmbPicture = 0;
int32_t g_showQvtPicture = 0;
ShowEndCallback g_showEnd = nullptr;

enum { kFlashMs = 170, kPulseMs = 190, kLastPulsedScene = 14 };

static void OrviLogoScene(GLWindow* window) { DrawBackground(window, 0); }
static void TonaroLogoScene(GLWindow* window) { DrawBackground(window, 1); }
static void BloodCells1(GLWindow* window) { BloodCellScene(window, 1); }
static void BloodCells2(GLWindow* window) { BloodCellScene(window, 2); }
static void BloodCells3(GLWindow* window) { BloodCellScene(window, 3); }
static void PrisonCell1(GLWindow* window) { PrisonCellScene(window, 1); }
static void PrisonCell2(GLWindow* window) { PrisonCellScene(window, 2); }
static void Cellphone1(GLWindow* window) { CellphoneScene(window, 1); }
static void Cellphone2(GLWindow* window) { CellphoneScene(window, 2); }
static void Cellphone3(GLWindow* window) { CellphoneScene(window, 3); }
static void Cellphone4(GLWindow* window) { CellphoneScene(window, 4); }
static void CreditsJastu(GLWindow* window) { CreditsScene(window, 15, 16); }
static void CreditsPelan(GLWindow* window) { CreditsScene(window, 17, 18); }
static void CreditsSorvo(GLWindow* window) { CreditsScene(window, 19, 20); }

SceneRoutine g_sceneTable[kSceneCount] = {
    OrviLogoScene, TonaroLogoScene, BloodCells1,  BloodCells2,  BloodCells3,  PrisonCell1,
    PrisonCell2,   Cellphone1,      Cellphone2,   Cellphone3,   Cellphone4,   PictureScene,
    CreditsJastu,  CreditsPelan,    CreditsSorvo, EndScene,
};

enum PulseTarget { PulseNone, PulseBackground, PulseSprite, PulseAlternating };

static const PulseTarget kScenePulse[kSceneCount] = {
    PulseBackground, PulseBackground,  PulseBackground,  PulseBackground, PulseBackground,
    PulseSprite,     PulseSprite,      PulseBackground,  PulseBackground, PulseBackground,
    PulseBackground, PulseNone,        PulseAlternating, PulseAlternating, PulseAlternating,
    PulseNone,
};

float PulseWave(uint64_t d) { return SinDeg(float(d) * 4.0f); }

void ApplyTimelineEvent(GLWindow* window, const TimelineEvent& event, uint64_t now) {
  switch (event.type) {
    case EventCut:
      if (g_scene == -1) {
        g_scene = 0;
      } else {
        g_flashMs = 0;
        g_cutPending = 1;
        g_eventStampMs = now;
      }
      g_pulseOnSprite = 1;
      break;
    case EventPulse:
      g_pulseActive = 1;
      g_eventStampMs = now;
      if (g_scene >= 12) g_pulseOnSprite = g_pulseOnSprite == 0 ? 1 : 0;
      break;
    case EventFlash:
      g_flashMs = 0;
      g_cutPending = 0;
      g_eventStampMs = now;
      break;
    case EventShowZmb:
      g_showZmbPicture = 1;
      break;
    case EventShowQvt:
      g_showQvtPicture = 1;
      break;
    case EventEnd:
      if (g_showEnd) g_showEnd(window);
  }
}

static void ConsumeEvent(GLWindow* window, uint64_t now) {
  const TimelineEvent& event = g_timeline[g_eventCursor];
  if (now < event.timeMs) return;
  ApplyTimelineEvent(window, event, now);
  g_eventCursor += 1;  // after every type, also one without effect
}

static void AdvanceFlash(uint64_t now) {
  if (g_flashMs < 0) return;
  g_flashMs = int64_t(now - g_eventStampMs);
  if (g_flashMs >= kCutToSceneMs && g_cutPending) {
    g_scene += 1;
    g_cutPending = 0;
  }
}

static void AdvancePulse(uint64_t now) {
  if (!g_pulseActive) return;
  uint64_t d = now - g_eventStampMs;
  if (d >= kPulseMs) {
    g_backgroundPulse = 1.0f;
    g_spritePulse = 1.0f;
    g_pulseActive = 0;
    return;
  }
  if (uint32_t(g_scene) > kLastPulsedScene) return;
  PulseTarget target = kScenePulse[g_scene];
  if (target == PulseAlternating) target = g_pulseOnSprite ? PulseSprite : PulseBackground;
  float v = PulseWave(d);
  if (target == PulseBackground) g_backgroundPulse = v * 0.05f + 1.05f;
  if (target == PulseSprite) g_spritePulse = v * 0.1f + 1.1f;
}

void DemoFrame(GLWindow* window) {
  uint64_t now = g_timer.ElapsedMs();
  ConsumeEvent(window, now);
  AdvanceFlash(now);
  AdvancePulse(now);
  if (g_scene >= 0 && g_scene < kSceneCount) g_sceneTable[g_scene](window);
  if (g_flashMs >= 0) {
    DrawFlash(window, g_flashMs);
    if (g_flashMs >= kFlashMs) g_flashMs = -1;
  }
}
