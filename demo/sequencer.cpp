// How the show runs. The message loop calls DemoFrame once a frame. It reads
// the clock once and consumes every record of the timeline that is due by
// then, in order (a late frame catches up rather than falling behind).
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
#include "demo/end_scene.h"
#include "demo/prison_cell_scene.h"
#include "demo/scene_table.h"
#include "demo/timeline.h"
#include "render/chrome_logo.h"
#include "render/screen_quads.h"
#include "render/vector3.h"

int32_t g_eventCursor;
int32_t g_scene;
uint64_t g_eventStampMs;
int64_t g_flashMs;
int32_t g_cutPending;
int32_t g_pulseActive;
int32_t g_pulseOnSprite;
int32_t g_showZmbPicture;
int32_t g_showQvtPicture;
ShowEndCallback g_showEnd = nullptr;
SceneDrawer g_drawScene = DrawScene;

// Every variable above back to its start value, and the pulse factors to
// rest: the state before the show's first frame.
static void ResetSequencer() {
  g_eventCursor = 0;
  g_scene = -1;
  g_eventStampMs = 0;
  g_flashMs = -1;
  g_cutPending = 1;
  g_pulseActive = 0;
  g_pulseOnSprite = 1;
  g_showZmbPicture = 0;
  g_showQvtPicture = 0;
  g_backgroundPulse = 1.0f;
  g_spritePulse = 1.0f;
}

void ResetShow() {
  ResetSequencer();
  ResetBloodCells();
  ResetPrisonCell();
  ResetCellphone();
  ResetEndScene();
  ResetChromeLogo();
}

enum { kFlashMs = 170, kPulseMs = 190 };
// From this scene on a pulse flips the factor the next one scales.
static const int kFirstAlternatingScene = FirstSceneWithPulse(PulseAlternating);

// The pulse curve d ms into a pulse: 4 degrees a millisecond.
static float PulseWave(uint64_t d) { return SinDeg(float(d) * 4.0f); }

// What one record does when it is consumed at clock reading `now`.
static void ApplyTimelineEvent(GLWindow* window, const TimelineEvent& event, uint64_t now) {
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
      if (g_scene >= kFirstAlternatingScene) g_pulseOnSprite = g_pulseOnSprite == 0 ? 1 : 0;
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
  if (uint32_t(g_scene) >= uint32_t(kSceneCount)) return;
  PulseTarget target = g_scenes[g_scene].pulse;
  if (target == PulseAlternating) target = g_pulseOnSprite ? PulseSprite : PulseBackground;
  float v = PulseWave(d);
  if (target == PulseBackground) g_backgroundPulse = v * 0.05f + 1.05f;
  if (target == PulseSprite) g_spritePulse = v * 0.1f + 1.1f;
}

// The flash and pulse moved on to `at` between two records of a late frame,
// as the frames the show missed would have moved them; a flash they would
// have finished ends.
static void CatchUp(uint64_t at) {
  AdvanceFlash(at);
  AdvancePulse(at);
  if (g_flashMs >= kFlashMs) g_flashMs = -1;
}

// Every record due by `now`, in table order, so a late frame shows what the
// show shows at its time. A frame within a cut's 85 ms of a record's time
// times that record from itself, as every frame at the show's own rate does;
// a later one times it from when it fell due, and moves the flash and pulse
// on between records, so a cut's scene change and a flash's end are not
// held back by the records after it.
static void ConsumeDueEvents(GLWindow* window, uint64_t now) {
  bool first = true;
  // The cursor stops at the table's end only when the end record did not end the show.
  while (g_eventCursor < kTimelineLength) {
    const TimelineEvent& event = g_timeline[g_eventCursor];
    if (now < event.timeMs) return;
    const bool late = now - event.timeMs >= kCutToSceneMs;
    const uint64_t at = late ? event.timeMs : now;
    if (late || !first) CatchUp(at);
    first = false;
    ApplyTimelineEvent(window, event, at);
    g_eventCursor += 1;  // after every type, also one without effect
    if (event.type == EventEnd) return;
  }
}

// The clock read once: the timeline, the flash and the pulse moved to it.
static void AdvanceSequencer(GLWindow* window) {
  uint64_t now = g_timer.ElapsedMs();
  ConsumeDueEvents(window, now);
  AdvanceFlash(now);
  AdvancePulse(now);
}

void DemoFrame(GLWindow* window) {
  AdvanceSequencer(window);
  if (g_scene >= 0 && g_scene < kSceneCount) g_drawScene(window, g_scene);
  if (g_flashMs >= 0) {
    // A frame that comes after the flash's end draws it as at its end, with
    // nothing to see, not as the curve's next rise.
    DrawFlash(window, g_flashMs < kFlashMs ? g_flashMs : int64_t(kFlashMs));
    if (g_flashMs >= kFlashMs) g_flashMs = -1;
  }
}

void StepFrame(GLWindow* window) {
  AdvanceSequencer(window);
  if (g_scene >= 0 && g_scene < kSceneCount) StepScene(window, g_scene);
  if (g_flashMs >= kFlashMs) g_flashMs = -1;
}
