// The meshes as compiled in: the records' invariants, and the prison cell's
// two faults a picture shows only as stray pixels: cracks (a corner of one
// face inside an edge of another leaves background along the seam) and strips
// too thin to draw whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "assets/mesh.h"

namespace {

struct P3 {
  double x, y, z;
};
P3 At(const MeshVertex& v) { return {v.x, v.y, v.z}; }
P3 Sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
P3 Cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(P3 a) { return std::sqrt(Dot(a, a)); }

}  // namespace

TEST(MeshShapes, PrisonCellHasNoCrackNorAStripThinnerThanAPixelAcrossTheRoom) {
  const Mesh room = PrisonCellMesh();
  std::set<std::tuple<float, float, float>> corners;
  for (int t = 0; t < room.triangleCount; ++t)
    for (const MeshVertex& v : room.triangles[t].vertex) corners.insert({v.x, v.y, v.z});
  std::map<long, std::vector<P3>> cells;  // corners bucketed by x, for speed
  for (const auto& [x, y, z] : corners) cells[std::lround(x * 4)].push_back({x, y, z});
  int tJunctions = 0;
  for (int t = 0; t < room.triangleCount; ++t)
    for (int k = 0; k < 3; ++k) {
      P3 a = At(room.triangles[t].vertex[k]), ab = Sub(At(room.triangles[t].vertex[(k + 1) % 3]), a);
      for (long c = std::lround(std::min(a.x, a.x + ab.x) * 4) - 1; c <= std::lround(std::max(a.x, a.x + ab.x) * 4) + 1; ++c)
        for (const P3& p : cells[c]) {
          double u = Dot(Sub(p, a), ab) / Dot(ab, ab);
          P3 off = Sub(Sub(p, a), {ab.x * u, ab.y * u, ab.z * u});
          tJunctions += u > 1e-4 && u < 1 - 1e-4 && Dot(off, off) < 1e-10;
        }
    }
  EXPECT_EQ(tJunctions, 0) << "corners inside another face's edge";

  // A strip narrower than 0.02 units goes under a pixel from across the room
  // and draws as a dotted line: no triangle of the room may be that thin.
  const double kThinnest = 0.02;
  int thin = 0;
  double thinnest = 1e9;
  MeshVertex where{};
  for (int t = 0; t < room.triangleCount; ++t) {
    const MeshVertex* v = room.triangles[t].vertex;
    const P3 e[3] = {Sub(At(v[1]), At(v[0])), Sub(At(v[2]), At(v[1])), Sub(At(v[0]), At(v[2]))};
    // The smallest height of the triangle: twice its area over its longest side.
    double height = Length(Cross(e[0], e[1])) / std::max({Length(e[0]), Length(e[1]), Length(e[2])});
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
      const P3 face = {f[0], f[1], f[2]};
      badLength += std::fabs(Length(face) - 1) > 1e-5;
      const P3 c = Cross(Sub(At(r.vertex[1]), At(r.vertex[0])), Sub(At(r.vertex[2]), At(r.vertex[0])));
      badFace += Length(c) == 0 || Dot(c, face) / Length(c) < 1 - 1e-4;
      for (const MeshVertex& v : r.vertex) {
        badLength += std::fabs(Length({v.nx, v.ny, v.nz}) - 1) > 1e-5;
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
