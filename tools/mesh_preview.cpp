// Renders the four meshes as the show draws them (toon-shaded with their ramps
// and lights, the logo as sphere-mapped chrome) from three angles each, into
// one contact sheet: mesh_preview OUTPUT.png   (run from the project root)
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>

#include "app/show_start.h"
#include "assets/mesh.h"
#include "assets/textures.h"
#include "demo/blood_cell_scene.h"
#include "demo/cellphone_scene.h"
#include "demo/prison_cell_scene.h"
#include "render/chrome_logo.h"
#include "render/toon_mesh.h"
#include "capture/gl_readback.h"
#include "capture/png_writer.h"

namespace {

const int kTile = 320, kTileH = 240, kAngles = 3;

struct Subject {
  const char* name;
  Mesh mesh;
  int rampSlot;  // -1: chrome
  Vector3* light;
  double distance;
};

void Projection(double nearPlane) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, double(kTile) / kTileH, nearPlane, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void DrawToon(const Subject& s, double turnDegrees) {
  BeginToonBatch();
  glPushMatrix();
  float normalMatrix[16];
  CaptureNormalMatrix(normalMatrix);
  glRotated(turnDegrees, 0, 1, 0);
  DrawToonMesh(s.mesh, g_textureNames[s.rampSlot], *s.light, normalMatrix);
  glPopMatrix();
  EndToonBatch();
}

// Objects are turned about their own centre in front of the camera; the
// prison cell is seen from inside, as the show's cameras see it.
void DrawTile(const Subject& s, int angle) {
  const double yaw[kAngles] = {-35, 200, 150}, pitch[kAngles] = {25, -15, 30};
  if (s.rampSlot < 0) {
    Projection(0.1);
    glTranslated(0, 0, -s.distance);
    glRotated(pitch[angle] * 0.5, 1, 0, 0);
    glRotated(yaw[angle] * 0.3, 0, 1, 0);
    glTranslated(0, 0, s.distance);
    DrawChromeLogo(s.distance, 0, 0, 0, 1.0f);
    return;
  }
  if (s.mesh.triangles == PrisonCellMesh().triangles) {
    Projection(0.1);
    const int variant[kAngles] = {1, 2, 2};
    const uint64_t T[kAngles] = {0, 0, 6500};
    ApplyLookAt(PrisonCellCamera(variant[angle], T[angle]));
    DrawToon(s, variant[angle] == 1 ? 105 : 0);
    return;
  }
  Projection(0.01);
  gluLookAt(0, 0, s.distance, 0, 0, 0, 0, 1, 0);
  glRotated(pitch[angle], 1, 0, 0);
  glRotated(yaw[angle], 0, 1, 0);
  DrawToon(s, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mesh_preview OUTPUT.png   (from the project root)\n");
    return 2;
  }
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  GLWindow window;
  WindowDesc desc;
  desc.width = kTile;
  desc.height = kTileH;
  desc.title = "mesh preview";
  desc.noVsync = 1;
  if (!OpenShowWindow(&window, desc)) return 1;
  glClearColor(0.12f, 0.12f, 0.14f, 1);
  if (!LoadTextures()) return 1;
  for (Vector3* light : {&g_bloodLight, &g_phoneLight, &g_prisonLight}) Vector3Normalize(*light);

  const Subject subjects[] = {
      {"blood cell", BloodCellMesh(), 2, &g_bloodLight, 0.3},
      {"chrome logo", ChromeLogoMesh(), -1, nullptr, 3.5},
      {"cellphone", CellphoneMesh(), 7, &g_phoneLight, 0.35},
      {"prison cell", PrisonCellMesh(), 6, &g_prisonLight, 0},
  };
  const int rows = 4;
  std::vector<uint8_t> sheet(size_t(kTile) * kAngles * kTileH * rows * 3);
  for (int r = 0; r < rows; ++r)
    for (int a = 0; a < kAngles; ++a) {
      DrawTile(subjects[r], a);
      std::vector<uint8_t> tile = ReadBackBuffer(kTile, kTileH);
      int sheetRow0 = (rows - 1 - r) * kTileH;  // bottom row first
      for (int y = 0; y < kTileH; ++y)
        std::copy(tile.begin() + size_t(y) * kTile * 3, tile.begin() + size_t(y + 1) * kTile * 3,
                  sheet.begin() + (size_t(sheetRow0 + y) * kTile * kAngles + a * kTile) * 3);
    }
  window.Destroy();
  if (!WriteRgbPng(argv[1], kTile * kAngles, kTileH * rows, sheet)) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("wrote %s\n", argv[1]);
  return 0;
}
