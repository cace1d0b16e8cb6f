// Scenes 11-15: greetings pictures, the credits with the spinning chrome logo,
// and the end picture with the logo fading out.
#pragma once
#include <cstdint>

#include "platform/gl_window.h"

extern uint64_t g_endStartMs;  // ElapsedMs at the first frame of the end scene
extern int g_endStartSet;

// The end scene's stamp unset. (The greetings flags are the sequencer's.)
void ResetPictureScenes();
void PictureScene(GLWindow* window);
void CreditsScene(GLWindow* window, int backgroundSlot, int creditsSlot);
void EndScene(GLWindow* window, int backgroundSlot);
// What a frame of the end scene changes, without drawing; returns u.
uint64_t StepEndScene();

// The end logo's opacity u ms into the end scene; drawn only while u <= 1200.
float EndLogoAlpha(uint64_t u);
