// Models the show's four meshes procedurally and writes them as constant
// triangle-record arrays for the program: mesh_generator OUTPUT.cpp
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "generators/mesh_geometry.h"

namespace {

typedef std::vector<std::pair<double, double>> Profile;

// A biconcave disc: 10 rings of 16 positions, the innermost ring of each side
// closed by a flat polygon. The centre is less than half as thick as the
// thickest ring, so the dimple shows, and the profile runs out to a sharp rim
// where the two faces meet, so overlapping cells still read as two.
Soup BloodCell() {
  const Profile top = {{0.027, 0.0100}, {0.051, 0.0188}, {0.072, 0.0244}, {0.0842, 0.0178},
                       {0.0885, 0.0012}};
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
// at z = -depth/2 facing -z, back face at +depth/2, one side wall on each
// outline edge (the chrome reads face normals, so more bands would add nothing).
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
      s.Quad({a.first, a.second, zf}, {b.first, b.second, zf}, {b.first, b.second, zb},
             {a.first, a.second, zb});
    }
  }
  return s;
}

// A rounded rectangle (superellipse) outline of n points, counter-clockwise.
Polygon Superellipse(double cx, double cy, double rx, double ry, double power, int n) {
  Polygon p;
  for (int k = 0; k < n; ++k) {
    double a = 2 * M_PI * k / n, c = std::cos(a), s = std::sin(a);
    p.push_back({cx + rx * std::copysign(std::pow(std::fabs(c), 2 / power), c),
                 cy + ry * std::copysign(std::pow(std::fabs(s), 2 / power), s)});
  }
  return p;
}

// The group logo ORVI in block letters, 2.2 x 1.14 x 0.28. The O is a round
// ring of 16 segments with an open counter, so it cannot be read as a D.
Soup ChromeLogo() {
  const double s = 0.18, top = 0.57, bottom = -0.57, gap = 0.07;
  std::vector<Polygon> letters;
  auto add = [&](double x0, std::vector<Polygon> shapes) {
    for (Polygon& p : shapes) {
      for (auto& v : p) v.first += x0;
      letters.push_back(p);
    }
  };
  double x = -1.1;
  {  // O
    const double w = 0.68;
    const int n = 16;
    Polygon outer = Superellipse(w / 2, 0, w / 2, top, 2.6, n);
    Polygon inner = Superellipse(w / 2, 0, w / 2 - 0.17, top - 0.15, 2.6, n);
    std::vector<Polygon> ring;
    for (int k = 0; k < n; ++k)
      ring.push_back({outer[k], outer[(k + 1) % n], inner[(k + 1) % n], inner[k]});
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
    double w = 0.57, foot = 0.1, c = w / 2;
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
// The back is seen in full-screen close-ups, so it carries relief: a battery
// cover whose raised edge is the seam, grip ribs and a label plate on it, and
// a speaker grille of slots above.
Soup Cellphone() {
  const double cx = -0.001;  // the body is a hair left of the axis
  const double back = 0.0088;
  Soup s = RoundedBox({cx - 0.0374, -0.0879, -0.0246}, {cx + 0.0374, 0.078, back}, 0.008, 10, 14,
                      8);
  s.Append(Rod({cx + 0.023, 0.07, 0.0}, {cx + 0.023, 0.0883, 0.0}, 0.0045, 12));  // antenna stub
  s.Append(Box({cx - 0.0255, 0.014, -0.0262}, {cx + 0.0255, 0.062, -0.02}, 0.0015));  // screen
  auto key = [&](double x, double y, double w, double h) {
    s.Append(RoundedBox({cx + x - w / 2, y - h / 2, -0.0286}, {cx + x + w / 2, y + h / 2, -0.022},
                        0.0025, 3, 3, 2));
  };
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 3; ++col) key(-0.019 + 0.019 * col, -0.015 - 0.0145 * row, 0.015, 0.0085);
  key(-0.021, 0.0015, 0.012, 0.0075);  // soft keys
  key(0.021, 0.0015, 0.012, 0.0075);
  key(0, 0.0015, 0.018, 0.0095);  // navigation key

  // Battery cover, standing proud of the back; its edge is the seam.
  const double cover = back + 0.0011;
  s.Append(RoundedBox({cx - 0.0305, -0.0815, back - 0.0008}, {cx + 0.0305, 0.024, cover}, 0.0009,
                      4, 6, 2));
  // Grip ribs across the lower cover, half sunk into it.
  for (int i = 0; i < 6; ++i) {
    double y = -0.076 + 0.0052 * i;
    s.Append(Rod({cx - 0.024, y, cover - 0.0002}, {cx + 0.024, y, cover - 0.0002}, 0.0009, 6));
  }
  // Label plate with a latch tab above it.
  s.Append(RoundedBox({cx - 0.019, -0.036, cover - 0.0003}, {cx + 0.019, -0.005, cover + 0.0005},
                      0.00035, 4, 4, 2));
  s.Append(RoundedBox({cx - 0.007, 0.0125, cover - 0.0003}, {cx + 0.007, 0.0195, cover + 0.0006},
                      0.0004, 3, 3, 2));
  // Speaker grille: slots in a raised frame near the top of the back.
  s.Append(RoundedBox({cx - 0.017, 0.038, back - 0.0006}, {cx + 0.017, 0.064, back + 0.0007},
                      0.0006, 4, 4, 2));
  for (int i = 0; i < 5; ++i) {
    double y = 0.0425 + 0.0043 * i;
    s.Append(Rod({cx - 0.013, y, back + 0.0007}, {cx + 0.013, y, back + 0.0007}, 0.0011, 6));
  }
  return s;
}

// Lattice coordinates from lo to hi through the given features, with a narrow
// strip on both sides of each (where smooth normals bend at an edge) and no
// cell longer than maxCell.
std::vector<double> Lattice(double lo, double hi, std::vector<double> features, double strip,
                            double maxCell) {
  std::vector<double> v{lo, hi, lo + strip, hi - strip};
  for (double f : features) {
    v.push_back(f - strip);
    v.push_back(f);
    v.push_back(f + strip);
  }
  std::sort(v.begin(), v.end());
  std::vector<double> out;
  for (double x : v) {
    if (!out.empty() && x - out.back() > maxCell) {
      int cells = int(std::ceil((x - out.back()) / maxCell));
      double from = out.back();
      for (int i = 1; i < cells; ++i) out.push_back(from + (x - from) * i / cells);
    }
    out.push_back(x);
  }
  return out;
}

std::vector<double> Between(const std::vector<double>& lattice, double lo, double hi) {
  std::vector<double> v;
  for (double x : lattice)
    if (x >= lo - 1e-9 && x <= hi + 1e-9) v.push_back(x);
  return v;
}

// A grid on a plane over two lattices, each quad wound to face along facing;
// cells that skip() names are left open.
template <class Point, class Skip>
void GridFace(Soup& s, const std::vector<double>& ga, const std::vector<double>& gb, Point point,
              V3 facing, Skip skip) {
  for (size_t i = 0; i + 1 < ga.size(); ++i)
    for (size_t j = 0; j + 1 < gb.size(); ++j) {
      if (skip(ga[i], ga[i + 1], gb[j], gb[j + 1])) continue;
      V3 a = point(ga[i], gb[j]), b = point(ga[i + 1], gb[j]), c = point(ga[i + 1], gb[j + 1]),
         d = point(ga[i], gb[j + 1]);
      if (Dot(Cross(b - a, c - a), facing) < 0)
        s.Quad(a, d, c, b);
      else
        s.Quad(a, b, c, d);
    }
}

// A small prison cell, floor at y = 0, seen from inside. The room is one
// surface, floor, walls and ceiling on shared lattices, so there is no seam or
// overlap for the soft edges to show; the window is a tunnel through the +x
// wall with a lit panel at its far end for the bars to stand against. Things
// in the room sink a little into the floor or wall they stand on, so no two
// faces lie in one plane. floorCell sets the grid size that takes up the
// remaining triangle budget.
Soup PrisonCell(double floorCell) {
  const double X0 = -4.887, XI = 5.075, XR = 5.30, X1 = 5.325, Y = 6.0, Z0 = -3.456, Z1 = 3.695;
  const double e = 0.06, w0 = -1.0, w1 = 1.0, sill = 2.6, lintel = 4.4;
  const auto none = [](double, double, double, double) { return false; };
  const std::vector<double> gx = Lattice(X0, XI, {}, e, floorCell);
  const std::vector<double> gy = Lattice(0, Y, {sill, lintel}, e, 2.0);
  const std::vector<double> gz = Lattice(Z0, Z1, {w0, w1}, e, floorCell);
  Soup s;
  GridFace(s, gx, gz, [](double x, double z) { return V3{x, 0, z}; }, {0, 1, 0}, none);
  GridFace(s, gx, gz, [&](double x, double z) { return V3{x, Y, z}; }, {0, -1, 0}, none);
  GridFace(s, gy, gz, [&](double y, double z) { return V3{X0, y, z}; }, {1, 0, 0}, none);
  GridFace(s, gx, gy, [&](double x, double y) { return V3{x, y, Z0}; }, {0, 0, 1}, none);
  GridFace(s, gx, gy, [&](double x, double y) { return V3{x, y, Z1}; }, {0, 0, -1}, none);
  GridFace(s, gy, gz, [&](double y, double z) { return V3{XI, y, z}; }, {-1, 0, 0},
           [&](double y0, double y1, double z0, double z1) {
             return y0 >= sill - 1e-9 && y1 <= lintel + 1e-9 && z0 >= w0 - 1e-9 && z1 <= w1 + 1e-9;
           });
  // The window tunnel: sill, lintel and the two jambs.
  const std::vector<double> rx = {XI, XI + e, XR}, wy = Between(gy, sill, lintel),
                            wz = Between(gz, w0, w1);
  GridFace(s, rx, wz, [&](double x, double z) { return V3{x, sill, z}; }, {0, 1, 0}, none);
  GridFace(s, rx, wz, [&](double x, double z) { return V3{x, lintel, z}; }, {0, -1, 0}, none);
  GridFace(s, rx, wy, [&](double x, double y) { return V3{x, y, w0}; }, {0, 0, 1}, none);
  GridFace(s, rx, wy, [&](double x, double y) { return V3{x, y, w1}; }, {0, 0, -1}, none);
  // Daylight: a panel beyond the tunnel whose normals face the scenes' light,
  // so it takes the ramp's brightest band behind the bars.
  Soup sky = PlainBox({XR + 0.01, sill - 0.15, w0 - 0.15}, {X1, lintel + 0.15, w1 + 0.15});
  sky.SetNormal({0.044, 0.866, -0.498});
  s.Append(sky);
  const double xb = (XI + XR) / 2;
  for (int i = 0; i < 5; ++i) {
    double z = -0.68 + 0.34 * i;
    s.Append(Rod({xb, sill - 0.06, z}, {xb, lintel + 0.06, z}, 0.04, 10));
  }
  s.Append(Rod({xb - 0.06, 3.5, w0 - 0.06}, {xb - 0.06, 3.5, w1 + 0.06}, 0.035, 10));
  // Stone blocks frame the window: quoins on both sides, a lintel and a sill ledge.
  // Their soft edges are wide enough to stay whole lines from across the room.
  auto stone = [&](V3 lo, V3 hi) { s.Append(Box(lo, hi, 0.045)); };
  for (int k = 0; k < 3; ++k) {
    double y0 = sill + 0.02 + 0.6 * k, y1 = y0 + 0.55, long_ = k % 2 ? 0.62 : 0.38;
    stone({XI - 0.12, y0, w1 + 0.05}, {XI + 0.02, y1, w1 + 0.05 + long_});
    stone({XI - 0.12, y0, w0 - 0.05 - long_}, {XI + 0.02, y1, w0 - 0.05});
  }
  stone({XI - 0.13, lintel + 0.05, w0 - 0.45}, {XI + 0.02, lintel + 0.45, w1 + 0.45});
  stone({XI - 0.18, sill - 0.17, w0 - 0.3}, {XI + 0.02, sill - 0.04, w1 + 0.3});

  // Bed along the +z wall, pillow at the window end.
  for (double lx : {0.65, 3.78})
    for (double lz : {2.05, 3.28})
      s.Append(PlainBox({lx, -0.02, lz}, {lx + 0.12, 0.46, lz + 0.12}));
  s.Append(Box({0.6, 0.45, 2.0}, {3.95, 0.7, 3.43}, 0.04));
  s.Append(RoundedBox({0.65, 0.69, 2.05}, {3.9, 1.0, 3.4}, 0.1, 12, 4, 6));
  s.Append(RoundedBox({3.05, 0.98, 2.25}, {3.8, 1.24, 3.25}, 0.12, 4));

  // Toilet under the window, its cistern against the wall.
  const V3 toilet{4.52, -0.02, -1.8};
  s.Append(Lathe({{0, 0}, {0.28, 0}, {0.3, 0.05}, {0.26, 0.3}, {0.38, 0.6}, {0.45, 0.75},
                  {0.45, 0.8}, {0.38, 0.8}, {0.3, 0.66}, {0.1, 0.52}, {0, 0.5}},
                 16, toilet));
  s.Append(RoundedBox({4.72, 0.6, -2.2}, {XI + 0.03, 1.5, -1.4}, 0.05, 4));
  s.Append(Rod({XI - 0.1, 1.48, -1.95}, {XI - 0.1, 1.62, -1.95}, 0.03, 8));  // flush button

  // Washbasin on its pedestal in the corner by the bed, a tap and a steel
  // mirror above it.
  const V3 basin{XI - 0.46, -0.02, 2.85};
  s.Append(Lathe({{0, 0}, {0.3, 0}, {0.3, 0.06}, {0.15, 0.16}, {0.12, 0.6}, {0.12, 1.1},
                  {0.2, 1.2}, {0, 1.2}},
                 16, basin));
  s.Append(Lathe({{0, 1.15}, {0.25, 1.17}, {0.45, 1.3}, {0.5, 1.45}, {0.5, 1.5}, {0.44, 1.5},
                  {0.4, 1.4}, {0.22, 1.31}, {0, 1.29}},
                 16, basin));
  s.Append(Rod({XI + 0.02, 1.62, basin.z}, {basin.x + 0.05, 1.62, basin.z}, 0.03, 8));
  s.Append(Box({XI - 0.04, 2.0, basin.z - 0.32}, {XI + 0.02, 2.75, basin.z + 0.32}, 0.02));

  // Shelf over the bed with books and a cup; tally marks scratched beside it.
  s.Append(Box({1.0, 2.35, Z1 - 0.36}, {2.7, 2.43, Z1 + 0.02}, 0.015));
  for (double bx : {1.2, 2.45})
    s.Append(PlainBox({bx, 2.05, Z1 - 0.3}, {bx + 0.06, 2.36, Z1 + 0.015}));
  double bookX = 1.1;
  const double books[][2] = {{0.09, 0.42}, {0.07, 0.36}, {0.11, 0.46}, {0.08, 0.33}, {0.1, 0.4}};
  for (const auto& book : books) {
    s.Append(PlainBox({bookX, 2.42, Z1 - 0.3}, {bookX + book[0], 2.42 + book[1], Z1 - 0.06}));
    bookX += book[0] + 0.015;
  }
  s.Append(Lathe({{0, 0}, {0.09, 0}, {0.11, 0.22}, {0.09, 0.22}, {0.075, 0.03}, {0, 0.03}}, 16,
                 {2.35, 2.42, Z1 - 0.18}));
  for (int group = 0; group < 4; ++group) {
    double gx0 = 2.95 + 0.42 * group, gy0 = 1.75 + 0.07 * (group % 2);
    for (int m = 0; m < 4; ++m)
      s.Append(PlainBox({gx0 + 0.075 * m, gy0, Z1 - 0.025},
                        {gx0 + 0.075 * m + 0.035, gy0 + 0.42, Z1 + 0.01}));
    Soup slash = PlainBox({gx0 - 0.06, gy0 + 0.19, Z1 - 0.03}, {gx0 + 0.33, gy0 + 0.225, Z1 + 0.005});
    slash.RotateZ(35, {gx0 + 0.135, gy0 + 0.21, 0});
    s.Append(slash);
  }

  // The door in the -x wall: frame, leaf, a hatch with its shelf, and a lock.
  const double dz = -1.6;
  s.Append(Box({X0 - 0.03, -0.03, dz - 0.75}, {X0 + 0.07, 2.75, dz + 0.75}, 0.02));
  s.Append(Box({X0 - 0.01, 0.04, dz - 0.62}, {X0 + 0.12, 2.62, dz + 0.62}, 0.025));
  s.Append(Box({X0 + 0.1, 1.45, dz - 0.3}, {X0 + 0.17, 1.8, dz + 0.3}, 0.015));
  s.Append(PlainBox({X0 + 0.1, 1.36, dz - 0.34}, {X0 + 0.32, 1.41, dz + 0.34}));
  s.Append(PlainBox({X0 + 0.1, 1.1, dz + 0.38}, {X0 + 0.2, 1.3, dz + 0.5}));
  for (double ry : {0.35, 2.3})
    for (double rz : {-0.5, -0.25, 0.0, 0.25, 0.5})
      s.Append(PlainBox({X0 + 0.1, ry - 0.025, dz + rz - 0.025}, {X0 + 0.15, ry + 0.025, dz + rz + 0.025}));  // rivets

  // Table with three cups.
  s.Append(RoundedBox({-2.6, 1.3, 1.7}, {-0.6, 1.42, 2.9}, 0.03, 3));
  for (double lx : {-2.45, -0.75})
    for (double lz : {1.85, 2.75}) s.Append(Rod({lx, -0.02, lz}, {lx, 1.31, lz}, 0.05, 8));
  const Profile cup = {{0, 0}, {0.09, 0}, {0.11, 0.22}, {0.09, 0.22}, {0.075, 0.03}, {0, 0.03}};
  for (V3 at : {V3{-2.1, 1.4, 2.05}, V3{-1.4, 1.4, 2.5}, V3{-1.0, 1.4, 2.0}})
    s.Append(Lathe(cup, 12, at));

  // Two heating pipes along the window wall, from side wall to side wall.
  for (double py : {1.78, 1.93})
    s.Append(Rod({XI - 0.09, py, Z0 - 0.05}, {XI - 0.09, py, Z1 + 0.05}, 0.05, 10));

  // A bucket under the window and a bowl on the floor.
  s.Append(Lathe({{0, 0}, {0.3, 0}, {0.38, 0.6}, {0.35, 0.6}, {0.28, 0.04}, {0, 0.04}}, 16,
                 {4.4, -0.02, 0.2}));
  s.Append(Lathe({{0, 0}, {0.15, 0}, {0.3, 0.12}, {0.32, 0.15}, {0.29, 0.15}, {0.14, 0.04},
                  {0, 0.04}},
                 16, {-3.0, -0.02, 0.9}));
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
  // The floor's grid takes up the prison cell's remaining triangle budget.
  const int kPrisonTarget = 5856;
  double bestCell = 1, bestMiss = 1e9;
  for (double cell = 0.3; cell <= 3.0; cell += 0.01) {
    double miss = std::fabs(double(PrisonCell(cell).tris.size()) - kPrisonTarget);
    if (miss < bestMiss) bestMiss = miss, bestCell = cell;
  }

  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out, "// Generated by generators/mesh_generator; do not edit.\n#include \"assets/mesh.h\"\n\n");
  Write(out, "g_bloodCell", Finish(BloodCell(), &positions));
  Write(out, "g_chromeLogo", Finish(ChromeLogo(), &positions));
  Write(out, "g_cellphone", Finish(Cellphone(), &positions));
  Write(out, "g_prisonCell", Finish(PrisonCell(bestCell), &positions));
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
