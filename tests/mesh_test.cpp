// The meshes as compiled in: the records' invariants, and the prison cell's
// two faults a picture shows only as a few stray pixels. Its walls meet
// without cracks (a corner of one face lying inside an edge of another leaves
// a line of background along the seam), and no strip of it is too thin to
// draw whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "assets/mesh.h"

TEST(MeshShapes, PrisonCellHasNoCracksAtSharedEdges) {
  struct P3 {
    double x, y, z;
  };
  auto sub = [](P3 a, P3 b) { return P3{a.x - b.x, a.y - b.y, a.z - b.z}; };
  auto dot = [](P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
  auto at = [](const MeshVertex& v) { return P3{v.x, v.y, v.z}; };
  const Mesh room = PrisonCellMesh();
  std::set<std::tuple<float, float, float>> corners;
  for (int t = 0; t < room.triangleCount; ++t)
    for (const MeshVertex& v : room.triangles[t].vertex) corners.insert({v.x, v.y, v.z});
  std::map<long, std::vector<P3>> cells;  // corners bucketed by x, for speed
  for (const auto& [x, y, z] : corners) cells[std::lround(x * 4)].push_back({x, y, z});
  int tJunctions = 0;
  for (int t = 0; t < room.triangleCount; ++t)
    for (int k = 0; k < 3; ++k) {
      P3 a = at(room.triangles[t].vertex[k]), ab = sub(at(room.triangles[t].vertex[(k + 1) % 3]), a);
      for (long c = std::lround(std::min(a.x, a.x + ab.x) * 4) - 1; c <= std::lround(std::max(a.x, a.x + ab.x) * 4) + 1; ++c)
        for (const P3& p : cells[c]) {
          double u = dot(sub(p, a), ab) / dot(ab, ab);
          P3 off = sub(sub(p, a), {ab.x * u, ab.y * u, ab.z * u});
          tJunctions += u > 1e-4 && u < 1 - 1e-4 && dot(off, off) < 1e-10;
        }
    }
  EXPECT_EQ(tJunctions, 0) << "corners inside another face's edge";
}

// A strip narrower than 0.02 units goes under a pixel from across the room
// and draws as a dotted line: no triangle of the room may be that thin.
TEST(MeshShapes, PrisonCellHasNoStripThinnerThanAPixelAcrossTheRoom) {
  const double kThinnest = 0.02;
  const Mesh room = PrisonCellMesh();
  int thin = 0;
  double thinnest = 1e9;
  MeshVertex where{};
  for (int t = 0; t < room.triangleCount; ++t) {
    const MeshVertex* v = room.triangles[t].vertex;
    double e[3][3], length[3];
    for (int k = 0; k < 3; ++k) {
      const MeshVertex &a = v[k], &b = v[(k + 1) % 3];
      e[k][0] = b.x - a.x, e[k][1] = b.y - a.y, e[k][2] = b.z - a.z;
      length[k] = std::sqrt(e[k][0] * e[k][0] + e[k][1] * e[k][1] + e[k][2] * e[k][2]);
    }
    double cx = e[0][1] * e[1][2] - e[0][2] * e[1][1], cy = e[0][2] * e[1][0] - e[0][0] * e[1][2],
           cz = e[0][0] * e[1][1] - e[0][1] * e[1][0];
    // The smallest height of the triangle: twice its area over its longest side.
    double height = std::sqrt(cx * cx + cy * cy + cz * cz) / std::max({length[0], length[1], length[2]});
    if (height < kThinnest * 0.999) ++thin;
    if (height < thinnest) thinnest = height, where = v[0];
  }
  EXPECT_EQ(thin, 0) << "triangles thinner than " << kThinnest << "; the thinnest, " << thinnest
                     << " across, has a corner at (" << where.x << ", " << where.y << ", " << where.z << ")";
}

// What the drawing relies on in every record of every mesh: unit normals, a
// face normal that agrees with the winding of a triangle that has an area, and
// one smooth normal for every copy of a position.
TEST(MeshShapes, EveryMeshKeepsTheRecordInvariants) {
  const std::pair<const char*, Mesh> meshes[] = {{"blood cell", BloodCellMesh()},
                                                 {"chrome logo", ChromeLogoMesh()},
                                                 {"cellphone", CellphoneMesh()},
                                                 {"prison cell", PrisonCellMesh()}};
  for (const auto& [name, mesh] : meshes) {
    int badLength = 0, badFace = 0, split = 0, flat = 0;
    std::map<std::tuple<float, float, float>, std::tuple<float, float, float>> normals;
    for (int t = 0; t < mesh.triangleCount; ++t) {
      const TriangleRecord& r = mesh.triangles[t];
      const float* f = r.faceNormal;
      badLength += std::fabs(std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]) - 1) > 1e-5;
      double e1[3] = {r.vertex[1].x - r.vertex[0].x, r.vertex[1].y - r.vertex[0].y, r.vertex[1].z - r.vertex[0].z};
      double e2[3] = {r.vertex[2].x - r.vertex[0].x, r.vertex[2].y - r.vertex[0].y, r.vertex[2].z - r.vertex[0].z};
      double c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
      double area = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
      badFace += area == 0 || (c[0] * f[0] + c[1] * f[1] + c[2] * f[2]) / area < 1 - 1e-4;
      for (const MeshVertex& v : r.vertex) {
        badLength += std::fabs(std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz) - 1) > 1e-5;
        auto [it, added] = normals.insert({{v.x, v.y, v.z}, {v.nx, v.ny, v.nz}});
        split += !added && it->second != std::make_tuple(v.nx, v.ny, v.nz);
        flat += v.nx == f[0] && v.ny == f[1] && v.nz == f[2];
      }
    }
    EXPECT_EQ(badLength, 0) << name << ": normals not of unit length";
    EXPECT_EQ(badFace, 0) << name << ": face normals against the winding, or no area";
    EXPECT_EQ(split, 0) << name << ": positions with more than one normal";
    EXPECT_LT(flat, mesh.triangleCount * 3 / 2) << name << ": mostly face normals, not smooth ones";
  }
}
