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

// A biconcave disc: 10 rings of 32 positions, the innermost ring of each side
// closed by a flat polygon. The centre is less than half as thick as the
// thickest ring, so the dimple shows, and the profile runs out to a sharp rim
// where the two faces meet, so overlapping cells still read as two.
Soup BloodCell() {
  const Profile top = {{0.027, 0.0100}, {0.051, 0.0188}, {0.072, 0.0244}, {0.0842, 0.0178},
                       {0.0885, 0.0012}};
  Profile rings = top;
  for (int i = int(top.size()) - 1; i >= 0; --i) rings.push_back({top[i].first, -top[i].second});
  const int sectors = 32;  // enough that the rim stays round on a 1080p screen
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
// outline edge, and between each face and the wall a chamfer `chamfer` wide
// and deep: the faces shrink by it, each outline vertex moved in along the mitre
// of its two outline edges. The chrome reads face normals, so the chamfers
// mirror another part of the sky than the faces and the walls, and the letters'
// edges catch the light.
Soup Extrude(const std::vector<Polygon>& polygons, double depth, double chamfer) {
  typedef std::pair<double, double> P2;
  Soup s;
  double zf = -depth / 2, zb = depth / 2, zc = zf + chamfer, zd = zb - chamfer;
  std::map<std::pair<P2, P2>, int> edgeUse;
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
  auto outline = [&](P2 a, P2 b) { return edgeUse[{std::min(a, b), std::max(a, b)}] == 1; };
  // The inward normals of the outline edges at each outline vertex.
  std::map<P2, std::vector<P2>> inward;
  for (const Polygon& p : ccw)
    for (size_t i = 0; i < p.size(); ++i) {
      P2 a = p[i], b = p[(i + 1) % p.size()];
      if (!outline(a, b)) continue;
      double dx = b.first - a.first, dy = b.second - a.second, l = std::hypot(dx, dy);
      inward[a].push_back({-dy / l, dx / l});
      inward[b].push_back({-dy / l, dx / l});
    }
  auto moved = [&](P2 a) {
    auto found = inward.find(a);
    if (found == inward.end() || found->second.size() != 2) return a;
    P2 n1 = found->second[0], n2 = found->second[1];
    double k = chamfer / (1 + n1.first * n2.first + n1.second * n2.second);
    k = std::fmin(k, 2.5 * chamfer);  // a sharp corner's mitre would run far
    return P2{a.first + (n1.first + n2.first) * k, a.second + (n1.second + n2.second) * k};
  };
  auto at = [](P2 p, double z) { return V3{p.first, p.second, z}; };
  for (const Polygon& p : ccw) {
    for (size_t i = 1; i + 1 < p.size(); ++i) {
      s.Triangle(at(moved(p[0]), zb), at(moved(p[i]), zb), at(moved(p[i + 1]), zb));
      s.Triangle(at(moved(p[0]), zf), at(moved(p[i + 1]), zf), at(moved(p[i]), zf));
    }
    for (size_t i = 0; i < p.size(); ++i) {
      auto a = p[i], b = p[(i + 1) % p.size()];
      if (!outline(a, b)) continue;
      s.Quad(at(moved(a), zf), at(moved(b), zf), at(b, zc), at(a, zc));
      s.Quad(at(a, zc), at(b, zc), at(b, zd), at(a, zd));
      s.Quad(at(a, zd), at(b, zd), at(moved(b), zb), at(moved(a), zb));
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
std::vector<Polygon> LogoLetters() {
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
  return letters;
}

Soup ChromeLogo() {
  Soup logo = Extrude(LogoLetters(), 0.28, 0.045);
  logo.Orient();
  return logo;
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

// A chamfered plate standing proud of a surface at origin, w along u and h
// along v, facing n: its face, tilted a little, and a chamfer all round that
// runs back into the surface, so face and chamfers fall in different bands.
// It is open behind, where the surface hides it, and its rim sinks `sink`
// below the surface, so no edge of it meets the surface's.
void Plate(Soup& s, V3 origin, V3 u, V3 v, V3 n, double w, double h, double proud, double bevel,
           double sink, double tiltU = 0, double tiltV = 0, double bendUp = 0) {
  const size_t first = s.tris.size();
  const std::vector<double> ga = {0, bevel, w - bevel, w}, gb = {0, bevel, h - bevel, h};
  auto point = [&](double a, double b) {
    bool rim = a == 0 || a == w || b == 0 || b == h;
    double depth = rim ? -sink : proud + tiltU * (a - w / 2) + tiltV * (b - h / 2);
    return origin + u * a + v * b + n * depth;
  };
  GridFace(s, ga, gb, point, n, [](double, double, double, double) { return false; });
  // The face (the middle quad of the nine) may take a normal bent toward v:
  // a stone's dressed face that catches light from above whichever way its
  // wall faces, so walls turned from the light still read in the middle bands.
  if (bendUp > 0)
    for (size_t t = first + 8; t < first + 10; ++t) s.tris[t].light = Normalized(n + v * bendUp);
}

// A wall's open stretches: the span lo..hi less the intervals given.
std::vector<std::pair<double, double>> Gaps(double lo, double hi,
                                            std::vector<std::pair<double, double>> holes) {
  std::sort(holes.begin(), holes.end());
  std::vector<std::pair<double, double>> open;
  double at = lo;
  for (auto [a, b] : holes) {
    if (a > at) open.push_back({at, std::fmin(a, hi)});
    at = std::fmax(at, b);
  }
  if (at < hi) open.push_back({at, hi});
  return open;
}

struct Hole {
  double u0, u1, v0, v1;  // in the wall's own coordinates
};

// Courses of dressed stones over a wall, laid in running bond: courses of
// `course` high, stones 0.7 to 1.3 long, mortar joints of 0.05; holes (the
// window, the door, a plastered patch) are left free, the stones beside them
// cut to their edges. seed varies the stones from wall to wall.
void StoneWall(Soup& s, V3 origin, V3 u, V3 v, V3 n, double length, double height,
               const std::vector<Hole>& holes, unsigned seed) {
  const double course = 0.6, joint = 0.05;
  auto random = [&]() {
    seed = seed * 1103515245u + 12345u;
    return double((seed >> 8) & 0xffff) / 65535.0;
  };
  for (int row = 0; row * course < height - 0.2; ++row) {
    double v0 = row * course + joint / 2, v1 = std::fmin(height, (row + 1) * course) - joint / 2;
    std::vector<std::pair<double, double>> cut;
    for (const Hole& hole : holes)
      if (hole.v0 < v1 && hole.v1 > v0) cut.push_back({hole.u0, hole.u1});
    for (auto [a, b] : Gaps(0, length, cut)) {
      double at = a + joint / 2;
      bool first = true;
      while (b - joint / 2 - at > 0.25) {
        // Odd courses start with a short stone, so the joints alternate.
        double len = first && row % 2 ? 0.35 + 0.25 * random() : 0.7 + 0.6 * random();
        first = false;
        if (b - joint / 2 - (at + len) < 0.45) len = b - joint / 2 - at;  // no sliver at the end
        Plate(s, origin + u * at + v * v0, u, v, n, len, v1 - v0, 0.11, 0.04, 0.02,
              (random() - 0.5) * 0.09, (random() - 0.5) * 0.12, 1.6 + 0.8 * random());
        at += len + joint;
      }
    }
  }
}

// A candy-bar phone standing along y, its front (screen and keys) facing -z.
// The back fills the screen in the close-ups, so it must say "phone" by its
// relief alone: a bold antenna, a camera ring, a battery cover standing well
// proud with chamfered edges, grip ribs, the maker's plate with ORVI raised on
// it and a speaker grille. Inside, a circuit board with its chips is what the
// near clip plane opens up as the camera comes through the back.
Soup Cellphone() {
  const double cx = -0.001;  // the body is a hair left of the axis
  const double back = 0.0088;
  const V3 ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1};
  Soup s = RoundedBox({cx - 0.0374, -0.0879, -0.0246}, {cx + 0.0374, 0.078, back}, 0.008, 10, 14,
                      8);
  // Antenna: a thick stub with a collar and a rounded cap.
  s.Append(Lathe({{0, 0}, {0.0095, 0}, {0.0095, 0.0075}, {0.0075, 0.0095}, {0.0075, 0.028},
                  {0.0062, 0.0318}, {0.0036, 0.0338}, {0, 0.0343}},
                 16, {cx + 0.0215, 0.071, -0.0075}));
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

  // Battery cover, standing well proud of the back, its chamfer the seam.
  const double cover = back + 0.0028;
  Plate(s, {cx - 0.031, -0.082, back}, ex, ey, ez, 0.062, 0.107, 0.0028, 0.0026, 0.0006);
  // Grip ribs across the lower cover, half sunk into it.
  for (int i = 0; i < 5; ++i) {
    double y = -0.0765 + 0.0056 * i;
    s.Append(Rod({cx - 0.023, y, cover - 0.0003}, {cx + 0.023, y, cover - 0.0003}, 0.0014, 8));
  }
  // The maker's plate, with the group's letters raised on it, and the latch.
  Plate(s, {cx - 0.021, -0.043, cover}, ex, ey, ez, 0.042, 0.026, 0.0012, 0.0016, 0.0004);
  Soup maker = Extrude(LogoLetters(), 0.28, 0.05);
  maker.Orient();
  const double k = 0.0145;  // the logo's 2.2 wide, 1.14 high to the plate
  maker.Transform({k, k, -0.005}, {cx, -0.030, cover + 0.0012 + 0.00055});
  maker.Orient();
  s.Append(maker);
  Plate(s, {cx - 0.008, 0.0145, cover}, ex, ey, ez, 0.016, 0.0075, 0.0011, 0.0014, 0.0004);
  // Camera: a ring round a domed lens, beside the antenna, turned from the
  // y axis onto the z axis.
  Soup camera = Lathe({{0, back - 0.0005}, {0.0072, back - 0.0005}, {0.0072, back + 0.0018},
                       {0.0058, back + 0.0024}, {0.0046, back + 0.0015}, {0.0030, back + 0.0024},
                       {0, back + 0.0028}},
                      16, {0, 0, 0});
  for (Tri& t : camera.tris)
    for (V3& p : t.p) p = V3{cx - 0.012 + p.x, 0.061 - p.z, p.y};
  s.Append(camera);
  // Speaker grille: slots in a chamfered frame between camera and cover.
  Plate(s, {cx - 0.017, 0.031, back}, ex, ey, ez, 0.024, 0.02, 0.0012, 0.0014, 0.0004);
  for (int i = 0; i < 4; ++i) {
    double y = 0.0345 + 0.0043 * i;
    s.Append(Rod({cx - 0.0135, y, back + 0.0012}, {cx + 0.0035, y, back + 0.0012}, 0.0011, 6));
  }

  // The circuit board inside, under the back, with its chips and a battery.
  s.Append(PlainBox({cx - 0.033, -0.083, -0.0045}, {cx + 0.033, 0.072, -0.003}));
  const double chips[][4] = {{-0.02, 0.03, 0.018, 0.014}, {0.012, 0.04, 0.012, 0.012},
                             {0.014, 0.02, 0.008, 0.016}, {-0.014, 0.058, 0.02, 0.008},
                             {0.02, 0.062, 0.008, 0.008}};
  for (const auto& c : chips)
    s.Append(PlainBox({cx + c[0] - c[2] / 2, c[1] - c[3] / 2, -0.0032},
                      {cx + c[0] + c[2] / 2, c[1] + c[3] / 2, -0.0032 + 0.0022}));
  s.Append(RoundedBox({cx - 0.027, -0.078, -0.0032}, {cx + 0.027, 0.008, 0.0052}, 0.0015, 4));
  for (int i = 0; i < 4; ++i)
    s.Append(Rod({cx - 0.026 + 0.006 * i, 0.012, -0.0032}, {cx - 0.026 + 0.006 * i, 0.012, 0.0004},
                 0.0016, 8));
  return s;
}

// A small prison cell, floor at y = 0, seen from inside. The room is one
// surface, floor, walls and ceiling on shared lattices, so there is no seam or
// overlap for the soft edges to show; courses of dressed stones stand proud of
// the walls. The window is a deep recess through the +x wall with a lit panel
// at its far end for the bars to stand against. Things in the room sink a
// little into the floor or wall they stand on, so no two faces lie in one
// plane. No strip of it is narrower than 0.02, which from across the room is
// still a pixel wide. floorCell sets the grid size that takes up the
// remaining triangle budget.
Soup PrisonCell(double floorCell) {
  const double X0 = -4.887, XI = 5.075, XR = 5.65, X1 = 5.69, Y = 6.0, Z0 = -3.456, Z1 = 3.695;
  const double e = 0.06, w0 = -1.0, w1 = 1.0, sill = 2.6, lintel = 4.4;
  const auto none = [](double, double, double, double) { return false; };
  const std::vector<double> gx = Lattice(X0, XI, {}, e, floorCell);
  const std::vector<double> gy = Lattice(0, Y, {sill, lintel}, e, 2.0);
  const std::vector<double> gz = Lattice(Z0, Z1, {w0, w1}, e, floorCell);
  Soup s;
  // A block with soft edges whose strips stay 0.03 wide, so even where two
  // meet in a corner the triangle is 0.02 across; one too small for that is
  // a plain box.
  auto block = [&](V3 lo, V3 hi, double strip) {
    strip = std::fmax(strip, 0.03);
    double least = std::fmin(hi.x - lo.x, std::fmin(hi.y - lo.y, hi.z - lo.z));
    s.Append(least < 2 * strip + 0.03 ? PlainBox(lo, hi) : Box(lo, hi, strip));
  };
  GridFace(s, gx, gz, [](double x, double z) { return V3{x, 0, z}; }, {0, 1, 0}, none);
  GridFace(s, gx, gz, [&](double x, double z) { return V3{x, Y, z}; }, {0, -1, 0}, none);
  GridFace(s, gy, gz, [&](double y, double z) { return V3{X0, y, z}; }, {1, 0, 0}, none);
  GridFace(s, gx, gy, [&](double x, double y) { return V3{x, y, Z0}; }, {0, 0, 1}, none);
  GridFace(s, gx, gy, [&](double x, double y) { return V3{x, y, Z1}; }, {0, 0, -1}, none);
  GridFace(s, gy, gz, [&](double y, double z) { return V3{XI, y, z}; }, {-1, 0, 0},
           [&](double y0, double y1, double z0, double z1) {
             return y0 >= sill - 1e-9 && y1 <= lintel + 1e-9 && z0 >= w0 - 1e-9 && z1 <= w1 + 1e-9;
           });
  // The window recess: sill, lintel and the two jambs, deep enough that its
  // sides catch the light the wall misses.
  const std::vector<double> rx = {XI, XI + e, XR - e, XR}, wy = Between(gy, sill, lintel),
                            wz = Between(gz, w0, w1);
  GridFace(s, rx, wz, [&](double x, double z) { return V3{x, sill, z}; }, {0, 1, 0}, none);
  GridFace(s, rx, wz, [&](double x, double z) { return V3{x, lintel, z}; }, {0, -1, 0}, none);
  GridFace(s, rx, wy, [&](double x, double y) { return V3{x, y, w0}; }, {0, 0, 1}, none);
  GridFace(s, rx, wy, [&](double x, double y) { return V3{x, y, w1}; }, {0, 0, -1}, none);
  // Daylight: a panel beyond the recess whose normals face the scenes' light,
  // so it takes the ramp's brightest band behind the bars.
  Soup sky = PlainBox({XR + 0.01, sill - 0.15, w0 - 0.15}, {X1, lintel + 0.15, w1 + 0.15});
  sky.SetNormal({0.044, 0.866, -0.498});
  s.Append(sky);
  const double xb = XI + 0.3;
  for (int i = 0; i < 5; ++i) {
    double z = -0.68 + 0.34 * i;
    s.Append(Rod({xb, sill - 0.06, z}, {xb, lintel + 0.06, z}, 0.065, 12));
  }
  for (double by : {3.1, 3.9})
    s.Append(Rod({xb - 0.1, by, w0 - 0.06}, {xb - 0.1, by, w1 + 0.06}, 0.05, 10));
  block({XI - 0.2, sill - 0.16, w0 - 0.25}, {XI + 0.02, sill - 0.02, w1 + 0.25}, 0.04);

  // Stone courses on all four walls. The door, the window and the plastered
  // patch with the tally marks are left free.
  const double dz = 0.4;  // the door's middle, where the camera ends
  const double tally0 = -2.25, tally1 = -0.55;
  StoneWall(s, {XI, 0, Z1}, {0, 0, -1}, {0, 1, 0}, {-1, 0, 0}, Z1 - Z0, Y,
            {{Z1 - w1 - 0.05, Z1 - w0 + 0.05, sill - 0.2, lintel + 0.05}}, 11);
  StoneWall(s, {X0, 0, Z0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}, Z1 - Z0, Y,
            {{dz - 0.85 - Z0, dz + 0.85 - Z0, -1, 3.0}, {tally0 - Z0, tally1 - Z0, 1.2, 2.4}}, 23);
  StoneWall(s, {X0, 0, Z1}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}, XI - X0, Y, {}, 37);
  StoneWall(s, {XI, 0, Z0}, {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}, XI - X0, Y, {}, 53);

  // Bed along the +z wall, pillow at the window end.
  for (double lx : {0.65, 3.78})
    for (double lz : {2.05, 3.28})
      s.Append(PlainBox({lx, -0.02, lz}, {lx + 0.12, 0.46, lz + 0.12}));
  block({0.6, 0.45, 2.0}, {3.95, 0.7, 3.43}, 0.04);
  block({0.65, 0.69, 2.05}, {3.9, 1.0, 3.4}, 0.08);
  s.Append(RoundedBox({3.05, 0.98, 2.25}, {3.8, 1.24, 3.25}, 0.12, 3));

  // Toilet under the window, standing out on the floor, its cistern against
  // the wall.
  const V3 toilet{4.2, -0.02, -1.8};
  s.Append(Lathe({{0, 0}, {0.28, 0}, {0.3, 0.05}, {0.26, 0.3}, {0.38, 0.6}, {0.45, 0.75},
                  {0.45, 0.8}, {0.38, 0.8}, {0.3, 0.66}, {0.1, 0.52}, {0, 0.5}},
                 16, toilet));
  s.Append(RoundedBox({4.5, 0.6, -2.2}, {XI - 0.05, 1.5, -1.4}, 0.05, 4));
  s.Append(Rod({XI - 0.3, 1.48, -1.95}, {XI - 0.3, 1.62, -1.95}, 0.03, 8));  // flush button

  // Washbasin on its pedestal in the corner by the bed, a tap and a steel
  // mirror above it.
  const V3 basin{XI - 0.56, -0.02, 2.85};
  s.Append(Lathe({{0, 0}, {0.3, 0}, {0.3, 0.06}, {0.15, 0.16}, {0.12, 0.6}, {0.12, 1.1},
                  {0.2, 1.2}, {0, 1.2}},
                 16, basin));
  s.Append(Lathe({{0, 1.15}, {0.25, 1.17}, {0.45, 1.3}, {0.5, 1.45}, {0.5, 1.5}, {0.44, 1.5},
                  {0.4, 1.4}, {0.22, 1.31}, {0, 1.29}},
                 16, basin));
  s.Append(Rod({XI - 0.04, 1.62, basin.z}, {basin.x + 0.05, 1.62, basin.z}, 0.03, 8));
  block({XI - 0.13, 2.0, basin.z - 0.32}, {XI - 0.06, 2.75, basin.z + 0.32}, 0.02);

  // Shelf over the bed with books and a cup.
  block({1.0, 2.35, Z1 - 0.42}, {2.7, 2.45, Z1 - 0.04}, 0.02);
  for (double bx : {1.2, 2.45})
    s.Append(PlainBox({bx, 2.05, Z1 - 0.36}, {bx + 0.06, 2.36, Z1 - 0.03}));
  double bookX = 1.1;
  const double books[][2] = {{0.09, 0.42}, {0.07, 0.36}, {0.11, 0.46}, {0.08, 0.33}, {0.1, 0.4}};
  for (const auto& book : books) {
    s.Append(PlainBox({bookX, 2.44, Z1 - 0.36}, {bookX + book[0], 2.44 + book[1], Z1 - 0.12}));
    bookX += book[0] + 0.025;
  }
  s.Append(Lathe({{0, 0}, {0.09, 0}, {0.11, 0.22}, {0.08, 0.22}, {0.06, 0.03}, {0, 0.03}}, 12,
                 {2.35, 2.44, Z1 - 0.24}));

  // The door in the -x wall, where the camera ends: a heavy frame, a leaf of
  // two chamfered panels, a hatch with its shelf, hinges, a lock and rivets.
  block({X0 - 0.03, -0.03, dz - 0.8}, {X0 + 0.16, 2.85, dz + 0.8}, 0.04);
  block({X0 + 0.1, 0.04, dz - 0.62}, {X0 + 0.24, 2.66, dz + 0.62}, 0.04);
  for (auto [y0, y1] : {std::pair{0.2, 1.2}, std::pair{1.95, 2.5}})
    Plate(s, {X0 + 0.24, y0, dz + 0.5}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}, 1.0, y1 - y0, 0.06,
          0.07, 0.02);
  block({X0 + 0.2, 1.4, dz - 0.32}, {X0 + 0.32, 1.8, dz + 0.32}, 0.03);  // hatch
  block({X0 + 0.2, 1.3, dz - 0.38}, {X0 + 0.5, 1.37, dz + 0.38}, 0.025);  // its shelf
  block({X0 + 0.2, 0.9, dz - 0.52}, {X0 + 0.36, 1.15, dz - 0.36}, 0.03);  // lock
  for (double hy : {0.5, 2.25})
    s.Append(Rod({X0 + 0.26, hy - 0.18, dz + 0.66}, {X0 + 0.26, hy + 0.18, dz + 0.66}, 0.06, 10));
  for (double ry : {1.3, 1.9})
    for (double rz : {-0.5, 0.5})
      s.Append(RoundedBox({X0 + 0.2, ry - 0.04, dz + rz - 0.04}, {X0 + 0.3, ry + 0.04, dz + rz + 0.04},
                          0.02, 2));  // rivets

  // Tally marks cut in relief on a plastered patch beside the door: groups of
  // four strokes struck through by a fifth.
  for (int group = 0; group < 3; ++group) {
    double z0 = tally0 + 0.15 + 0.5 * group, y0 = 1.45 + 0.1 * (group % 2);
    for (int m = 0; m < 4; ++m)
      s.Append(PlainBox({X0 - 0.02, y0, z0 + 0.09 * m}, {X0 + 0.05, y0 + 0.5, z0 + 0.09 * m + 0.055}));
    Soup slash = PlainBox({X0 - 0.02, y0 + 0.215, z0 - 0.08}, {X0 + 0.06, y0 + 0.275, z0 + 0.4});
    for (Tri& t : slash.tris)  // struck across, rising toward +z
      for (V3& p : t.p) {
        double dy = p.y - (y0 + 0.245), dzz = p.z - (z0 + 0.15);
        p = {p.x, y0 + 0.245 + dy * 0.82 + dzz * 0.57, z0 + 0.15 + dzz * 0.82 - dy * 0.57};
      }
    s.Append(slash);
  }

  // Table with three cups, and a chair drawn up to it.
  block({-2.6, 1.3, 1.7}, {-0.6, 1.42, 2.9}, 0.035);
  for (double lx : {-2.45, -0.75})
    for (double lz : {1.85, 2.75}) s.Append(Rod({lx, -0.02, lz}, {lx, 1.31, lz}, 0.05, 8));
  const Profile cup = {{0, 0}, {0.09, 0}, {0.11, 0.22}, {0.08, 0.22}, {0.06, 0.03}, {0, 0.03}};
  for (V3 at : {V3{-2.1, 1.4, 2.05}, V3{-1.4, 1.4, 2.5}, V3{-1.0, 1.4, 2.0}})
    s.Append(Lathe(cup, 12, at));
  const double chairX = -1.9, chairZ = 1.05;
  for (double lx : {-0.28, 0.28})
    for (double lz : {-0.28, 0.28})
      s.Append(PlainBox({chairX + lx - 0.04, -0.02, chairZ + lz - 0.04},
                        {chairX + lx + 0.04, 0.84, chairZ + lz + 0.04}));
  block({chairX - 0.34, 0.8, chairZ - 0.34}, {chairX + 0.34, 0.9, chairZ + 0.34}, 0.025);
  for (double lx : {-0.28, 0.28})
    s.Append(PlainBox({chairX + lx - 0.04, 0.88, chairZ - 0.33},
                      {chairX + lx + 0.04, 1.85, chairZ - 0.26}));
  block({chairX - 0.34, 1.45, chairZ - 0.36}, {chairX + 0.34, 1.8, chairZ - 0.24}, 0.025);

  // Two heating pipes along the window wall, from side wall to side wall,
  // clear of the stones.
  for (double py : {1.78, 1.96})
    s.Append(Rod({XI - 0.2, py, Z0 - 0.05}, {XI - 0.2, py, Z1 + 0.05}, 0.06, 10));

  // A bucket out on the floor, clear of the window wall, and a bowl.
  s.Append(Lathe({{0, 0}, {0.3, 0}, {0.38, 0.6}, {0.35, 0.6}, {0.28, 0.04}, {0, 0.04}}, 16,
                 {3.5, -0.02, 0.5}));
  s.Append(Lathe({{0, 0}, {0.15, 0}, {0.3, 0.12}, {0.32, 0.15}, {0.29, 0.15}, {0.14, 0.04},
                  {0, 0.04}},
                 16, {-3.3, -0.02, -1.5}));
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
  const int kPrisonTarget = 13400;
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
