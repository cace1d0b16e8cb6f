// The three eight-texel toon ramps, darkest first: three shadow texels, two of
// each mid tone, one highlight.
#pragma once
#include <GL/gl.h>

typedef float ToonRamp[8][3];

extern const ToonRamp g_bloodCellRamp;
extern const ToonRamp g_prisonCellRamp;
extern const ToonRamp g_cellphoneRamp;

void UploadToonRamp(GLuint textureName, const ToonRamp& ramp);
