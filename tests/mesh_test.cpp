// The embedded meshes keep their record format, counts, extents and the three
// invariants every record must hold, and the shapes a viewer relies on: the
// blood cell's dimple and sharp rim, the logo's round O, and prison walls with
// no z-fighting faces or cracks along shared edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <tuple>
#include <vector>

#include "assets/mesh.h"

namespace {

struct Catalogue {
  const char* name;
  Mesh mesh;
  int count;
  float lo[3], hi[3];
};

std::vector<Catalogue> Meshes() {
  return {
      {"blood cell", BloodCellMesh(), 316, {-0.087891f, -0.024432f, -0.087891f},
       {0.087891f, 0.024432f, 0.087891f}},
      {"chrome logo", ChromeLogoMesh(), 228, {-1.1f, -0.57f, -0.14f}, {1.1f, 0.57f, 0.14f}},
      {"cellphone", CellphoneMesh(), 3520, {-0.038399f, -0.087892f, -0.028587f},
       {0.036428f, 0.088255f, 0.010257f}},
      {"prison cell", PrisonCellMesh(), 5856, {-4.88702f, -0.030027f, -3.45561f},
       {5.32486f, 6.04613f, 3.69525f}},
  };
}

double Len(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

}  // namespace

TEST(Meshes, CountsAreWithinTwoPercentOfTheCatalogue) {
  for (const Catalogue& c : Meshes()) {
    SCOPED_TRACE(c.name);
    if (c.mesh.triangles == ChromeLogoMesh().triangles) {
      // The round O may take the logo up to 256 triangles.
      EXPECT_GE(c.mesh.triangleCount, c.count * 0.98);
      EXPECT_LE(c.mesh.triangleCount, 256);
    } else {
      EXPECT_NEAR(c.mesh.triangleCount, c.count, c.count * 0.02);
    }
  }
  EXPECT_EQ(BloodCellMesh().triangleCount, 316);
}

TEST(Meshes, ExtentsMatchTheCatalogueWithinTwoPercentOfEachSize) {
  for (const Catalogue& c : Meshes()) {
    SCOPED_TRACE(c.name);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int t = 0; t < c.mesh.triangleCount; ++t)
      for (const MeshVertex& v : c.mesh.triangles[t].vertex) {
        const float p[3] = {v.x, v.y, v.z};
        for (int a = 0; a < 3; ++a) lo[a] = std::fmin(lo[a], p[a]), hi[a] = std::fmax(hi[a], p[a]);
      }
    for (int a = 0; a < 3; ++a) {
      float size = c.hi[a] - c.lo[a];
      EXPECT_NEAR(lo[a], c.lo[a], 0.02f * size) << "axis " << a;
      EXPECT_NEAR(hi[a], c.hi[a], 0.02f * size) << "axis " << a;
    }
  }
}

TEST(Meshes, NormalsAreUnitAndFaceNormalsFollowCounterClockwiseWinding) {
  for (const Catalogue& c : Meshes()) {
    SCOPED_TRACE(c.name);
    int bad = 0;
    for (int t = 0; t < c.mesh.triangleCount; ++t) {
      const TriangleRecord& r = c.mesh.triangles[t];
      const MeshVertex *a = &r.vertex[0], *b = &r.vertex[1], *d = &r.vertex[2];
      double e1[3] = {b->x - a->x, b->y - a->y, b->z - a->z};
      double e2[3] = {d->x - a->x, d->y - a->y, d->z - a->z};
      double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                     e1[0] * e2[1] - e1[1] * e2[0]};
      double length = Len(n[0], n[1], n[2]);
      if (!(length > 0)) {
        ++bad;
        continue;
      }
      double agree = (n[0] * r.faceNormal[0] + n[1] * r.faceNormal[1] + n[2] * r.faceNormal[2]) / length;
      if (std::fabs(Len(r.faceNormal[0], r.faceNormal[1], r.faceNormal[2]) - 1) > 1e-5) ++bad;
      if (agree < 0.9999) ++bad;
      for (const MeshVertex& v : r.vertex)
        if (std::fabs(Len(v.nx, v.ny, v.nz) - 1) > 1e-5) ++bad;
    }
    EXPECT_EQ(bad, 0);
  }
}

TEST(Meshes, EveryCopyOfAPositionCarriesOneSmoothNormal) {
  for (const Catalogue& c : Meshes()) {
    SCOPED_TRACE(c.name);
    std::map<std::tuple<float, float, float>, std::tuple<float, float, float>> normals;
    int split = 0, equalToFace = 0, vertices = 0;
    for (int t = 0; t < c.mesh.triangleCount; ++t) {
      const TriangleRecord& r = c.mesh.triangles[t];
      for (const MeshVertex& v : r.vertex) {
        auto key = std::make_tuple(v.x, v.y, v.z);
        auto normal = std::make_tuple(v.nx, v.ny, v.nz);
        auto found = normals.emplace(key, normal);
        if (!found.second && found.first->second != normal) ++split;
        ++vertices;
        if (v.nx == r.faceNormal[0] && v.ny == r.faceNormal[1] && v.nz == r.faceNormal[2])
          ++equalToFace;
      }
    }
    EXPECT_EQ(split, 0);
    EXPECT_LT(equalToFace, vertices);  // smooth, not flat
  }
}

TEST(Meshes, ChromeLogoFrontFacesLieAtItsFrontPlane) {
  const Mesh logo = ChromeLogoMesh();
  int front = 0;
  for (int t = 0; t < logo.triangleCount; ++t) {
    const TriangleRecord& r = logo.triangles[t];
    if (r.faceNormal[0] == 0 && r.faceNormal[1] == 0 && r.faceNormal[2] == -1) {
      ++front;
      for (const MeshVertex& v : r.vertex) EXPECT_FLOAT_EQ(v.z, -0.14f);
    }
  }
  EXPECT_GT(front, 20);
}

namespace {

struct P3 {
  double x, y, z;
};
P3 Sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot3(P3 a, P3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
P3 Cross3(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
P3 At(const MeshVertex& v) { return {v.x, v.y, v.z}; }

// Rings of the blood cell: for each distinct radius about the y axis, the
// largest |y| found there.
std::map<double, double> CellProfile() {
  std::map<double, double> profile;
  const Mesh cell = BloodCellMesh();
  for (int t = 0; t < cell.triangleCount; ++t)
    for (const MeshVertex& v : cell.triangles[t].vertex) {
      double r = std::round(std::hypot(v.x, v.z) * 1e5) / 1e5;
      profile[r] = std::max(profile[r], double(std::fabs(v.y)));
    }
  return profile;
}

// Two triangles in one plane whose interiors overlap: no axis of either
// separates them by more than a hair.
bool OverlapInPlane(const P3 a[3], const P3 b[3], P3 n) {
  P3 u = std::fabs(n.x) < 0.9 ? P3{1, 0, 0} : P3{0, 1, 0};
  P3 e1 = Cross3(n, u);
  double l = std::sqrt(Dot3(e1, e1));
  e1 = {e1.x / l, e1.y / l, e1.z / l};
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

TEST(MeshShapes, BloodCellHasADimpleAndARimThatFallsToNothing) {
  std::map<double, double> profile = CellProfile();
  ASSERT_EQ(profile.size(), 5u);  // five rings a side
  double thickest = 0;
  for (const auto& ring : profile) thickest = std::max(thickest, ring.second);
  const double centre = profile.begin()->second, rimRadius = profile.rbegin()->first,
               rim = profile.rbegin()->second;
  std::printf("blood cell: centre/thickest %.3f, rim radius %.4f, rim/thickest %.3f\n",
              centre / thickest, rimRadius, rim / thickest);
  EXPECT_LE(centre, 0.5 * thickest);  // a dimple that shows
  EXPECT_GE(rimRadius, 0.088);
  EXPECT_LE(rimRadius, 0.091);
  EXPECT_LE(rim, 0.1 * thickest);  // a sharp rim, not a band
  EXPECT_NEAR(thickest, 0.0244, 0.0005);
  // Thickness rises from the dimple to one ring and falls to the rim.
  auto peak = std::max_element(profile.begin(), profile.end(),
                               [](auto& a, auto& b) { return a.second < b.second; });
  for (auto it = profile.begin(); it != peak; ++it) EXPECT_LT(it->second, std::next(it)->second);
  for (auto it = peak; std::next(it) != profile.end(); ++it) EXPECT_GT(it->second, std::next(it)->second);
}

TEST(MeshShapes, TheLogosOHasARoundOpenCounter) {
  const Mesh logo = ChromeLogoMesh();
  // The O: front faces joined through shared corners to the leftmost one.
  std::vector<int> front;
  for (int t = 0; t < logo.triangleCount; ++t)
    if (logo.triangles[t].faceNormal[2] == -1) front.push_back(t);
  std::vector<int> parent(front.size());
  std::iota(parent.begin(), parent.end(), 0);
  std::function<int(int)> root = [&](int i) { return parent[i] == i ? i : parent[i] = root(parent[i]); };
  std::map<std::pair<float, float>, int> owner;
  for (size_t i = 0; i < front.size(); ++i)
    for (const MeshVertex& v : logo.triangles[front[i]].vertex) {
      auto found = owner.emplace(std::make_pair(v.x, v.y), int(i));
      if (!found.second) parent[root(int(i))] = root(found.first->second);
    }
  size_t leftmost = 0;
  for (size_t i = 0; i < front.size(); ++i)
    if (logo.triangles[front[i]].vertex[0].x < logo.triangles[front[leftmost]].vertex[0].x) leftmost = i;
  double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
  for (size_t i = 0; i < front.size(); ++i)
    if (root(int(i)) == root(int(leftmost)))
      for (const MeshVertex& v : logo.triangles[front[i]].vertex)
        x0 = std::min(x0, double(v.x)), x1 = std::max(x1, double(v.x)), y0 = std::min(y0, double(v.y)),
        y1 = std::max(y1, double(v.y));
  const P3 centre{(x0 + x1) / 2, (y0 + y1) / 2, -0.14};
  // Nothing of the O covers its centre: the counter is open.
  for (size_t i = 0; i < front.size(); ++i) {
    const TriangleRecord& r = logo.triangles[front[i]];
    P3 p[3] = {At(r.vertex[0]), At(r.vertex[1]), At(r.vertex[2])};
    bool inside = true;
    for (int k = 0; k < 3; ++k) {
      P3 edge = Sub(p[(k + 1) % 3], p[k]), to = Sub(centre, p[k]);
      if (edge.x * to.y - edge.y * to.x < 0) inside = false;
    }
    EXPECT_FALSE(inside) << "front face " << front[i] << " covers the O's centre";
  }
  // The counter's wall: side faces inside the O's box that face its centre.
  std::set<int> directions;
  double cx0 = 1e9, cx1 = -1e9;
  for (int t = 0; t < logo.triangleCount; ++t) {
    const TriangleRecord& r = logo.triangles[t];
    if (std::fabs(r.faceNormal[2]) > 1e-3) continue;
    P3 mid{0, 0, 0};
    bool inBox = true;
    for (const MeshVertex& v : r.vertex) {
      mid = {mid.x + v.x / 3, mid.y + v.y / 3, 0};
      if (v.x < x0 - 1e-4 || v.x > x1 + 1e-4) inBox = false;
    }
    P3 n{r.faceNormal[0], r.faceNormal[1], 0};
    if (!inBox || Dot3(n, Sub(centre, mid)) <= 0) continue;
    directions.insert(int(std::lround(std::atan2(n.y, n.x) * 180 / M_PI)) % 360);
    for (const MeshVertex& v : r.vertex) cx0 = std::min(cx0, double(v.x)), cx1 = std::max(cx1, double(v.x));
  }
  std::printf("logo: %d triangles, O counter wall in %zu directions, counter %.2f of the O's width\n",
              logo.triangleCount, directions.size(), (cx1 - cx0) / (x1 - x0));
  EXPECT_GE(directions.size(), 8u);
  EXPECT_GE((cx1 - cx0) / (x1 - x0), 0.45);
}

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
      P3 a = At(room.triangles[t].vertex[k]), b = At(room.triangles[t].vertex[(k + 1) % 3]);
      P3 ab = Sub(b, a);
      double len2 = Dot3(ab, ab);
      for (long c = std::lround(std::min(a.x, b.x) * 4) - 1; c <= std::lround(std::max(a.x, b.x) * 4) + 1; ++c) {
        auto found = cells.find(c);
        if (found == cells.end()) continue;
        for (const P3& p : found->second) {
          double u = Dot3(Sub(p, a), ab) / len2;
          if (u <= 1e-4 || u >= 1 - 1e-4) continue;
          P3 off = Sub(Sub(p, a), {ab.x * u, ab.y * u, ab.z * u});
          if (Dot3(off, off) < 1e-10) ++tJunctions;
        }
      }
    }
  std::printf("prison cell: %d coplanar overlapping pairs, %d corners inside another face's edge\n",
              coplanar, tJunctions);
  EXPECT_EQ(coplanar, 0);
  EXPECT_EQ(tJunctions, 0);
}
