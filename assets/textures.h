// The picture catalogue: 23 texture slots, 20 pictures read from data/ and the
// three toon ramps, all uploaded once at start-up.
#pragma once
#include <GL/gl.h>

#include <string>

// The slots by name: every other file learns a picture's slot here.
enum TextureSlot {
  kOrviLogoSlot,
  kTonaroLogoSlot,
  kBloodRampSlot,
  kBloodBackground1Slot,  // and 2, 3 after it
  kPrisonRampSlot = kBloodBackground1Slot + 3,
  kPhoneRampSlot,
  kPhoneBackground1Slot,  // and 2, 3, 4 after it
  kZmbSlot = kPhoneBackground1Slot + 4,
  kQvtSlot,
  kChromeSlot,
  kJastuBackgroundSlot,
  kJastuCreditsSlot,
  kPelanBackgroundSlot,
  kPelanCreditsSlot,
  kSorvoBackgroundSlot,
  kSorvoCreditsSlot,
  kEndSlot,
  kTitleSlot,  // the TONARO lettering over the 3D scenes
  kTextureSlotCount
};

// The lettering pictures (title, greetings, credits) hold their words in
// the lower left 293 x 65 pixels of a 512 x 256 texture.
enum { kLetteringWidth = 293, kLetteringHeight = 65 };

extern GLuint g_textureNames[kTextureSlotCount];
extern const char* const g_textureFiles[kTextureSlotCount];  // null for ramp slots

// Returns 1 when every slot is filled; otherwise shows the first failing
// slot's message and returns 0. At picture scale 2 each picture is read from
// data/2x/ (the same picture at twice the pixels) where that file is there,
// else from data/: a download may leave the large set out.
int LoadTextures(int pictureScale = 1);
// The file a picture slot reads at a picture scale: data\2x\NAME at 2.
std::string PictureFile(int slot, int pictureScale);
// Gives every slot's texture back, for a show that ends while its GL context
// lives on (the page plays again on the same canvas).
void FreeTextures();
// Loads one picture slot without a message of its own.
int LoadTextureSlot(int slot, GLint filter);
