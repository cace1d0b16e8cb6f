// The embedded meshes keep their record format, counts, extents and the three
// invariants every record must hold.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

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
    EXPECT_NEAR(c.mesh.triangleCount, c.count, c.count * 0.02);
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
