// The prison cell's walls: no z-fighting faces and no cracks along shared
// edges, faults a picture of the scene shows only as a few stray pixels.
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
P3 Sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot3(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
P3 Cross3(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
P3 At(const MeshVertex& v) { return {v.x, v.y, v.z}; }
double Len(P3 a) { return std::sqrt(Dot3(a, a)); }

// Two triangles in one plane whose interiors overlap: no axis of either
// separates them by more than a hair.
bool OverlapInPlane(const P3 a[3], const P3 b[3], P3 n) {
  P3 e1 = Cross3(n, std::fabs(n.x) < 0.9 ? P3{1, 0, 0} : P3{0, 1, 0});
  e1 = {e1.x / Len(e1), e1.y / Len(e1), e1.z / Len(e1)};
  P3 e2 = Cross3(n, e1);
  double pa[3][2], pb[3][2];
  for (int k = 0; k < 3; ++k) {
    pa[k][0] = Dot3(a[k], e1), pa[k][1] = Dot3(a[k], e2);
    pb[k][0] = Dot3(b[k], e1), pb[k][1] = Dot3(b[k], e2);
  }
  for (const auto* tri : {pa, pb})
    for (int k = 0; k < 3; ++k) {
      double ax = -(tri[(k + 1) % 3][1] - tri[k][1]), ay = tri[(k + 1) % 3][0] - tri[k][0];
      double len = std::hypot(ax, ay);
      double lo1 = 1e30, hi1 = -1e30, lo2 = 1e30, hi2 = -1e30;
      for (int m = 0; m < 3; ++m) {
        double d1 = (pa[m][0] * ax + pa[m][1] * ay) / len, d2 = (pb[m][0] * ax + pb[m][1] * ay) / len;
        lo1 = std::min(lo1, d1), hi1 = std::max(hi1, d1), lo2 = std::min(lo2, d2), hi2 = std::max(hi2, d2);
      }
      if (hi1 <= lo2 + 1e-5 || hi2 <= lo1 + 1e-5) return false;
    }
  return true;
}

}  // namespace

TEST(MeshShapes, PrisonCellHasNoCoplanarOverlapsAndNoCracksAtSharedEdges) {
  const Mesh room = PrisonCellMesh();
  // Faces in one plane, found by their plane's normal (up to sign) and offset.
  std::map<std::tuple<long, long, long>, std::vector<int>> byNormal;
  for (int t = 0; t < room.triangleCount; ++t) {
    const float* n = room.triangles[t].faceNormal;
    double s = (n[0] < -1e-6 || (std::fabs(n[0]) <= 1e-6 && (n[1] < -1e-6 || (std::fabs(n[1]) <= 1e-6 && n[2] < 0)))) ? -1 : 1;
    byNormal[{std::lround(n[0] * s * 1000), std::lround(n[1] * s * 1000), std::lround(n[2] * s * 1000)}]
        .push_back(t);
  }
  int coplanar = 0;
  for (const auto& group : byNormal) {
    const float* n0 = room.triangles[group.second[0]].faceNormal;
    P3 n{n0[0], n0[1], n0[2]};
    std::vector<std::pair<double, int>> byOffset;
    for (int t : group.second) byOffset.push_back({std::fabs(Dot3(n, At(room.triangles[t].vertex[0]))), t});
    std::sort(byOffset.begin(), byOffset.end());
    for (size_t i = 0; i < byOffset.size(); ++i)
      for (size_t j = i + 1; j < byOffset.size() && byOffset[j].first - byOffset[i].first < 1e-4; ++j) {
        const TriangleRecord &a = room.triangles[byOffset[i].second], &b = room.triangles[byOffset[j].second];
        P3 pa[3] = {At(a.vertex[0]), At(a.vertex[1]), At(a.vertex[2])};
        P3 pb[3] = {At(b.vertex[0]), At(b.vertex[1]), At(b.vertex[2])};
        if (std::fabs(Dot3(n, pa[0]) - Dot3(n, pb[0])) < 1e-4 && OverlapInPlane(pa, pb, n)) ++coplanar;
      }
  }
  // A corner of one face lying inside an edge of another: the edge does not
  // share it, so rasterising leaves a crack of background along the seam.
  std::set<std::tuple<float, float, float>> corners;
  for (int t = 0; t < room.triangleCount; ++t)
    for (const MeshVertex& v : room.triangles[t].vertex) corners.insert({v.x, v.y, v.z});
  std::map<long, std::vector<P3>> cells;  // corners bucketed by x, for speed
  for (const auto& c : corners) cells[std::lround(std::get<0>(c) * 4)].push_back({std::get<0>(c), std::get<1>(c), std::get<2>(c)});
  int tJunctions = 0;
  for (int t = 0; t < room.triangleCount; ++t)
    for (int k = 0; k < 3; ++k) {
      P3 a = At(room.triangles[t].vertex[k]), ab = Sub(At(room.triangles[t].vertex[(k + 1) % 3]), a);
      for (long c = std::lround(std::min(a.x, a.x + ab.x) * 4) - 1; c <= std::lround(std::max(a.x, a.x + ab.x) * 4) + 1; ++c) {
        auto found = cells.find(c);
        if (found == cells.end()) continue;
        for (const P3& p : found->second) {
          double u = Dot3(Sub(p, a), ab) / Dot3(ab, ab);
          P3 off = Sub(Sub(p, a), {ab.x * u, ab.y * u, ab.z * u});
          tJunctions += u > 1e-4 && u < 1 - 1e-4 && Dot3(off, off) < 1e-10;
        }
      }
    }
  EXPECT_EQ(coplanar, 0);
  EXPECT_EQ(tJunctions, 0);
}
