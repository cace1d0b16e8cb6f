// Small value types the scene formulas hand to their drawing routines.
#pragma once

// A camera for gluLookAt; every scene of the show keeps up = (0, 1, 0).
struct LookAt {
  double eye[3];
  double centre[3];
};

// Where a sprite goes this frame, in DrawSprite's terms.
struct SpritePlacement {
  int draw;
  double x, y, width, height;
  float alpha;
};

void ApplyLookAt(const LookAt& camera);
