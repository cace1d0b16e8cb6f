// The picture catalogue: 23 texture slots, 20 pictures read from data/ and the
// three toon ramps, all uploaded once at start-up.
#pragma once
#include <GL/gl.h>

#include <string>

enum { kTextureSlotCount = 23 };

extern GLuint g_textureNames[kTextureSlotCount];
extern const char* const g_textureFiles[kTextureSlotCount];  // null for ramp slots

// Returns 1 when every slot is filled; otherwise shows the first failing
// slot's message and returns 0. At picture scale 2 each picture is read from
// data/2x/ (the same picture at twice the pixels) where that file is there,
// else from data/: a download may leave the large set out.
int LoadTextures(int pictureScale = 1);
// The file a picture slot reads at a picture scale: data\2x\NAME at 2.
std::string PictureFile(int slot, int pictureScale);
// Loads one picture slot without a message of its own.
int LoadTextureSlot(int slot, GLint filter);
