// The picture catalogue: 23 texture slots, 20 pictures read from data/ and the
// three toon ramps, all uploaded once at start-up.
#pragma once
#include <GL/gl.h>

enum { kTextureSlotCount = 23 };

extern GLuint g_textureNames[kTextureSlotCount];
extern const char* const g_textureFiles[kTextureSlotCount];  // null for ramp slots

// Returns 1 when every slot is filled; otherwise shows the first failing
// slot's message and returns 0.
int LoadTextures();
// Loads one picture slot without a message of its own.
int LoadTextureSlot(int slot, GLint filter);
