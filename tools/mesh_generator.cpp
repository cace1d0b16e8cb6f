// Models the show's four meshes procedurally and writes them as constant
// triangle-record arrays for the program: mesh_generator OUTPUT.cpp
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/mesh_geometry.h"

namespace {

typedef std::vector<std::pair<double, double>> Profile;

// A biconcave disc: 10 rings of 16 positions, the innermost ring of each side
// closed by a flat polygon.
Soup BloodCell() {
  const Profile top = {{0.027, 0.0165}, {0.05, 0.0205}, {0.072, 0.0244}, {0.084, 0.0165},
                       {0.0879, 0.0055}};
  Profile rings = top;
  for (int i = int(top.size()) - 1; i >= 0; --i) rings.push_back({top[i].first, -top[i].second});
  const int sectors = 16;
  auto at = [&](size_t ring, int sector) {
    double a = 2 * M_PI * (sector % sectors) / sectors;
    return V3{rings[ring].first * std::cos(a), rings[ring].second,
              rings[ring].first * std::sin(a)};
  };
  Soup s;
  for (size_t i = 0; i + 1 < rings.size(); ++i)
    for (int j = 0; j < sectors; ++j) s.Quad(at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
  size_t last = rings.size() - 1;
  for (int j = 1; j + 1 < sectors; ++j) {
    s.Triangle(at(0, 0), at(0, j + 1), at(0, j));
    s.Triangle(at(last, 0), at(last, j), at(last, j + 1));
  }
  s.Orient();
  return s;
}

typedef std::vector<std::pair<double, double>> Polygon;  // convex, in the letter plane

// Extrudes letters drawn as convex polygons that share whole edges: front face
// at z = -depth/2 facing -z, back face at +depth/2, side walls on the outline
// in two bands.
Soup Extrude(const std::vector<Polygon>& polygons, double depth) {
  Soup s;
  double zf = -depth / 2, zb = depth / 2;
  std::map<std::pair<std::pair<double, double>, std::pair<double, double>>, int> edgeUse;
  std::vector<Polygon> ccw;
  for (Polygon p : polygons) {
    double area = 0;
    for (size_t i = 0; i < p.size(); ++i) {
      auto a = p[i], b = p[(i + 1) % p.size()];
      area += a.first * b.second - b.first * a.second;
    }
    if (area < 0) std::reverse(p.begin(), p.end());
    ccw.push_back(p);
    for (size_t i = 0; i < p.size(); ++i) {
      auto a = p[i], b = p[(i + 1) % p.size()];
      edgeUse[{std::min(a, b), std::max(a, b)}] += 1;
    }
  }
  for (const Polygon& p : ccw) {
    for (size_t i = 1; i + 1 < p.size(); ++i) {
      V3 a{p[0].first, p[0].second, 0}, b{p[i].first, p[i].second, 0},
          c{p[i + 1].first, p[i + 1].second, 0};
      s.Triangle(a + V3{0, 0, zb}, b + V3{0, 0, zb}, c + V3{0, 0, zb});
      s.Triangle(a + V3{0, 0, zf}, c + V3{0, 0, zf}, b + V3{0, 0, zf});
    }
    for (size_t i = 0; i < p.size(); ++i) {
      auto a = p[i], b = p[(i + 1) % p.size()];
      if (edgeUse[{std::min(a, b), std::max(a, b)}] != 1) continue;
      for (int band = 0; band < 2; ++band) {
        double z0 = zf + depth * band / 2, z1 = zf + depth * (band + 1) / 2;
        s.Quad({a.first, a.second, z0}, {b.first, b.second, z0}, {b.first, b.second, z1},
               {a.first, a.second, z1});
      }
    }
  }
  return s;
}

// The group logo ORVI in block letters, 2.2 x 1.14 x 0.28.
Soup ChromeLogo() {
  const double s = 0.18, top = 0.57, bottom = -0.57, gap = 0.28 / 3;
  std::vector<Polygon> letters;
  auto add = [&](double x0, std::vector<Polygon> shapes) {
    for (Polygon& p : shapes) {
      for (auto& v : p) v.first += x0;
      letters.push_back(p);
    }
  };
  double x = -1.1;
  {  // O: a ring of four mitred bars
    double w = 0.58;
    std::pair<double, double> o[4] = {{0, bottom}, {w, bottom}, {w, top}, {0, top}};
    std::pair<double, double> i[4] = {
        {s, bottom + s}, {w - s, bottom + s}, {w - s, top - s}, {s, top - s}};
    std::vector<Polygon> ring;
    for (int k = 0; k < 4; ++k) ring.push_back({o[k], o[(k + 1) % 4], i[(k + 1) % 4], i[k]});
    add(x, ring);
    x += w + gap;
  }
  {  // R: stem, bowl with chamfered corners, diagonal leg
    double w = 0.56, m0 = -0.08, m1 = 0.10, xa = w - 2 * s;
    add(x, {
               {{0, bottom}, {s, bottom}, {s, m0}, {0, m0}},
               {{0, m0}, {s, m0}, {s, m1}, {0, m1}},
               {{0, m1}, {s, m1}, {s, top - s}, {0, top - s}},
               {{0, top - s}, {s, top - s}, {s, top}, {0, top}},
               {{s, top - s}, {w - s, top - s}, {w - s, top}, {s, top}},
               {{w - s, top - s}, {w, top - s}, {w - s, top}},
               {{w - s, m1}, {w, m1}, {w, top - s}, {w - s, top - s}},
               {{s, m0}, {xa, m0}, {xa, m1}, {s, m1}},
               {{xa, m0}, {w - s, m0}, {w - s, m1}, {xa, m1}},
               {{w - s, m0}, {w, m1}, {w - s, m1}},
               {{w - s, bottom}, {w, bottom}, {w - s, m0}, {xa, m0}},
           });
    x += w + gap;
  }
  {  // V: two strokes meeting in a pointed foot
    double w = 0.6, foot = 0.1, c = w / 2;
    double notch = top - (c - s) * (top - bottom) / (c - foot);
    add(x, {
               {{0, top}, {c - foot, bottom}, {c, notch}, {s, top}},
               {{c, notch}, {c + foot, bottom}, {w, top}, {w - s, top}},
               {{c - foot, bottom}, {c + foot, bottom}, {c, notch}},
           });
    x += w + gap;
  }
  add(x, {{{0, bottom}, {s, bottom}, {s, top}, {0, top}}});  // I
  Soup logo = Extrude(letters, 0.28);
  logo.Orient();
  return logo;
}

// A candy-bar phone standing along y, its front (screen and keys) facing -z.
Soup Cellphone() {
  const double cx = -0.001;  // the body is a hair left of the axis
  Soup s = RoundedBox({cx - 0.0374, -0.0879, -0.0246}, {cx + 0.0374, 0.078, 0.0103}, 0.008, 12);
  s.Append(Rod({cx + 0.023, 0.07, 0.0}, {cx + 0.023, 0.0883, 0.0}, 0.0045, 12));  // antenna stub
  s.Append(Box({cx - 0.0255, 0.014, -0.0262}, {cx + 0.0255, 0.062, -0.02}, 0.0015));  // screen
  auto key = [&](double x, double y, double w, double h) {
    s.Append(RoundedBox({cx + x - w / 2, y - h / 2, -0.0286}, {cx + x + w / 2, y + h / 2, -0.022},
                        0.0025, 3));
  };
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 3; ++col) key(-0.019 + 0.019 * col, -0.015 - 0.0145 * row, 0.015, 0.0085);
  key(-0.021, 0.0015, 0.012, 0.0075);  // soft keys
  key(0.021, 0.0015, 0.012, 0.0075);
  key(0, 0.0015, 0.018, 0.0095);  // navigation key
  return s;
}

// A small prison cell, floor at y = 0, seen from inside: walls, a barred
// window in the +x wall, a bed, a washbasin, a toilet, a table with cups, a
// bucket and a bowl. Wall pieces overlap a little so no two share a corner.
Soup PrisonCell(int floorX, int floorZ) {
  const double X0 = -4.887, X1 = 5.325, Y0 = -0.030, Y1 = 6.046, Z0 = -3.456, Z1 = 3.695;
  const double t = 0.25, ceiling = 5.8, e = 0.08, lap = 0.01;
  Soup s;
  s.Append(CubeSurface(EdgeStrips(X0, X1, e, floorX), EdgeStrips(Y0, 0, 0.01, 1),
                       EdgeStrips(Z0, Z1, e, floorZ), [](V3 p) { return p; }));
  s.Append(Box({X0, ceiling, Z0}, {X1, Y1, Z1}, e));
  s.Append(Box({X0, -lap, Z0}, {X0 + t, ceiling + lap, Z1}, e));
  s.Append(Box({X0 + t - lap, -lap, Z0}, {X1, ceiling + lap, Z0 + t}, e));
  s.Append(Box({X0 + t - lap, -lap, Z1 - t}, {X1, ceiling + lap, Z1}, e));
  // The +x wall around the window opening.
  const double za = Z0 + t - lap, zb = Z1 - t + lap, w0 = -1.0, w1 = 1.0, sill = 2.6, lintel = 4.4;
  s.Append(Box({X1 - t, -lap, za}, {X1, sill, zb}, e));
  s.Append(Box({X1 - t, lintel, za}, {X1, ceiling + lap, zb}, e));
  s.Append(Box({X1 - t, sill - lap, za}, {X1, lintel + lap, w0}, e));
  s.Append(Box({X1 - t, sill - lap, w1}, {X1, lintel + lap, zb}, e));
  for (int i = 0; i < 5; ++i) {
    double z = -0.68 + 0.34 * i;
    s.Append(Rod({X1 - t / 2, sill - 0.05, z}, {X1 - t / 2, lintel + 0.05, z}, 0.04, 10));
  }
  s.Append(Rod({X1 - t / 2 - 0.05, 3.5, w0 - 0.05}, {X1 - t / 2 - 0.05, 3.5, w1 + 0.05}, 0.035, 10));

  // Bed along the +z wall, pillow at the window end.
  for (double lx : {0.65, 4.45})
    for (double lz : {2.05, 3.28}) s.Append(Box({lx, 0, lz}, {lx + 0.12, 0.46, lz + 0.12}, 0.02));
  s.Append(Box({0.6, 0.45, 2.0}, {4.6, 0.7, 3.43}, 0.04));
  s.Append(RoundedBox({0.65, 0.69, 2.05}, {4.55, 1.0, 3.4}, 0.1, 6));
  s.Append(RoundedBox({3.65, 0.98, 2.25}, {4.45, 1.24, 3.25}, 0.12, 6));

  // Washbasin on its pedestal against the -z wall, with a tap.
  const V3 basin{-2.0, 0, -2.72};
  s.Append(Lathe({{0, 0}, {0.3, 0}, {0.3, 0.06}, {0.15, 0.16}, {0.12, 0.6}, {0.12, 1.1},
                  {0.2, 1.2}, {0, 1.2}},
                 20, basin));
  s.Append(Lathe({{0, 1.15}, {0.25, 1.17}, {0.45, 1.3}, {0.5, 1.45}, {0.5, 1.5}, {0.44, 1.5},
                  {0.4, 1.4}, {0.22, 1.31}, {0, 1.29}},
                 24, basin));
  s.Append(Rod({basin.x, 1.45, -3.21}, {basin.x, 1.45, -2.95}, 0.03, 8));

  // Toilet in the corner by the window, cistern against the -z wall.
  const V3 toilet{3.6, 0, -2.55};
  s.Append(Lathe({{0, 0}, {0.28, 0}, {0.3, 0.05}, {0.26, 0.3}, {0.38, 0.6}, {0.45, 0.75},
                  {0.45, 0.8}, {0.38, 0.8}, {0.3, 0.66}, {0.1, 0.52}, {0, 0.5}},
                 24, toilet));
  s.Append(RoundedBox({3.2, 0.6, -3.21}, {4.0, 1.5, -2.86}, 0.05, 4));

  // Table with three cups.
  s.Append(RoundedBox({-2.6, 1.3, 1.7}, {-0.6, 1.42, 2.9}, 0.03, 3));
  for (double lx : {-2.45, -0.75})
    for (double lz : {1.85, 2.75}) s.Append(Rod({lx, 0, lz}, {lx, 1.31, lz}, 0.05, 12));
  const Profile cup = {{0, 0}, {0.09, 0}, {0.11, 0.22}, {0.09, 0.22}, {0.075, 0.03}, {0, 0.03}};
  for (V3 at : {V3{-2.1, 1.42, 2.05}, V3{-1.4, 1.42, 2.5}, V3{-1.0, 1.42, 2.0}})
    s.Append(Lathe(cup, 16, at));

  // A bucket and a bowl on the floor.
  s.Append(Lathe({{0, 0}, {0.3, 0}, {0.38, 0.6}, {0.35, 0.6}, {0.28, 0.04}, {0, 0.04}}, 24,
                 {0.8, 0, -1.8}));
  s.Append(Lathe({{0, 0}, {0.15, 0}, {0.3, 0.12}, {0.32, 0.15}, {0.29, 0.15}, {0.14, 0.04},
                  {0, 0.04}},
                 24, {-3.0, 0, 0.9}));
  return s;
}

void Extents(const std::vector<OutTri>& mesh, float lo[3], float hi[3]) {
  for (int a = 0; a < 3; ++a) lo[a] = 1e9f, hi[a] = -1e9f;
  for (const OutTri& t : mesh)
    for (const OutVertex& v : t.v) {
      const float p[3] = {v.x, v.y, v.z};
      for (int a = 0; a < 3; ++a) lo[a] = std::fmin(lo[a], p[a]), hi[a] = std::fmax(hi[a], p[a]);
    }
}

void Write(std::FILE* out, const char* name, const std::vector<OutTri>& mesh) {
  std::fprintf(out, "const TriangleRecord %sTriangles[] = {\n", name);
  for (const OutTri& t : mesh) {
    std::fprintf(out, "  {{");
    for (const OutVertex& v : t.v)
      std::fprintf(out, "{%.9g,%.9g,%.9g,%.9g,%.9g,%.9g},", v.x, v.y, v.z, v.nx, v.ny, v.nz);
    std::fprintf(out, "},{%.9g,%.9g,%.9g}},\n", t.n[0], t.n[1], t.n[2]);
  }
  std::fprintf(out, "};\nconst int %sTriangleCount = %zu;\n\n", name, mesh.size());
  float lo[3], hi[3];
  Extents(mesh, lo, hi);
  std::printf("%-22s %5zu triangles, x %.4f..%.4f y %.4f..%.4f z %.4f..%.4f\n", name,
              mesh.size(), lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mesh_generator OUTPUT.cpp\n");
    return 2;
  }
  int positions = 0;
  // The floor's tiling takes up the prison cell's remaining triangle budget.
  const int kPrisonTarget = 5856;
  int bestX = 1, bestZ = 1, bestMiss = 1 << 30;
  for (int fx = 1; fx <= 24; ++fx)
    for (int fz = 1; fz <= 24; ++fz) {
      int miss = std::abs(int(PrisonCell(fx, fz).tris.size()) - kPrisonTarget);
      if (miss < bestMiss) bestMiss = miss, bestX = fx, bestZ = fz;
    }

  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "// Generated by tools/mesh_generator; do not edit.\n#include \"assets/mesh.h\"\n\n");
  Write(out, "g_bloodCell", Finish(BloodCell(), &positions));
  Write(out, "g_chromeLogo", Finish(ChromeLogo(), &positions));
  Write(out, "g_cellphone", Finish(Cellphone(), &positions));
  Write(out, "g_prisonCell", Finish(PrisonCell(bestX, bestZ), &positions));
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
