// The group logo as polished metal: sphere-mapped chrome from face normals.
#pragma once

#include <cstdint>

extern uint64_t g_chromeSpinStartMs;  // ElapsedMs at the first call ever
extern int g_chromeSpinStartSet;
// Forgets the first call: the next one starts the spin at 0.
void ResetChromeLogo();

// Looks along -z at (eyeX, eyeY, 0) from eyeZ; the look-at stays on the
// modelview. With spin, turns 200 degrees a second from the first call ever.
void DrawChromeLogo(double eyeZ, double eyeX, double eyeY, int spin, float alpha);
// Stamps the first call, as drawing would, without drawing.
void StartChromeSpin();
