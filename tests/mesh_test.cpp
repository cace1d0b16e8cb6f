// The prison cell's walls meet without cracks: a corner of one face lying
// inside an edge of another leaves a line of background along the seam, a
// fault a picture of the scene shows only as a few stray pixels.
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
