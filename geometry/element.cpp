#include "geometry/element.hpp"

#include <cassert>
#include <cmath>
#include <numbers>

#include "base/fields.hpp"
#include "base/halt.hpp"

namespace ostrel {

namespace {

// Guard for a form outside 0..3: one line on the console and in the log, no stop text.
[[noreturn]] void bad_form(int i, int iform) {
  std::string line = " error: iform(" + iw(i, 2) + ") = " + iw(iform, 2);
  Halt h;
  h.console.push_back(line);
  h.log.push_back(line);
  halt(std::move(h));
}

// Angle of an arc or circle at t, in radians.
double angle(const Problem& pb, const Element& e, double t) {
  const auto& g = e.geom;
  const double pi = pb.c().pi;
  switch (e.iform) {
    case 1:
      return g[3] + (1 + t) * (g[4] - g[3]) / 2;
    case 2:
      return pi * (g[3] + (1 + t) * (g[4] - g[3]) / 2) / 180;
    default:  // 3
      return g[3] >= 0 ? pi * t : -pi * t;
  }
}

double segment_length(const Element& e) {
  const auto& g = e.geom;
  return std::sqrt((g[0] - g[2]) * (g[0] - g[2]) + (g[1] - g[3]) * (g[1] - g[3]));
}

}  // namespace

Point elem(const Problem& pb, int i, double t) {
  const Element& e = pb.el(i);
  const auto& g = e.geom;
  switch (e.iform) {
    case 0:
      return {g[0] + (g[2] - g[0]) * (1 + t) / 2, g[1] + (g[3] - g[1]) * (1 + t) / 2};
    case 1:
    case 2:
    case 3: {
      double phi = angle(pb, e, t);
      return {g[0] + g[2] * std::cos(phi), g[1] + g[2] * std::sin(phi)};
    }
    default:
      bad_form(i, e.iform);
  }
}

double dlength(const Problem& pb, int i, double t) {
  (void)t;
  const Element& e = pb.el(i);
  const auto& g = e.geom;
  switch (e.iform) {
    case 0:
      return segment_length(e) / 2;
    case 1:
      return std::fabs(g[4] - g[3]) * g[2] / 2;
    case 2:
      return pb.c().pi * std::fabs(g[4] - g[3]) * g[2] / 360;
    case 3:
      return pb.c().pi * g[2];
    default:
      bad_form(i, e.iform);
  }
}

Point nelem(const Problem& pb, int i, double t) {
  const Element& e = pb.el(i);
  const auto& g = e.geom;
  switch (e.iform) {
    case 0: {
      double len = segment_length(e);
      return {-(g[3] - g[1]) / len, (g[2] - g[0]) / len};
    }
    case 1:
    case 2: {
      double phi = angle(pb, e, t);
      double s = g[4] >= g[3] ? 1.0 : -1.0;
      return {-s * std::cos(phi), -s * std::sin(phi)};
    }
    case 3: {
      const double pi = pb.c().pi;
      if (g[3] >= 0) return {-std::cos(pi * t), -std::sin(pi * t)};
      return {std::cos(-pi * t), std::sin(-pi * t)};
    }
    default:
      bad_form(i, e.iform);
  }
}

double elength(const Problem& pb, int i) {
  const Element& e = pb.el(i);
  const auto& g = e.geom;
  switch (e.iform) {
    case 0:
      return segment_length(e);
    case 1:
      return std::fabs(g[4] - g[3]) * g[2];
    case 2:
      return pb.c().pi * std::fabs(g[4] - g[3]) / 180 * g[2];
    case 3:
      return pb.c().two_pi * g[2];
    default:
      bad_form(i, e.iform);
  }
}

Box emima(const Problem& pb, int i) {
  const Element& e = pb.el(i);
  const auto& g = e.geom;
  switch (e.iform) {
    case 0:
      return {amin(g[0], g[2]), amax(g[0], g[2]), amin(g[1], g[3]), amax(g[1], g[3])};
    case 1:
    case 2:
    case 3:
      return {g[0] - g[2], g[0] + g[2], g[1] - g[2], g[1] + g[2]};
    default:
      bad_form(i, e.iform);
  }
}

ArcSweep arc_sweep(const Problem& pb, int i) {
  const Element& e = pb.el(i);
  assert(e.iform == 1 || e.iform == 2);
  const auto& g = e.geom;
  const double pi = pb.c().pi;
  const double a = e.iform == 2 ? pi * g[3] / 180 : g[3];
  const double b = e.iform == 2 ? pi * g[4] / 180 : g[4];
  // The smaller angle reduced through its sine and cosine: exact for angles of any size.
  const double lo = std::min(a, b);
  return {std::atan2(std::sin(lo), std::cos(lo)), std::fabs(b - a)};
}

bool ArcSweep::covers(double angle) const {
  constexpr double two_pi = 2 * std::numbers::pi;
  double d = std::fmod(angle - start, two_pi);
  if (d < 0) d += two_pi;
  return d <= sweep;
}

}  // namespace ostrel
