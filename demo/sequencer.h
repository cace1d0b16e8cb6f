// The frame callback that turns clock readings into the show.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"

extern int32_t g_eventCursor;     // next timeline record to test
extern int32_t g_scene;           // current scene number; -1 before the first event
extern uint64_t g_eventStampMs;   // ms reading of the latest cut, flash or pulse
extern int64_t g_flashMs;         // flash age in ms; negative: no flash
extern int32_t g_cutPending;      // advance the scene when the flash is 85 ms old
extern int32_t g_pulseActive;     // a beat pulse is running
extern int32_t g_pulseOnSprite;   // scenes 12-14: pulse the sprite, else the background
extern int32_t g_showZmbPicture;  // set once by its event
extern int32_t g_showQvtPicture;  // set once by its event

typedef void (*SceneRoutine)(GLWindow* window);
enum { kSceneCount = 16 };
// One routine per scene number; tests may put recorders in its place.
extern SceneRoutine g_sceneTable[kSceneCount];

// What the end record does. The program's shutdown lives above the show, so
// start-up hands it in here.
typedef void (*ShowEndCallback)(GLWindow* window);
extern ShowEndCallback g_showEnd;

void DemoFrame(GLWindow* window);
// What one record does when it is consumed at clock reading `now`.
struct TimelineEvent;
void ApplyTimelineEvent(GLWindow* window, const TimelineEvent& event, uint64_t now);

// The pulse curve d ms into a pulse: 4 degrees a millisecond.
float PulseWave(uint64_t d);
