// The one geometry format: flat arrays of self-contained triangle records,
// walked with a constant stride and no indirection.
#pragma once
#include <cstddef>

struct MeshVertex {
  float x, y, z;     // position, model units
  float nx, ny, nz;  // smooth vertex normal, unit length
};

struct TriangleRecord {
  MeshVertex vertex[3];  // counter-clockwise seen from the side the face normal points to
  float faceNormal[3];
};

static_assert(sizeof(MeshVertex) == 24, "mesh vertex is 24 bytes");
static_assert(sizeof(TriangleRecord) == 84, "triangle record is 84 bytes");
static_assert(offsetof(TriangleRecord, faceNormal) == 72, "face normal at offset 72");

struct Mesh {
  const TriangleRecord* triangles;
  int triangleCount;
};

// Generated at build time by generators/mesh_generator.
extern const TriangleRecord g_bloodCellTriangles[];
extern const int g_bloodCellTriangleCount;
extern const TriangleRecord g_chromeLogoTriangles[];
extern const int g_chromeLogoTriangleCount;
extern const TriangleRecord g_cellphoneTriangles[];
extern const int g_cellphoneTriangleCount;
extern const TriangleRecord g_prisonCellTriangles[];
extern const int g_prisonCellTriangleCount;

inline Mesh BloodCellMesh() { return {g_bloodCellTriangles, g_bloodCellTriangleCount}; }
inline Mesh ChromeLogoMesh() { return {g_chromeLogoTriangles, g_chromeLogoTriangleCount}; }
inline Mesh CellphoneMesh() { return {g_cellphoneTriangles, g_cellphoneTriangleCount}; }
inline Mesh PrisonCellMesh() { return {g_prisonCellTriangles, g_prisonCellTriangleCount}; }
