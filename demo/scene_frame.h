// Small value types the scene formulas hand to their drawing routines.
#pragma once
#include "render/screen_quads.h"

// A camera for gluLookAt; every scene of the show keeps up = (0, 1, 0).
struct LookAt {
  double eye[3];
  double centre[3];
};

// Where a sprite goes this frame, and whether it shows at all.
struct ShownSprite : SpritePlacement {
  int draw = 1;
};

void ApplyLookAt(const LookAt& camera);
