// The frame callback that turns clock readings into the show.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"

// The sequencer's state; ResetShow gives the start values.
extern int32_t g_eventCursor;     // next timeline record to test
extern int32_t g_scene;           // current scene number; -1 before the first event
extern uint64_t g_eventStampMs;   // ms reading of the latest cut, flash or pulse
extern int64_t g_flashMs;         // flash age in ms; negative: no flash
extern int32_t g_cutPending;      // advance the scene when the flash is 85 ms old
extern int32_t g_pulseActive;     // a beat pulse is running
extern int32_t g_pulseOnSprite;   // credits: pulse the sprite, else the background
extern int32_t g_showZmbPicture;  // set once by its event
extern int32_t g_showQvtPicture;  // set once by its event

// Draws scene number n; DrawScene of the scene table, or a test's recorder.
typedef void (*SceneDrawer)(GLWindow* window, int scene);
extern SceneDrawer g_drawScene;

// What the end record does. The program's shutdown lives above the show, so
// start-up hands it in here.
typedef void (*ShowEndCallback)(GLWindow* window);
extern ShowEndCallback g_showEnd;

// Everything the show changes while it runs, back as before its first frame:
// the sequencer, every scene's state and lights, the chrome logo's stamp.
// StartShow calls it; so does every test that plays part of the show.
void ResetShow();
void DemoFrame(GLWindow* window);
// A frame of DemoFrame that changes the show's state as it would and draws
// nothing: how a capture reaches a later moment quickly.
void StepFrame(GLWindow* window);
