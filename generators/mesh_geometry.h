// Building blocks for the mesh generator: closed solids as triangle soups and
// welded smooth normals. The record invariants are checked by tests/mesh_test.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

struct V3 {
  double x, y, z;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 Cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(V3 a) { return std::sqrt(Dot(a, a)); }
inline V3 Normalized(V3 a) {
  double l = Length(a);
  return l > 0 ? a * (1.0 / l) : a;
}

struct Tri {
  V3 p[3];
  V3 light{0, 0, 0};  // when not zero, the normal every copy of its positions takes
};

// A triangle soup. Solids are closed and wound so their signed volume is
// positive, which puts every face normal outwards.
struct Soup {
  std::vector<Tri> tris;
  void Triangle(V3 a, V3 b, V3 c) { tris.push_back({{a, b, c}, {0, 0, 0}}); }
  void Quad(V3 a, V3 b, V3 c, V3 d) {
    Triangle(a, b, c);
    Triangle(a, c, d);
  }
  void Append(const Soup& other) { tris.insert(tris.end(), other.tris.begin(), other.tris.end()); }
  double SignedVolume() const {
    double v = 0;
    for (const Tri& t : tris) v += Dot(t.p[0], Cross(t.p[1], t.p[2]));
    return v / 6;
  }
  void Flip() {
    for (Tri& t : tris) std::swap(t.p[1], t.p[2]);
  }
  // Winds a closed solid outwards (or inwards, for a room seen from inside).
  void Orient(bool outwards = true) {
    if ((SignedVolume() < 0) == outwards) Flip();
  }
  void Transform(V3 scale, V3 offset) {
    for (Tri& t : tris)
      for (V3& p : t.p) p = V3{p.x * scale.x, p.y * scale.y, p.z * scale.z} + offset;
  }
  // Gives every position of this soup one chosen normal instead of the faces'
  // mean: a backdrop that should read as lit whatever way it faces.
  void SetNormal(V3 n) {
    for (Tri& t : tris) t.light = Normalized(n);
  }
  // Turns about an axis parallel to z through centre.
  void RotateZ(double degrees, V3 centre) {
    double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
    for (Tri& t : tris)
      for (V3& p : t.p) {
        V3 q = p - centre;
        p = centre + V3{q.x * c - q.y * s, q.x * s + q.y * c, q.z};
      }
  }
  void RotateY(double degrees) {
    double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
    for (Tri& t : tris)
      for (V3& p : t.p) p = V3{p.x * c + p.z * s, p.y, -p.x * s + p.z * c};
  }
};

// Lattice coordinates of a box face grid: a narrow strip at each edge keeps the
// smooth normals' bend near the edges, so faces read flat and edges soft.
inline std::vector<double> EdgeStrips(double lo, double hi, double strip, int inner) {
  std::vector<double> v{lo};
  double a = lo + strip, b = hi - strip;
  for (int i = 0; i <= inner; ++i) v.push_back(a + (b - a) * i / inner);
  v.push_back(hi);
  return v;
}

// A closed solid from a surface map of the unit cube's six faces: each face is
// a grid over the lattices gx, gy, gz, and map() places a lattice point.
template <class Map>
Soup CubeSurface(const std::vector<double>& gx, const std::vector<double>& gy,
                 const std::vector<double>& gz, Map map) {
  Soup s;
  auto face = [&](const std::vector<double>& ga, const std::vector<double>& gb, auto point) {
    for (size_t i = 0; i + 1 < ga.size(); ++i)
      for (size_t j = 0; j + 1 < gb.size(); ++j)
        s.Quad(map(point(ga[i], gb[j])), map(point(ga[i + 1], gb[j])),
               map(point(ga[i + 1], gb[j + 1])), map(point(ga[i], gb[j + 1])));
  };
  double x0 = gx.front(), x1 = gx.back(), y0 = gy.front(), y1 = gy.back(), z0 = gz.front(),
         z1 = gz.back();
  // Each pair of opposite faces is wound oppositely; Orient fixes the whole.
  face(gx, gy, [&](double a, double b) { return V3{a, b, z0}; });
  face(gy, gx, [&](double a, double b) { return V3{b, a, z1}; });
  face(gy, gz, [&](double a, double b) { return V3{x0, a, b}; });
  face(gz, gy, [&](double a, double b) { return V3{x1, b, a}; });
  face(gz, gx, [&](double a, double b) { return V3{b, y0, a}; });
  face(gx, gz, [&](double a, double b) { return V3{a, y1, b}; });
  s.Orient();
  return s;
}

// An axis-aligned box with soft edges (strip wide), inner x inner grid per face.
inline Soup Box(V3 lo, V3 hi, double strip, int inner = 1) {
  return CubeSurface(EdgeStrips(lo.x, hi.x, strip, inner), EdgeStrips(lo.y, hi.y, strip, inner),
                     EdgeStrips(lo.z, hi.z, strip, inner), [](V3 p) { return p; });
}

// A box with rounded edges of the given radius: lattice points are pushed out
// from the inner box by the radius.
inline Soup RoundedBox(V3 lo, V3 hi, double radius, int nx, int ny, int nz) {
  auto lattice = [&](double a, double b, int n) {
    std::vector<double> v;
    // Dense near the edges, where the rounding bends.
    for (int i = 0; i <= n; ++i) {
      double u = double(i) / n;
      double w = 0.5 - 0.5 * std::cos(M_PI * u);
      v.push_back(a + (b - a) * w);
    }
    return v;
  };
  V3 c = (lo + hi) * 0.5;
  V3 h = (hi - lo) * 0.5;
  V3 inner = {h.x - radius, h.y - radius, h.z - radius};
  return CubeSurface(lattice(lo.x, hi.x, nx), lattice(lo.y, hi.y, ny), lattice(lo.z, hi.z, nz),
                     [=](V3 p) {
    V3 q = p - c;
    V3 k = {std::fmax(-inner.x, std::fmin(inner.x, q.x)), std::fmax(-inner.y, std::fmin(inner.y, q.y)),
            std::fmax(-inner.z, std::fmin(inner.z, q.z))};
    return c + k + Normalized(q - k) * radius;
  });
}
inline Soup RoundedBox(V3 lo, V3 hi, double radius, int n) {
  return RoundedBox(lo, hi, radius, n, n, n);
}

// A plain box of twelve triangles: for small parts, where soft edges would
// be finer than a pixel.
inline Soup PlainBox(V3 lo, V3 hi) {
  return CubeSurface({lo.x, hi.x}, {lo.y, hi.y}, {lo.z, hi.z}, [](V3 p) { return p; });
}

// A solid of revolution about the y axis through centre, from a profile of
// (radius, height) points; a radius of 0 closes the surface with a fan.
inline Soup Lathe(const std::vector<std::pair<double, double>>& profile, int segments, V3 centre,
                  double startDegrees = 0) {
  Soup s;
  auto at = [&](size_t i, int j) {
    double a = (startDegrees + 360.0 * (j % segments) / segments) * M_PI / 180;
    double r = profile[i].first;
    return centre + V3{r * std::cos(a), profile[i].second, r * std::sin(a)};
  };
  for (size_t i = 0; i + 1 < profile.size(); ++i)
    for (int j = 0; j < segments; ++j) {
      bool poleA = profile[i].first == 0, poleB = profile[i + 1].first == 0;
      if (poleA && poleB) continue;
      if (poleA)
        s.Triangle(at(i, 0), at(i + 1, j + 1), at(i + 1, j));
      else if (poleB)
        s.Triangle(at(i, j), at(i, j + 1), at(i + 1, 0));
      else
        s.Quad(at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
    }
  s.Orient();
  return s;
}

// A rod between two points on a line parallel to an axis, as a lathe turned
// onto that axis.
inline Soup Rod(V3 from, V3 to, double radius, int segments) {
  double length = Length(to - from);
  Soup s = Lathe({{0, 0}, {radius, 0}, {radius, length}, {0, length}}, segments, {0, 0, 0});
  V3 d = Normalized(to - from);
  for (Tri& t : s.tris)
    for (V3& p : t.p) {
      if (std::fabs(d.y) > 0.5) {
        p = V3{p.x, p.y * (d.y > 0 ? 1 : -1), p.z};
      } else if (std::fabs(d.x) > 0.5) {
        p = V3{p.y * (d.x > 0 ? 1 : -1), p.x, p.z};
      } else {
        p = V3{p.x, p.z, p.y * (d.z > 0 ? 1 : -1)};
      }
      p = p + from;
    }
  s.Orient();
  return s;
}

// The record as the program stores it.
struct OutVertex {
  float x, y, z, nx, ny, nz;
};
struct OutTri {
  OutVertex v[3];
  float n[3];
};

inline std::tuple<uint32_t, uint32_t, uint32_t> PositionKey(float x, float y, float z) {
  uint32_t a, b, c;
  std::memcpy(&a, &x, 4);
  std::memcpy(&b, &y, 4);
  std::memcpy(&c, &z, 4);
  return {a, b, c};
}

// Rounds to single precision, drops triangles that rounding left degenerate,
// and gives every copy of a position one smooth normal: the angle-weighted
// mean of the faces around it.
inline std::vector<OutTri> Finish(const Soup& soup, int* distinctPositions) {
  struct Rounded {
    V3 p[3];
    V3 n;
    V3 light;
  };
  std::vector<Rounded> rounded;
  for (const Tri& t : soup.tris) {
    Rounded r;
    for (int k = 0; k < 3; ++k) r.p[k] = {float(t.p[k].x), float(t.p[k].y), float(t.p[k].z)};
    V3 c = Cross(r.p[1] - r.p[0], r.p[2] - r.p[0]);
    double shortest = std::fmin(Length(r.p[1] - r.p[0]),
                                std::fmin(Length(r.p[2] - r.p[1]), Length(r.p[0] - r.p[2])));
    if (Length(c) < 1e-12 || shortest < 1e-6) continue;
    r.n = Normalized(c);
    r.light = t.light;
    rounded.push_back(r);
  }
  std::map<std::tuple<uint32_t, uint32_t, uint32_t>, V3> sums;
  for (const Rounded& r : rounded)
    for (int k = 0; k < 3; ++k) {
      V3 e1 = Normalized(r.p[(k + 1) % 3] - r.p[k]), e2 = Normalized(r.p[(k + 2) % 3] - r.p[k]);
      double angle = std::acos(std::fmax(-1.0, std::fmin(1.0, Dot(e1, e2))));
      V3& sum = sums[PositionKey(float(r.p[k].x), float(r.p[k].y), float(r.p[k].z))];
      sum = sum + r.n * angle;
    }
  *distinctPositions = int(sums.size());
  for (const Rounded& r : rounded)
    if (Length(r.light) > 0)
      for (int k = 0; k < 3; ++k)
        sums[PositionKey(float(r.p[k].x), float(r.p[k].y), float(r.p[k].z))] = r.light;
  // Where the faces around a position cancel out, the first face's normal
  // serves every copy.
  for (const Rounded& r : rounded)
    for (int k = 0; k < 3; ++k) {
      V3& sum = sums[PositionKey(float(r.p[k].x), float(r.p[k].y), float(r.p[k].z))];
      if (Length(sum) < 1e-9) sum = r.n;
    }
  std::vector<OutTri> out;
  for (const Rounded& r : rounded) {
    OutTri o;
    for (int k = 0; k < 3; ++k) {
      V3 n = Normalized(sums[PositionKey(float(r.p[k].x), float(r.p[k].y), float(r.p[k].z))]);
      o.v[k] = {float(r.p[k].x), float(r.p[k].y), float(r.p[k].z),
                float(n.x),      float(n.y),      float(n.z)};
    }
    o.n[0] = float(r.n.x);
    o.n[1] = float(r.n.y);
    o.n[2] = float(r.n.z);
    out.push_back(o);
  }
  return out;
}
