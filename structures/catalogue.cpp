#include "structures/catalogue.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "lines/options.hpp"
#include "lines/report.hpp"
#include "structures/lengths.hpp"

namespace ostrel::structures {

namespace {

constexpr double pi = std::numbers::pi;
// Side of a conductor that is shorter than the features (a thickness): half the nodes, at least
// this many, so that both of its corners keep a node near them.
constexpr int least_nodes = 4;
// A face fine at both ends holds a first element at each end when it is at least two and a
// half first lengths long (graded); a little more keeps the rounding out of that test.
constexpr double least_face_firsts = 2.6;
// A vertical side wall: the etch angle of a rectangular strip, degrees.
constexpr double vertical = 90;

[[noreturn]] void bad(const std::string& why) {
  throw std::invalid_argument(why);
}

double at(const Values& v, const std::string& k) {
  const auto it = v.find(k);
  return it == v.end() ? NAN : it->second;
}

bool has(const Values& v, const std::string& k) {
  return v.count(k) != 0;
}

void positive(const Values& v, std::initializer_list<const char*> keys) {
  for (const char* k : keys)
    if (!(at(v, k) > 0)) bad(std::string(k) + " must be positive");
}

void not_negative(const Values& v, std::initializer_list<const char*> keys) {
  for (const char* k : keys)
    if (!(at(v, k) >= 0)) bad(std::string(k) + " must not be negative");
}

void permittivity(const Values& v, std::initializer_list<const char*> keys) {
  for (const char* k : keys)
    if (!(at(v, k) >= 1)) bad(std::string(k) + " must be at least 1 (a relative permittivity)");
}

int side_nodes(int nodes) {
  return std::max(least_nodes, nodes);
}

// The first element of the lines that leave a conductor's corner or edge, for the smallest
// feature `feature` and the thickness t. The elements that meet at a corner must be alike in
// length and nodes: the integrals of one element's collocation points near the corner over
// the other element's first intervals are accurate only then (measured: unlike corner
// elements left a thick microstrip's Z0 off by 0.06 % while the doubled nodes moved it by
// 0.01 %). So a thick strip's corner elements are as long as the thickness (its sides); a
// zero-thickness edge, whose density is more singular, gets elements of feature/8.
double corner_first(double feature, double t) {
  return t > 0 ? std::min(feature, 2 * t) / 2 : feature / 8;
}

// The first element near `first` at which every element that meets a corner is alike: the sides
// (t long) cut into equal halves, quarters, ... and the faces (`shortest_face` or longer, fine at
// both ends) long enough for a first element at each end. So the thickness over a power of two,
// at least two (the field crowds into the corners), at most shortest_face / least_face_firsts.
// Measured on coplanar waveguides: with w = 0.05, t = 0.035, corner elements 0.0125 and 0.0175
// long left the effective permittivity 0.19 % off at 12 nodes an element, and doubling the nodes
// moved it by only 0.09 %, then 0.05 % (the check would pass a wrong figure); alike ones left it
// 0.01 % off. At the defaults, sides of one element left it 0.026 % off at 16 nodes, halved
// sides 0.007 %.
double alike_first(double first, double t, double shortest_face) {
  if (!(t > 0)) return first;
  double f = t / std::exp2(std::max(1.0, std::round(std::log2(t / first))));
  while (f > shortest_face / least_face_firsts)
    f /= 2;
  return f;
}

// ---------------------------------------------------------------------------------------------
// Conductors on the top of a substrate slab (or on a half-space): microstrips and coplanar lines.

struct Strip {
  double x0, x1;  // left and right end of the bottom face
  int isign;      // conductor number, 0 = ground
};

struct Surface {
  double y = 0;         // the substrate top
  double t = 0;         // conductor thickness
  double inset = 0;     // the top face is this much narrower on each side (an etched trapezoid)
  double extent = 0;    // substrate (and grounds that reach it) from -extent to extent
  double first = 0;     // first element of a graded line
  bool slab = true;     // a substrate 0..y with side faces (false: the half-space of igg 3)
  bool bottom = false;  // the slab's bottom face is an interface (no ground plane under it)
  double coat = 0;      // thickness of a conformal coating (solder mask)
  int nodes = 16;
  double thin_from = INFINITY;  // nodes of the faces and the substrate top thin out from here
  double bottom_first = 0;      // first element of the slab's bottom, graded from the middle
};

// Nodes of the elements far from every conductor edge: the slab's ends and the ground faces
// cut at the extent, where the density is small and smooth.
int far_nodes(const Surface& s) {
  return thinned_nodes(side_nodes(s.nodes), INFINITY, s.thin_from);
}

// The faces of the strips, the substrate top between them and the coating, left to right.
void draw_surface(Outline& o, const Surface& s, const std::vector<Strip>& strips) {
  const int above = s.coat > 0 ? coating : air;
  const double X = s.extent, y = s.y;
  // The profile: the substrate top and the strips' faces, left to right.
  struct Run {
    Point a, b;
    bool strip;  // a conductor face (else the substrate top)
    bool fine_a, fine_b;
  };
  std::vector<Run> profile;
  double x = -X;
  for (std::size_t k = 0; k < strips.size(); ++k) {
    const Strip& st = strips[k];
    const bool left_edge = st.x0 <= -X, right_edge = st.x1 >= X;
    if (!left_edge && st.x0 > x) profile.push_back({{x, y}, {st.x0, y}, false, x > -X, true});
    if (s.t == 0) {
      graded(o, {st.x0, y}, {st.x1, y}, s.first, !left_edge, !right_edge, conductor, st.isign,
             s.nodes, substrate, above, "conductor " + std::to_string(st.isign), s.thin_from);
      profile.push_back({{st.x0, y}, {st.x1, y}, true, !left_edge, !right_edge});
    } else {
      const Point p0{st.x0, y}, p1{st.x0 + s.inset, y + s.t}, p2{st.x1 - s.inset, y + s.t},
          p3{st.x1, y};
      const std::string name = "conductor " + std::to_string(st.isign);
      // A side at a conductor's edge is cut like the faces that meet it there (alike corner
      // elements); one cut at the extent is a single element.
      graded(o, p3, p0, s.first, !right_edge, !left_edge, conductor, st.isign, s.nodes, substrate,
             substrate, name + ", bottom", s.thin_from);
      graded(o, p0, p1, s.first, !left_edge, !left_edge, conductor, st.isign,
             left_edge ? far_nodes(s) : side_nodes(s.nodes), above, above, name + ", side");
      graded(o, p1, p2, s.first, !left_edge, !right_edge, conductor, st.isign, s.nodes, above,
             above, name + ", top", s.thin_from);
      graded(o, p2, p3, s.first, !right_edge, !right_edge, conductor, st.isign,
             right_edge ? far_nodes(s) : side_nodes(s.nodes), above, above, name + ", side");
      if (!left_edge) profile.push_back({p0, p1, true, true, true});
      profile.push_back({p1, p2, true, !left_edge, !right_edge});
      if (!right_edge) profile.push_back({p2, p3, true, true, true});
    }
    x = st.x1;
  }
  if (x < X) profile.push_back({{x, y}, {X, y}, false, true, false});
  // The substrate top between the strips: substrate below (minus), the cover above (plus).
  if (s.slab)
    for (const Run& r : profile)
      if (!r.strip)
        graded(o, r.a, r.b, s.first, r.fine_a, r.fine_b, interface, 0, s.nodes, substrate, above,
               "substrate top", s.thin_from);
  if (s.coat > 0) {
    // The coating's surface: the profile moved out by the coating along its left normals,
    // corners mitred; the coating below (minus), air above (plus).
    std::vector<Point> pts{profile.front().a};
    for (const Run& r : profile)
      pts.push_back(r.b);
    std::vector<Point> out(pts.size());
    for (std::size_t k = 0; k < pts.size(); ++k) {
      auto normal = [&](std::size_t i) {  // left normal of the run from pts[i] to pts[i + 1]
        const double dx = pts[i + 1].x - pts[i].x, dy = pts[i + 1].y - pts[i].y;
        const double len = std::hypot(dx, dy);
        return Point{-dy / len, dx / len};
      };
      const Point n1 = normal(k == 0 ? 0 : k - 1), n2 = normal(k + 1 < pts.size() ? k : k - 1);
      const double f = s.coat / (1 + n1.x * n2.x + n1.y * n2.y);
      out[k] = {pts[k].x + f * (n1.x + n2.x), pts[k].y + f * (n1.y + n2.y)};
    }
    out.front().x = -X;
    out.back().x = X;
    for (std::size_t k = 0; k + 1 < out.size(); ++k)
      graded(o, out[k], out[k + 1], s.first, profile[k].fine_a, profile[k].fine_b, interface, 0,
             s.nodes, coating, air, "coating surface", s.thin_from);
    segment(o, {X, y}, {X, y + s.coat}, interface, 0, far_nodes(s), air, coating,
            "coating, right end");
    segment(o, {-X, y + s.coat}, {-X, y}, interface, 0, far_nodes(s), air, coating,
            "coating, left end");
  }
  if (s.slab) {
    segment(o, {X, 0}, {X, y}, interface, 0, far_nodes(s), air, substrate, "substrate, right end");
    segment(o, {-X, y}, {-X, 0}, interface, 0, far_nodes(s), air, substrate, "substrate, left end");
  }
  if (s.bottom) {
    // The bottom's density is smooth on the scale of the substrate's height: its elements grow
    // from the middle, h/2 long there, each with all the nodes (measured at h = 0.1, the nodes
    // thinned out left the figures 0.15 % off at 12 nodes an element, all of them 0.015 %).
    graded(o, {X, 0}, {0, 0}, s.bottom_first, false, true, interface, 0, s.nodes, substrate, air,
           "substrate bottom");
    graded(o, {0, 0}, {-X, 0}, s.bottom_first, true, false, interface, 0, s.nodes, substrate, air,
           "substrate bottom");
  }
}

// A rectangular strip (or a segment when t = 0) in one medium, bottom face at y.
void draw_buried_strip(Outline& o, double x0, double x1, double y, double t, double first,
                       int nodes, int isign) {
  const std::string name = "conductor " + std::to_string(isign);
  if (t == 0) {
    graded(o, {x0, y}, {x1, y}, first, true, true, conductor, isign, nodes, substrate, substrate,
           name);
    return;
  }
  graded(o, {x1, y}, {x0, y}, first, true, true, conductor, isign, nodes, substrate, substrate,
         name + ", bottom");
  segment(o, {x0, y}, {x0, y + t}, conductor, isign, side_nodes(nodes), substrate, substrate,
          name + ", side");
  graded(o, {x0, y + t}, {x1, y + t}, first, true, true, conductor, isign, nodes, substrate,
         substrate, name + ", top");
  segment(o, {x1, y + t}, {x1, y}, conductor, isign, side_nodes(nodes), substrate, substrate,
          name + ", side");
}

Outline base(const Structure& s, const Values& v, int igg, const std::string& media) {
  Outline o;
  o.title1 = s.name;
  o.title2 = values_text(s, v);
  o.igg = igg;
  o.media = media;
  return o;
}

const Structure& named(const char* name) {
  return find_structure(name);
}

// ---------------------------------------------------------------------------------------------
// microstrip

double top_inset(const Values& v) {
  const double t = at(v, "t");
  if (has(v, "w_top")) return (at(v, "w") - at(v, "w_top")) / 2;
  return t / std::tan(at(v, "etch") * pi / 180);
}

void check_microstrip(const Values& v) {
  positive(v, {"w", "h"});
  not_negative(v, {"t", "mask_t"});
  permittivity(v, {"er", "mask_er"});
  if (!(at(v, "etch") > 0 && at(v, "etch") <= vertical))
    bad("etch must be an angle in degrees above 0 and at most 90 (vertical walls)");
  if (has(v, "w_top") && at(v, "etch") != vertical) bad("give either w_top or etch, not both");
  if (has(v, "w_top") && !(at(v, "w_top") > 0 && at(v, "w_top") <= at(v, "w")))
    bad("w_top must be positive and at most w (the bottom width)");
  if (at(v, "t") > 0 && !(at(v, "w") - 2 * top_inset(v) > 0))
    bad("the etched strip has no top face: w - 2 t / tan(etch) must be positive");
}

Outline draw_microstrip(const Values& v, const Resolution& r) {
  Outline o = base(named("microstrip"), v, 1, "1 air, 2 substrate, 3 solder mask");
  o.deps[1] = at(v, "er");
  o.deps[2] = at(v, "mask_er");
  const double w = at(v, "w"), h = at(v, "h");
  Surface s;
  s.y = h;
  s.t = at(v, "t");
  s.inset = s.t > 0 ? top_inset(v) : 0;
  s.extent = w / 2 + r.reach * h;
  s.first = corner_first(std::min(w, h), s.t);
  s.thin_from = std::min(w, h);
  s.coat = at(v, "mask_t");
  s.nodes = r.nodes;
  draw_surface(o, s, {{-w / 2, w / 2, 1}});
  return o;
}

Estimate estimate_microstrip(const Values& v) {
  const double inset = at(v, "t") > 0 ? top_inset(v) : 0;
  return microstrip_estimate(at(v, "w") - inset, at(v, "t"), at(v, "h"), at(v, "er"));
}

// ---------------------------------------------------------------------------------------------
// diff_microstrip

void check_diff_microstrip(const Values& v) {
  positive(v, {"w", "s", "h"});
  not_negative(v, {"t", "mask_t"});
  permittivity(v, {"er", "mask_er"});
  if (!(at(v, "s") > 2 * at(v, "mask_t")))
    bad("the solder mask fills the gap: s must exceed twice mask_t");
}

Outline draw_diff_microstrip(const Values& v, const Resolution& r) {
  Outline o = base(named("diff_microstrip"), v, 1, "1 air, 2 substrate, 3 solder mask");
  o.deps[1] = at(v, "er");
  o.deps[2] = at(v, "mask_er");
  const double w = at(v, "w"), s = at(v, "s"), h = at(v, "h");
  Surface f;
  f.y = h;
  f.t = at(v, "t");
  f.extent = s / 2 + w + r.reach * h;
  f.first = corner_first(std::min({w, s, h}), f.t);
  f.thin_from = std::min({w, s, h});
  f.coat = at(v, "mask_t");
  f.nodes = r.nodes;
  draw_surface(o, f, {{-s / 2 - w, -s / 2, 1}, {s / 2, s / 2 + w, 2}});
  return o;
}

Estimate estimate_diff_microstrip(const Values& v) {
  return diff_microstrip_estimate(at(v, "w"), at(v, "s"), at(v, "t"), at(v, "h"), at(v, "er"));
}

// ---------------------------------------------------------------------------------------------
// embedded_microstrip

void check_embedded(const Values& v) {
  positive(v, {"w", "h", "cover"});
  not_negative(v, {"t"});
  permittivity(v, {"er"});
}

Outline draw_embedded(const Values& v, const Resolution& r) {
  Outline o = base(named("embedded_microstrip"), v, 1, "1 air, 2 dielectric");
  o.deps[1] = at(v, "er");
  const double w = at(v, "w"), h = at(v, "h"), t = at(v, "t");
  const double top = h + t + at(v, "cover"), X = w / 2 + r.reach * top;
  const double first = corner_first(std::min(w, h), t);
  draw_buried_strip(o, -w / 2, w / 2, h, t, first, r.nodes, 1);
  const double cover_first = std::max(first, at(v, "cover"));
  graded(o, {-X, top}, {0, top}, cover_first, false, true, interface, 0, r.nodes, substrate, air,
         "dielectric top");
  graded(o, {0, top}, {X, top}, cover_first, true, false, interface, 0, r.nodes, substrate, air,
         "dielectric top");
  segment(o, {X, 0}, {X, top}, interface, 0, side_nodes(r.nodes), air, substrate,
          "dielectric, right end");
  segment(o, {-X, top}, {-X, 0}, interface, 0, side_nodes(r.nodes), air, substrate,
          "dielectric, left end");
  return o;
}

Estimate estimate_embedded(const Values& v) {
  return embedded_microstrip_estimate(at(v, "w"), at(v, "t"), at(v, "h"), at(v, "cover"),
                                      at(v, "er"));
}

// ---------------------------------------------------------------------------------------------
// striplines: igg 4, the channel 0 < y < b filled with er

Outline channel(const char* name, const Values& v, double b) {
  Outline o = base(named(name), v, 4, "2 the filling (1 and 3 unused)");
  o.deps[1] = at(v, "er");
  o.gpars1 = b;
  return o;
}

void check_stripline(const Values& v) {
  positive(v, {"w", "b"});
  not_negative(v, {"t"});
  permittivity(v, {"er"});
  if (!(std::fabs(at(v, "offset")) + at(v, "t") / 2 < at(v, "b") / 2))
    bad("the strip must lie between the planes: |offset| + t/2 < b/2");
}

Outline draw_stripline(const Values& v, const Resolution& r) {
  const double w = at(v, "w"), t = at(v, "t"), b = at(v, "b");
  Outline o = channel("stripline", v, b);
  draw_buried_strip(o, -w / 2, w / 2, b / 2 + at(v, "offset") - t / 2, t,
                    corner_first(std::min(w, b), t), r.nodes, 1);
  return o;
}

Estimate estimate_stripline(const Values& v) {
  return stripline_estimate(at(v, "w"), at(v, "t"), at(v, "b"), at(v, "er"), at(v, "offset"));
}

void check_diff_stripline(const Values& v) {
  positive(v, {"w", "s", "b"});
  not_negative(v, {"t"});
  permittivity(v, {"er"});
  if (!(at(v, "t") < at(v, "b"))) bad("the strips must lie between the planes: t < b");
}

Outline draw_diff_stripline(const Values& v, const Resolution& r) {
  const double w = at(v, "w"), s = at(v, "s"), t = at(v, "t"), b = at(v, "b");
  Outline o = channel("diff_stripline", v, b);
  const double first = corner_first(std::min({w, s, b}), t);
  draw_buried_strip(o, -s / 2 - w, -s / 2, (b - t) / 2, t, first, r.nodes, 1);
  draw_buried_strip(o, s / 2, s / 2 + w, (b - t) / 2, t, first, r.nodes, 2);
  return o;
}

Estimate estimate_diff_stripline(const Values& v) {
  return diff_stripline_estimate(at(v, "w"), at(v, "s"), at(v, "t"), at(v, "b"), at(v, "er"));
}

void check_broadside(const Values& v) {
  positive(v, {"w", "b", "sep"});
  not_negative(v, {"t"});
  permittivity(v, {"er"});
  if (!(at(v, "sep") + 2 * at(v, "t") < at(v, "b")))
    bad("the strips must lie between the planes: sep + 2 t < b");
}

Outline draw_broadside(const Values& v, const Resolution& r) {
  const double w = at(v, "w"), t = at(v, "t"), b = at(v, "b"), sep = at(v, "sep");
  Outline o = channel("broadside_stripline", v, b);
  const double first = corner_first(std::min({w, sep, b - sep - 2 * t}), t);
  draw_buried_strip(o, -w / 2, w / 2, (b + sep) / 2, t, first, r.nodes, 1);
  draw_buried_strip(o, -w / 2, w / 2, (b - sep) / 2 - t, t, first, r.nodes, 2);
  return o;
}

Estimate estimate_broadside(const Values& v) {
  return broadside_stripline_estimate(at(v, "w"), at(v, "t"), at(v, "b"), at(v, "sep"),
                                      at(v, "er"));
}

// ---------------------------------------------------------------------------------------------
// cpw

void check_cpw(const Values& v) {
  positive(v, {"w", "s", "h", "g"});
  not_negative(v, {"t"});
  permittivity(v, {"er"});
  if (at(v, "grounded") == 1 && !std::isfinite(at(v, "h")))
    bad("a bottom ground needs a finite h (grounded=no for a substrate without a bottom)");
}

Outline draw_cpw(const Values& v, const Resolution& r) {
  const double w = at(v, "w"), s = at(v, "s"), g = at(v, "g"), h = at(v, "h");
  const bool grounded = at(v, "grounded") == 1, half_space = !std::isfinite(h);
  Outline o = base(named("cpw"), v, grounded ? 1 : half_space ? 3 : 0, "1 air, 2 substrate");
  o.deps[1] = at(v, "er");
  // Without a ground plane the grounds carry the return charge: zero total charge.
  o.idmn = grounded ? 0 : 1;
  const double b = w / 2 + s;
  Surface f;
  f.y = half_space ? 0 : h;
  f.t = at(v, "t");
  f.extent = b + (std::isfinite(g) ? g : 0) + r.reach * b;
  const double feature = std::min({w, s, half_space ? s : h});
  f.first =
      alike_first(corner_first(feature, f.t), f.t, std::min({w, s, std::isfinite(g) ? g : s}));
  f.slab = !half_space;
  f.bottom = !grounded && !half_space;
  f.bottom_first = h / 2;
  f.nodes = r.nodes;
  f.thin_from = feature;
  const double outer = std::isfinite(g) ? b + g : f.extent;
  draw_surface(o, f, {{-outer, -b, 0}, {-w / 2, w / 2, 1}, {b, outer, 0}});
  return o;
}

Estimate estimate_cpw(const Values& v) {
  return cpw_estimate(at(v, "w"), at(v, "s"), at(v, "t"), at(v, "g"), at(v, "h"), at(v, "er"),
                      at(v, "grounded") == 1);
}

// ---------------------------------------------------------------------------------------------
// round conductors

void check_coax(const Values& v) {
  positive(v, {"a", "b"});
  permittivity(v, {"er"});
  if (!(at(v, "a") < at(v, "b"))) bad("the inner radius a must be less than the shield's b");
}

Outline draw_coax(const Values& v, const Resolution& r) {
  Outline o = base(named("coax"), v, 0, "2 the filling (1 and 3 unused)");
  o.deps[1] = at(v, "er");
  circle(o, {0, 0}, at(v, "a"), conductor, 1, r.nodes, substrate, substrate, "inner conductor");
  circle(o, {0, 0}, at(v, "b"), conductor, 0, r.nodes, substrate, substrate, "shield");
  return o;
}

Estimate estimate_coax(const Values& v) {
  return coax_estimate(at(v, "a"), at(v, "b"), at(v, "er"));
}

void check_wire(const Values& v) {
  positive(v, {"r", "h"});
  permittivity(v, {"er"});
  if (!(at(v, "h") > at(v, "r"))) bad("the wire must clear the ground: h (its centre) > r");
}

Outline draw_wire(const Values& v, const Resolution& r) {
  Outline o = base(named("wire_over_ground"), v, 1, "2 the medium (1 and 3 unused)");
  o.deps[1] = at(v, "er");
  circle(o, {0, at(v, "h")}, at(v, "r"), conductor, 1, r.nodes, substrate, substrate, "wire");
  return o;
}

Estimate estimate_wire(const Values& v) {
  return wire_over_ground_estimate(at(v, "r"), at(v, "h"), at(v, "er"));
}

void check_twin(const Values& v) {
  positive(v, {"r", "s"});
  not_negative(v, {"ins_t"});
  permittivity(v, {"ins_er"});
  if (!(at(v, "s") > 2 * (at(v, "r") + at(v, "ins_t"))))
    bad("the coated wires overlap: s must exceed 2 (r + ins_t)");
}

Outline draw_twin(const Values& v, const Resolution& r) {
  Outline o = base(named("twin_lead"), v, 0, "1 air, 3 insulation");
  o.deps[2] = at(v, "ins_er");
  o.idmn = 1;  // the two wires carry opposite charges
  const double a = at(v, "r"), s = at(v, "s"), t = at(v, "ins_t");
  const int around = t > 0 ? coating : air;
  circle(o, {-s / 2, 0}, a, conductor, 1, r.nodes, around, around, "wire 1");
  circle(o, {s / 2, 0}, a, conductor, 0, r.nodes, around, around, "wire 2, the return");
  if (t > 0) {
    circle(o, {-s / 2, 0}, a + t, interface, 0, r.nodes, air, coating, "insulation 1");
    circle(o, {s / 2, 0}, a + t, interface, 0, r.nodes, air, coating, "insulation 2");
  }
  return o;
}

Estimate estimate_twin(const Values& v) {
  return twin_lead_estimate(at(v, "r"), at(v, "s"), at(v, "ins_t"), at(v, "ins_er"));
}

// ---------------------------------------------------------------------------------------------

Key len(const char* name, const char* fallback, const char* meaning) {
  return {name, fallback, meaning, KeyKind::length, false};
}

Key real(const char* name, const char* fallback, const char* meaning) {
  return {name, fallback, meaning, KeyKind::number, false};
}

std::vector<Structure> make_catalogue() {
  std::vector<Structure> c;
  // Starting resolutions: measured to pass a 0.1 % check at the defaults and over the usual
  // ranges of the dimensions (w/h from 0.1 to 10), so that a run needs no second round.
  c.push_back({"microstrip",
               "a strip on a substrate over a ground plane, optionally etched (a trapezoid) and "
               "under a conformal solder mask",
               R"(            w_top
            <-->      mask (mask_t, mask_er) over strip and substrate
           /####\  _  t
  ________/######\_v_________  y = h
  substrate er    <--w-->        h
  ===========================  ground plane, y = 0)",
               "1 air, 2 substrate, 3 solder mask",
               {len("w", "0.3mm", "strip width (at the bottom)"),
                len("t", "0.035mm", "strip thickness (0: a zero-thickness strip)"),
                len("h", "0.2mm", "substrate height"), real("er", "4.3", "substrate permittivity"),
                len("mask_t", "0", "solder mask thickness (0: none)"),
                real("mask_er", "3.5", "solder mask permittivity"),
                real("etch", "90", "side wall angle in degrees (90: vertical)"),
                len("w_top", "", "top width of the etched strip (instead of etch)")},
               false,
               true,
               {12, 8},
               3,
               check_microstrip,
               draw_microstrip,
               estimate_microstrip,
               "h beyond the strip"});
  c.push_back({"embedded_microstrip",
               "a strip inside a dielectric layer over a ground plane, `cover` of dielectric "
               "above its top",
               R"(  ____________________________  dielectric top
         cover
        [##w##]  t            dielectric er
           h
  ============================  ground plane)",
               "1 air, 2 dielectric",
               {len("w", "0.3mm", "strip width"), len("t", "0.035mm", "strip thickness"),
                len("h", "0.2mm", "height of the strip's bottom above the ground"),
                len("cover", "0.1mm", "dielectric above the strip's top"),
                real("er", "4.3", "dielectric permittivity")},
               false,
               true,
               {12, 8},
               3,
               check_embedded,
               draw_embedded,
               estimate_embedded,
               "dielectric heights (h + t + cover) beyond the strip"});
  c.push_back({"stripline",
               "a strip between two ground planes in a homogeneous dielectric",
               R"(  ============================  ground plane, y = b
        [##w##]  t    (middle at b/2 + offset)
           er
  ============================  ground plane, y = 0)",
               "2 the filling",
               {len("w", "0.2mm", "strip width"), len("t", "0.035mm", "strip thickness"),
                len("b", "0.5mm", "distance between the ground planes"),
                real("er", "4.3", "dielectric permittivity"),
                len("offset", "0", "shift of the strip's middle up from b/2")},
               false,
               false,
               {16, 0},
               2,
               check_stripline,
               draw_stripline,
               estimate_stripline});
  c.push_back(
      {"cpw",
       "coplanar waveguide: a strip between two grounds on a substrate, with or without "
       "a ground plane under it",
       R"(  ground    s  [##w##]  s     ground      (grounds g wide, or as wide as needed)
  #######       #######       #######  t
  substrate er                             h (inf: a half-space)
  ======================================   ground plane when grounded=yes)",
       "1 air, 2 substrate",
       {len("w", "0.3mm", "strip width"),
        len("s", "0.15mm", "gap to each ground"),
        len("t", "0.035mm", "conductor thickness"),
        {"h", "0.5mm", "substrate height (inf: a half-space)", KeyKind::length, true},
        real("er", "4.3", "substrate permittivity"),
        {"grounded", "no", "yes: a ground plane under the substrate", KeyKind::choice},
        {"g", "inf", "width of each ground (inf: as wide as needed)", KeyKind::length, true}},
       false,
       true,
       {12, 16},
       2,
       check_cpw,
       draw_cpw,
       estimate_cpw,
       "w/2 + s beyond the grounds' inner edges (or their outer ones)"});
  c.push_back({"diff_microstrip",
               "an edge-coupled pair of strips on a substrate over a ground plane",
               R"(     [##w##]  s  [##w##]   t   (mask_t, mask_er: a conformal solder mask)
  ____________________________  y = h
  substrate er                  h
  ============================  ground plane)",
               "1 air, 2 substrate, 3 solder mask",
               {len("w", "0.2mm", "strip width"), len("s", "0.2mm", "gap between the strips"),
                len("t", "0.035mm", "strip thickness"), len("h", "0.2mm", "substrate height"),
                real("er", "4.3", "substrate permittivity"),
                len("mask_t", "0", "solder mask thickness (0: none)"),
                real("mask_er", "3.5", "solder mask permittivity")},
               true,
               true,
               {12, 8},
               3,
               check_diff_microstrip,
               draw_diff_microstrip,
               estimate_diff_microstrip,
               "h beyond the strips"});
  c.push_back({"diff_stripline",
               "an edge-coupled pair of strips midway between two ground planes",
               R"(  ============================  ground plane, y = b
     [##w##]  s  [##w##]   t
           er
  ============================  ground plane, y = 0)",
               "2 the filling",
               {len("w", "0.15mm", "strip width"), len("s", "0.2mm", "gap between the strips"),
                len("t", "0.035mm", "strip thickness"),
                len("b", "0.5mm", "distance between the ground planes"),
                real("er", "4.3", "dielectric permittivity")},
               true,
               false,
               {16, 0},
               2,
               check_diff_stripline,
               draw_diff_stripline,
               estimate_diff_stripline});
  c.push_back({"broadside_stripline",
               "two strips one above the other, sep apart, midway between two ground planes",
               R"(  ============================  ground plane, y = b
        [##w##]  t
          sep         er
        [##w##]  t
  ============================  ground plane, y = 0)",
               "2 the filling",
               {len("w", "0.2mm", "strip width"), len("t", "0.035mm", "strip thickness"),
                len("b", "0.8mm", "distance between the ground planes"),
                len("sep", "0.2mm", "gap between the strips"),
                real("er", "4.3", "dielectric permittivity")},
               true,
               false,
               {16, 0},
               2,
               check_broadside,
               draw_broadside,
               estimate_broadside});
  c.push_back({"coax",
               "a coaxial line",
               R"(      .---.
     /  b  \     shield, radius b
    |  (a)  |    inner conductor, radius a, in er
     \     /
      '---')",
               "2 the filling",
               {len("a", "0.5mm", "radius of the inner conductor"),
                len("b", "1.75mm", "inner radius of the shield"),
                real("er", "2.1", "filling permittivity")},
               false,
               false,
               {12, 0},
               2,
               check_coax,
               draw_coax,
               estimate_coax});
  c.push_back({"wire_over_ground",
               "a round wire over a ground plane, all in one medium",
               R"(       ( r )     wire, radius r, its centre at height h
         |
         h        medium er
  ================  ground plane)",
               "2 the medium",
               {len("r", "0.5mm", "wire radius"), len("h", "2mm", "height of the wire's centre"),
                real("er", "1", "permittivity of the medium")},
               false,
               false,
               {24, 0},
               2,
               check_wire,
               draw_wire,
               estimate_wire});
  c.push_back({"twin_lead",
               "two round wires in insulating coats, in air (the line between them)",
               R"(    (( r ))<---- s ---->(( r ))    centre spacing s
     coat ins_t, ins_er on each wire)",
               "1 air, 3 insulation",
               {len("r", "0.4mm", "wire radius"), len("s", "7.5mm", "centre spacing"),
                len("ins_t", "0.5mm", "insulation thickness (0: bare wires)"),
                real("ins_er", "2.3", "insulation permittivity")},
               false,
               false,
               {24, 0},
               2,
               check_twin,
               draw_twin,
               estimate_twin});
  return c;
}

}  // namespace

const std::vector<Structure>& catalogue() {
  static const std::vector<Structure> c = make_catalogue();
  return c;
}

const Structure& find_structure(const std::string& name) {
  for (const Structure& s : catalogue())
    if (s.name == name) return s;
  std::string names;
  for (const Structure& s : catalogue())
    names += (names.empty() ? "" : ", ") + s.name;
  bad("no structure '" + name + "' (there are " + names + ")");
}

const Key* find_key(const Structure& s, const std::string& name) {
  for (const Key& k : s.keys)
    if (k.name == name) return &k;
  return nullptr;
}

Values parse_values(const Structure& s,
                    const std::vector<std::pair<std::string, std::string>>& assignments,
                    const std::vector<std::string>& where) {
  std::vector<std::pair<std::string, std::string>> all;
  std::vector<std::string> origin;
  for (const Key& k : s.keys)
    if (!k.fallback.empty()) {
      all.emplace_back(k.name, k.fallback);
      origin.push_back("the default of " + s.name);
    }
  all.insert(all.end(), assignments.begin(), assignments.end());
  origin.insert(origin.end(), where.begin(), where.end());
  Values v;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const auto& [name, text] = all[i];
    const Key* k = find_key(s, name);
    if (!k) {
      std::string keys;
      for (const Key& key : s.keys)
        keys += " " + key.name;
      bad(origin[i] + ": " + s.name + " has no key '" + name + "' (its keys:" + keys + ")");
    }
    const std::string what = origin[i] + ": " + name;
    if (k->kind == KeyKind::length) {
      v[name] = parse_length(text, what, k->unbounded);
    } else if (k->kind == KeyKind::number) {
      v[name] = lines::option_real(what, text);
    } else {
      if (text != "yes" && text != "no") bad(what + ": '" + text + "' is not yes or no");
      v[name] = text == "yes" ? 1 : 0;
    }
  }
  try {
    s.check(v);
  } catch (const std::invalid_argument& e) {
    bad(s.name + " " + values_text(s, v) + ": " + e.what());
  }
  return v;
}

std::string target_names(const Structure& s) {
  return s.pair ? "Zdiff, Zodd, Zeven, Zcm" : "Z0";
}

double estimate_of(const Estimate& e, Quantity q) {
  switch (q) {
    case Quantity::z0:
      return e.z0;
    case Quantity::zdiff:
      return 2 * e.z_odd;
    case Quantity::zodd:
      return e.z_odd;
    case Quantity::zeven:
      return e.z_even;
    case Quantity::zcm:
      return e.z_even / 2;
  }
  return 0;
}

std::string values_text(const Structure& s, const Values& v) {
  std::string out;
  for (const Key& k : s.keys) {
    const auto it = v.find(k.name);
    if (it == v.end()) continue;
    std::string value;
    if (k.kind == KeyKind::choice)
      value = it->second == 1 ? "yes" : "no";
    else if (std::isinf(it->second))
      value = "inf";
    else
      value = lines::exact_number(it->second);
    out += (out.empty() ? "" : " ") + k.name + "=" + value;
  }
  return out;
}

std::string structure_help(const Structure& s) {
  std::string out = "ostrel-lines --structure " + s.name + " [KEY=VALUE ...] [options]\n\n";
  out += s.name + ": " + s.summary + ".\n\n" + s.sketch + "\n\nKeys (lengths in mm unless a " +
         "unit is given: mm, um, cm, m, mil, thou, in):\n";
  for (const Key& k : s.keys) {
    std::string head = "  " + k.name + "=" + (k.fallback.empty() ? "(not set)" : k.fallback);
    head.resize(std::max<std::size_t>(head.size() + 1, 24), ' ');
    out += head + k.meaning + "\n";
  }
  out += "\nTargets: --target " + target_names(s) + "=OHMS with --vary KEY (a length key).\n";
  out += "Media for --tan-delta: " + s.media + ".\n";
  return out;
}

}  // namespace ostrel::structures
