#include "assets/toon_ramps.h"

const ToonRamp g_bloodCellRamp = {
    {0.3f, 0, 0}, {0.3f, 0, 0}, {0.3f, 0, 0}, {0.6f, 0, 0},
    {0.6f, 0, 0}, {0.8f, 0, 0}, {0.8f, 0, 0}, {0.9f, 0, 0},
};

const ToonRamp g_prisonCellRamp = {
    {0.15f, 0.15f, 0.25f}, {0.15f, 0.15f, 0.25f}, {0.15f, 0.15f, 0.25f}, {0.35f, 0.35f, 0.45f},
    {0.35f, 0.35f, 0.45f}, {0.55f, 0.55f, 0.65f}, {0.55f, 0.55f, 0.65f}, {0.7f, 0.7f, 0.8f},
};

const ToonRamp g_cellphoneRamp = {
    {0.1f, 0.1f, 0.1f},    {0.1f, 0.1f, 0.1f},    {0.1f, 0.1f, 0.1f},    {0.35f, 0.35f, 0.35f},
    {0.35f, 0.35f, 0.35f}, {0.65f, 0.65f, 0.65f}, {0.65f, 0.65f, 0.65f}, {0.85f, 0.85f, 0.85f},
};

// Nearest filtering makes the hard band edges; the default repeat wrap stays.
void UploadToonRamp(GLuint textureName, const ToonRamp& ramp) {
  glBindTexture(GL_TEXTURE_1D, textureName);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage1D(GL_TEXTURE_1D, 0, 3, 8, 0, GL_RGB, GL_FLOAT, ramp);
}
