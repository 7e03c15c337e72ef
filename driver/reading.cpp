#include "driver/reading.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <ostream>

#include "assembly/units.hpp"
#include "base/fields.hpp"
#include "base/freeformat.hpp"
#include "base/halt.hpp"
#include "geometry/clearance.hpp"
#include "geometry/coincidence.hpp"
#include "geometry/element.hpp"

namespace ostrel {

namespace {

// Warning of a problem whose potentials are referred to the distance of one length unit.
constexpr const char* unit_reference_warning =
    " Warning: no grounded conductor (itype 1, isign 0) and idmn=0: potentials are referred to"
    " a distance of one length unit, so the matrix depends on the unit of length; idmn=1 (zero"
    " total charge) removes the dependence";

// Columns of the scratch folder in the windowed build's echo (longer names are shown whole).
constexpr int tmpdir_field = 20;

// Relative rounding of coordinates below which two boundaries count as touching.
constexpr double touch_tolerance = 1e-12;
// Share of the node spacing below which a gap between conductors is not resolved: the charge
// between them varies over the gap, and a grid interval of more than twice the gap cannot
// follow it. Measured on two wires of radius 1 with zero total charge, against the exact
// pi eps / acosh(1 + g/2): an interval 1.6 times the gap gives 0.1 % too little, 5 times 0.6 %,
// 16 times 1.7 %, 160 times 7 % (and 66 times, a finer grid, 43 %).
constexpr double resolved_gap_share = 0.5;

// Relative allowance of an arc's sweep over one full turn.
constexpr double full_turn_tolerance = 1e-6;
// Largest start or end angle of an arc, in turns.
constexpr double max_arc_turns = 1e6;

// An end of file where the reading needs a value.
[[noreturn]] void premature_end(const ListReader& rd) {
  rd.fail("end of file inside a group");
}

// Stops the run on an input error: one log line and the input stop text of the build.
[[noreturn]] void reject(const Problem& pb, std::string log_line) {
  halt_input(std::move(log_line), pb.c().text.input_stop);
}

// A non-finite real read from the file (NaN, Inf, or a number beyond the double range).
void check_finite(const Problem& pb, const ListReader& rd, std::initializer_list<double> values) {
  for (double v : values)
    if (!std::isfinite(v))
      reject(pb, "error in input file: value not finite in line " + std::to_string(rd.line() - 1));
}

// Smallest and largest y and x actually reached by element i (the sweep of an arc, not the
// box of its whole circle). Used for the domain checks of the mirror and channel kernels.
// Constant cost whatever the size of the angles.
Box reach(const Problem& pb, int i) {
  const Element& e = pb.el(i);
  if (e.iform == 0 || e.iform == 3) return emima(pb, i);
  // Arc: end points, plus the axis directions (k * 90 degrees) that the sweep passes; the box
  // is that of the points elem() computes.
  const auto& g = e.geom;
  const ArcSweep arc = arc_sweep(pb, i);
  if (!(arc.sweep < 2 * std::numbers::pi)) return emima(pb, i);
  const Point p = elem(pb, i, -1.0), q = elem(pb, i, 1.0);
  Box box{amin(p.x, q.x), amax(p.x, q.x), amin(p.y, q.y), amax(p.y, q.y)};
  if (arc.covers(0)) box.xmax = g[0] + g[2];
  if (arc.covers(std::numbers::pi / 2)) box.ymax = g[1] + g[2];
  if (arc.covers(std::numbers::pi)) box.xmin = g[0] - g[2];
  if (arc.covers(3 * std::numbers::pi / 2)) box.ymin = g[1] - g[2];
  return box;
}

// Rejects an element that leaves the region where the chosen Green's function is defined:
// below the plane y = 0 (kernels 1 to 3), outside the channel 0 <= y <= a (kernels 4 and 5),
// or at x < 0 (kernel 5). Elements touching a plane are allowed. Each axis has its own
// allowance, relative to the element's own size on that axis (never to coordinates on the
// other axis): arcs and circles compute their points from angles converted with the
// single-precision pi (a relative error of 9e-8: an arc to 180 degrees ends 9e-8 r below its
// centre's height), so they get domain_tolerance of |centre| + r; segments hold their end points
// as given, up to the rounding of a copy's shift, so they get segment_tolerance of the largest
// end-point coordinate.
constexpr double domain_tolerance = 1e-6;
constexpr double segment_tolerance = 1e-12;

void check_domain(const Problem& pb) {
  const int igg = pb.igg;
  if (igg < 1 || igg > 5) return;
  for (int i = 1; i <= pb.n(); ++i) {
    const Box b = reach(pb, i);
    const auto& g = pb.el(i).geom;
    double tol_x, tol_y;
    if (pb.el(i).iform == 0) {
      tol_x = segment_tolerance * (1 + std::max(std::fabs(b.xmin), std::fabs(b.xmax)));
      tol_y = segment_tolerance * (1 + std::max(std::fabs(b.ymin), std::fabs(b.ymax)));
    } else {
      tol_x = domain_tolerance * (1 + std::fabs(g[0]) + std::fabs(g[2]));
      tol_y = domain_tolerance * (1 + std::fabs(g[1]) + std::fabs(g[2]));
    }
    const std::string at = "error in input file: element " + iw(i, 3);
    // The half-space kernel holds for observation points in the upper medium only.
    if (igg == 3 && b.ymin < -tol_y)
      reject(pb, at + " reaches below the interface y=0 of igg= 3; mirror the problem (y to -y)" +
                     " and swap deps(1) and deps(2)");
    if (b.ymin < -tol_y) reject(pb, at + " reaches below the plane y=0 of igg=" + iw(igg, 2));
    if ((igg == 4 || igg == 5) && b.ymax > pb.gpars(1) + tol_y)
      reject(pb, at + " reaches above the plane y=gpars(1) of igg=" + iw(igg, 2));
    if (igg == 5 && b.xmin < -tol_x)
      reject(pb, at + " reaches into x<0, behind the symmetry plane of igg=" + iw(igg, 2));
  }
}

// Rejects two conductor elements that share a stretch of curve: their potential equations
// coincide, the system is singular, and its solution would be numbers without meaning.
void check_coinciding_conductors(const Problem& pb) {
  for (int i = 1; i <= pb.n(); ++i) {
    if (pb.el(i).itype != 1) continue;
    for (int j = 1; j <= pb.n(); ++j)
      if (j != i && pb.el(j).itype == 1 && nodes_on_element(pb, i, j) >= 2)
        reject(pb, "error in input file: conductor elements " + iw(std::min(i, j), 3) + " and " +
                       iw(std::max(i, j), 3) + " coincide or overlap");
  }
}

// Rejects an interface or symmetry element that lies on a conductor element: its flux equation
// and the conductor's potential equation would hold for the same charges, a model without
// meaning (the charge of such a conductor came out a third too small).
void check_interfaces_on_conductors(const Problem& pb) {
  for (int i = 1; i <= pb.n(); ++i) {
    if (pb.el(i).itype == 1) continue;
    for (int j = 1; j <= pb.n(); ++j)
      if (pb.el(j).itype == 1 && nodes_on_element(pb, i, j) >= 2)
        reject(pb, "error in input file: element " + iw(i, 3) + " (itype " + iw(pb.el(i).itype, 1) +
                       ") lies on conductor element " + iw(j, 3));
  }
}

// Gap below which two boundaries touch: the build's zero length, or the rounding of the
// coordinates where they are large.
double touching_gap(const Problem& pb, double size) {
  return std::max(pb.c().zero_length, touch_tolerance * size);
}

// The largest coordinate of a box, in magnitude: the scale of the coordinates' rounding there.
double coordinate_size(const Box& b) {
  return std::max({std::fabs(b.xmin), std::fabs(b.xmax), std::fabs(b.ymin), std::fabs(b.ymax)});
}

// Conductors that touch what they must stay apart from are rejected: a conductor at its own
// potential on a grounded plane (or channel wall) of the Green's function, or two conductors
// at different potentials, would be a short circuit, whose charges are infinite. Where they
// come closer than the node spacing there can resolve (a gap below resolved_gap_share of the
// spacing), the charges between them come out wrong: a warning gives the gap and the spacing
// (a larger ni refines the grid).
void check_clearances(const Problem& pb, Streams& io) {
  const auto warn = [&](const std::string& what, const Approach& a) {
    const std::string line = " Warning: " + what + " come within " + es(a.gap, 9, 2) +
                             " of each other, less than half the node spacing " +
                             es(a.spacing, 9, 2) +
                             " there: the charges between them are not resolved; raise ni";
    show(io, line);
    io.log << line << '\n';
  };
  // The grounded planes y = level of the Green's function, with their names.
  std::vector<std::pair<double, std::string>> planes;
  if (pb.igg == 1 || pb.igg == 4 || pb.igg == 5) planes.push_back({0.0, "y=0"});
  if (pb.igg == 4 || pb.igg == 5) planes.push_back({pb.gpars(1), "y=gpars(1)"});
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    if (e.itype != 1 || e.isign == 0) continue;
    const double size = coordinate_size(emima(pb, i));
    for (const auto& [level, name] : planes) {
      const Approach a = approach_to_line(pb, i, level);
      const std::string plane = "the grounded plane " + name + " of igg=" + iw(pb.igg, 2);
      if (a.gap <= touching_gap(pb, size + std::fabs(level)))
        reject(pb, "error in input file: conductor element " + iw(i, 3) + " (conductor " +
                       std::to_string(e.isign) + ") touches " + plane);
      if (a.gap < resolved_gap_share * a.spacing)
        warn("conductor element " + std::to_string(i) + " and " + plane, a);
    }
  }
  for (int i = 1; i <= pb.n(); ++i)
    for (int j = i + 1; j <= pb.n(); ++j) {
      const Element &ei = pb.el(i), &ej = pb.el(j);
      if (ei.itype != 1 || ej.itype != 1 || ei.isign == ej.isign) continue;
      const Box bi = emima(pb, i), bj = emima(pb, j);
      // Boxes farther apart than half the longer element: no node interval can be twice the
      // gap (an interval is never longer than its element), and they do not touch.
      const double apart =
          std::max({bj.xmin - bi.xmax, bi.xmin - bj.xmax, bj.ymin - bi.ymax, bi.ymin - bj.ymax});
      if (apart > resolved_gap_share * std::max(elength(pb, i), elength(pb, j))) continue;
      const double size = std::max(coordinate_size(bi), coordinate_size(bj));
      const Approach a = closest_approach(pb, i, j);
      const std::string pair = "conductor elements " + std::to_string(i) + " (conductor " +
                               std::to_string(ei.isign) + ") and " + std::to_string(j) +
                               " (conductor " + std::to_string(ej.isign) + ")";
      if (a.gap <= touching_gap(pb, size)) reject(pb, "error in input file: " + pair + " touch");
      if (a.gap < resolved_gap_share * a.spacing) warn(pair, a);
    }
}

// Rejects an element whose length is below the zero-length threshold (or not a number, as for
// an arc of radius 0 swept through an infinite angle), and one whose length or extent is beyond
// the range of reals, which no later step can compute with.
void check_size(const Problem& pb, int i) {
  const double len = elength(pb, i);
  if (!(len >= pb.c().zero_length)) reject(pb, "zero length element  " + iw(i, 2));
  const Box b = emima(pb, i);
  if (!std::isfinite(len) || !std::isfinite(b.xmin) || !std::isfinite(b.xmax) ||
      !std::isfinite(b.ymin) || !std::isfinite(b.ymax))
    reject(pb, "error in input file: size of element " + iw(i, 3) + " beyond the range of reals");
  const Element& e = pb.el(i);
  if (e.iform != 1 && e.iform != 2) return;
  // An arc that turns more than once covers part of its circle twice, where its charge is not
  // determined: the system would be singular. One turn, within the rounding of 360 degrees or
  // of 2 pi written out, is the whole circle.
  const double turn = e.iform == 2 ? 360.0 : 2 * std::numbers::pi;
  const auto& g = e.geom;
  if (std::fabs(g[4] - g[3]) > turn * (1 + full_turn_tolerance))
    reject(pb, "error in input file: arc " + iw(i, 3) + " turns more than a full circle");
  // Points of the arc are computed from its start angle plus a part of the sweep: beyond a
  // million turns the rounding of that sum alone moves them by more than 1e-9 of the radius.
  if (std::fabs(g[3]) > max_arc_turns * turn || std::fabs(g[4]) > max_arc_turns * turn)
    reject(pb, "error in input file: angles of arc " + iw(i, 3) + " beyond a million turns");
}

// Reads the element entries (header, geometry or copy, sides, separator) until the end of the
// file, with the checks of each entry in their order. Returns the largest isign.
int read_elements(ListReader& rd, Problem& pb, Streams& io) {
  int m = 0;
  for (int i = 1; i <= n0 + 1; ++i) {
    Element e;  // ileft and iright preset to 1
    int number = 0;
    if (!rd.read_group({&number, &e.iform, &e.itype, &e.isign, &e.ni, &e.ileft, &e.iright}))
      break;  // a header cut short by the end of the file is not counted
    // The console build always uses the quadratic node law; the windowed build takes the laws
    // from the file.
    if (!pb.c().reads_window_items) e.ileft = e.iright = 1;
    if (std::llabs(number) != i)
      io.log << "\nwarning - error numeration element " << iw(i, 3) << "\n\n";
    if (i > n0) {
      Halt h;
      h.log = {"n = " + iw(i, 3) + " > n0 = " + iw(n0, 3), pb.c().text.capacity_exceeded,
               "change file <elements> and recompile."};
      h.console = {pb.c().text.capacity_exceeded, " Error input file, see <ostrel.log>"};
      halt(std::move(h));
    }
    if (e.iform < 0 || e.iform > 3)
      reject(pb,
             "error in input file: iform(" + iw(i, 2) + ")=" + iw(e.iform, 2) + " != {0,1,2,3}");
    if (e.itype < 1 || e.itype > 3)
      reject(pb, "error in input file: itype(" + iw(i, 2) + ")=" + iw(e.itype, 1) + " != {1,2,3}");
    if (e.isign < 0)
      reject(pb, "error in input file: isign(" + iw(i, 2) + ")=" + iw(e.isign, 1) + " < 0.0");
    // An element needs two nodes: the end basis functions reach to the neighbouring node. 0 asks
    // for the automatic subdivision; a negative count has no meaning.
    if (e.ni == 1) reject(pb, "error in input file: ni(" + iw(i, 2) + ")= 1 < 2");
    if (e.ni < 0) reject(pb, "error in input file: ni(" + iw(i, 2) + ")=" + iw(e.ni, 2) + " < 0");
    m = std::max(m, e.isign);
    pb.elements.push_back(e);
    Element& el = pb.elements.back();
    auto& g = el.geom;
    if (number >= 1) {
      if (!rd.read_group({&g[0], &g[1], &g[2], &g[3], &g[4]})) premature_end(rd);
      check_finite(pb, rd, {g[0], g[1], g[2], g[3], g[4]});
      check_size(pb, i);
    } else {
      int iele = 0;
      double dx = 0, dy = 0, t = 0;
      if (!rd.read_group({&iele, &dx, &dy, &t})) premature_end(rd);
      check_finite(pb, rd, {dx, dy, t});
      if (iele < 1 || iele >= i) reject(pb, " n=" + iw(i, 3) + "   iele=" + iw(iele, 3));
      const Element& k = pb.el(iele);
      el.iform = k.iform;
      const auto& gk = k.geom;
      switch (el.iform) {
        case 0:
          g[0] = gk[0] + dx, g[2] = gk[2] + dx, g[1] = gk[1] + dy, g[3] = gk[3] + dy;
          break;
        case 1:
        case 2:
          g[0] = gk[0] + dx, g[1] = gk[1] + dy, g[2] = gk[2], g[3] = gk[3] + t, g[4] = gk[4] + t;
          break;
        default:
          g[0] = gk[0] + dx, g[1] = gk[1] + dy, g[2] = gk[2], g[3] = t;
      }
      check_finite(pb, rd, {g[0], g[1], g[2], g[3], g[4]});
      // A copy keeps the length of its original, unless a huge shift rounds it away.
      check_size(pb, i);
    }
    if (!rd.read_group({&el.iamns, &el.iaplus})) premature_end(rd);
    if (pb.igg == 3) el.iamns = el.iaplus = -1;
    for (int side : {el.iamns, el.iaplus})
      if (side < -1 || side > ndiel)
        reject(pb, "error in input file: side index of element " + iw(i, 2) + " =" + iw(side, 2) +
                       " != {-1,0,1,2,3,4,5}");
    if (!rd.skip_line()) break;
  }
  return m;
}

}  // namespace

void open_input(std::ifstream& in, const std::string& name, const char* program) {
  // A directory opens as a stream on some systems but cannot be read: it is not an input file.
  std::error_code ec;
  errno = 0;
  if (!name.empty() && !std::filesystem::is_directory(name, ec)) in.open(name, std::ios::binary);
  const int open_error = errno ? errno : ENOENT;
  if (in.is_open()) return;
  Halt h;
  h.console = {"Can not open input file  ", name};
  // The reason after the name, on standard error.
  h.error.push_back(std::string(program) + ": " + name + ": " +
                    std::strerror(std::filesystem::is_directory(name, ec) ? EISDIR : open_error));
  halt(std::move(h));
}

Input read_problem(std::istream& in, const std::string& name, Streams& io,
                   const BuildConstants& build) {
  Input input;
  Problem& pb = input.problem;
  SolverControls& ctl = input.controls;
  pb.build = &build;
  ListReader rd(in, name);

  // Titles, then the five global groups.
  if (!rd.read_line(pb.title1, build.title_length)) premature_end(rd);
  io.console << pb.title1 << '\n';
  if (!rd.read_line(pb.title2, build.title_length)) premature_end(rd);
  io.console << pb.title2 << "\n\n";

  const bool window_items = build.reads_window_items;
  if (!(window_items ? rd.read_group({&pb.iprobl, &pb.iunits, &pb.ish})
                     : rd.read_group({&pb.iprobl, &pb.iunits})))
    premature_end(rd);
  auto& d = pb.deps_;
  if (!rd.read_group({&d[2], &d[3], &d[4], &d[5], &d[6]})) premature_end(rd);
  check_finite(pb, rd, {d[2], d[3], d[4], d[5], d[6]});
  auto& gp = pb.gpars_;
  if (!rd.read_group({&pb.igg, &pb.idmn, &gp[0], &gp[1], &gp[2], &gp[3], &gp[4]}))
    premature_end(rd);
  check_finite(pb, rd, {gp[0], gp[1], gp[2], gp[3], gp[4]});
  // Parameters without which the chosen Green's function has no meaning.
  if ((pb.igg == 4 || pb.igg == 5) && !(pb.gpars(1) > 0))
    reject(pb, "error in input file: gpars(1)<=0 for igg=" + iw(pb.igg, 2));
  if (pb.igg == 3 && pb.deps(1) + pb.deps(2) == 0)
    reject(pb, "error in input file: deps(1)+deps(2)=0 for igg= 3");
  // The conductors lie in the upper medium, whose value scales every charge.
  if (pb.igg == 3 && !(pb.deps(1) > 0)) reject(pb, "error in input file: deps(1)<=0 for igg= 3");
  if (!rd.read_group({&ctl.ah, &ctl.iorder})) premature_end(rd);
  check_finite(pb, rd, {ctl.ah});
  ctl.iorder = 1;  // 2 is accepted, but only the first order is implemented
  if (ctl.ah <= 0) reject(pb, "error in input file: ah<=0");
  if (!(window_items ? rd.read_group({&ctl.iswitch, &ctl.imm, &ctl.itlim, &ctl.eps, &ctl.tmpdir})
                     : rd.read_group({&ctl.iswitch, &ctl.imm, &ctl.itlim, &ctl.eps})))
    premature_end(rd);
  check_finite(pb, rd, {ctl.eps});
  // The tolerance is a relative residual: a negative one can never be met.
  if (ctl.eps < 0) reject(pb, "error in input file: eps=" + es(ctl.eps, 10, 3) + " < 0");
  // The iteration needs a Krylov dimension of at least 1; 0 takes the default below. Large
  // values are the user's choice: the echo shows a value wider than its field as asterisks, the
  // memory of the Krylov array is requested through foralloc (which stops the run when it cannot
  // be had), and the iteration count cannot overflow.
  if (ctl.imm < 0) reject(pb, "error in input file: imm=" + iw(ctl.imm, 2) + " < 0");
  if (!rd.skip_line()) premature_end(rd);

  const int m = read_elements(rd, pb, io);
  if (pb.n() == 0) reject(pb, "error in input file: no boundary element");
  if (m == 0) reject(pb, "error in input file: no conductor (every isign(i) is 0)");
  // Every conductor number up to m needs a conductor element, or its row of the capacitance
  // matrix is empty and the matrix singular.
  // Among n elements some number up to n + 1 is missing when m exceeds n, so the search stops
  // there: isign may be as large as the largest integer.
  const int last = std::min(m, pb.n() + 1);
  std::vector<bool> has_element(last + 1);
  for (const Element& e : pb.elements)
    if (e.itype == 1 && e.isign <= last) has_element[e.isign] = true;
  for (int q = 1; q <= last; ++q)
    if (!has_element[q])
      reject(pb,
             "error in input file: conductor " + iw(q, 3) + " has no conductor element (itype 1)");

  // Material values, automatic subdivision and its cap.
  for (int i = 1; i <= pb.n(); ++i) {
    Element& e = pb.elements[i - 1];
    if (pb.iprobl != 0 && pb.iprobl != 1) {
      Halt h;
      h.stop_text = "wrong problem, stop!";
      halt(std::move(h));
    }
    e.amns = pb.material(e.iamns);
    e.aplus = pb.material(e.iaplus);
    if (e.ni == 0) {
      // Nearest whole number, halves away from zero; huge quotients are capped below anyway.
      const double q = std::round(elength(pb, i) / ctl.ah);
      e.ni = std::max(build.min_auto_ni, static_cast<int>(std::min(q, 1e9)));
    }
    if (e.ni > nimax_def) {
      e.ni = nimax_def;
      io.log << "i=" << iw(i, 3) << "  <ni(i)> cuted to <nimax_def>\n";
    }
  }
  check_domain(pb);
  check_coinciding_conductors(pb);
  check_interfaces_on_conductors(pb);

  Dimensions& dims = input.dims;
  dims.n = pb.n();
  dims.m = m;
  for (const Element& e : pb.elements) {
    dims.nd += e.ni;
    dims.nimax = std::max(dims.nimax, e.ni);
  }
  if (pb.idmn != 0) ++dims.nd;
  write_echo(input, io.log);
  check_clearances(pb, io);
  if (build.result_head)
    io.result << pb.title1 << '\n'
              << pb.title2 << '\n'
              << "iprobl=" << iw(pb.iprobl, 1) << "    iunits=" << iw(pb.iunits, 1) << '\n';

  // The windowed build checks these after its summary and drawing the cross-section.
  if (!build.windowed && null_charge_incompatible(pb)) {
    Halt h;
    h.console = h.log = {"NULL charge and Green function incompatible"};
    halt(std::move(h));
  }
  // A units code that the result tables do not have for the problem kind: found now, not after
  // the solution.
  if (!build.windowed && !units_fit(pb)) {
    Halt h;
    h.console = {build.text.no_such_units};
    halt(std::move(h));
  }

  // The free-space, symmetry-plane and half-space kernels refer potentials to the distance of
  // one length unit (ln r = 0). Without a grounded conductor or the zero-total-charge
  // constraint nothing else fixes the reference, so the matrix changes with the unit the
  // geometry is written in: say so, but solve (the numbers are what the model gives).
  const bool grounded = std::any_of(pb.elements.begin(), pb.elements.end(),
                                    [](const Element& e) { return e.itype == 1 && e.isign == 0; });
  if ((pb.igg == 0 || pb.igg == 2 || pb.igg == 3) && pb.idmn == 0 && !grounded) {
    show(io, unit_reference_warning);
    io.log << unit_reference_warning << '\n';
  }

  // Solver defaults for values given as zero (the echo shows the values as read). A tolerance
  // at or below the build's zero threshold counts as zero; when one was given, say so.
  const SolverControls defaults;
  if (ctl.imm == 0) ctl.imm = defaults.imm;
  if (ctl.itlim == 0) ctl.itlim = defaults.itlim;
  if (ctl.eps <= build.tiny) {
    if (ctl.eps != 0 && ctl.iswitch != 0) {
      const auto real = [](double v) {
        const std::string t = es(v, 12, 2);
        return t.substr(t.find_first_not_of(' '));
      };
      const std::string note = " eps=" + real(ctl.eps) + " is at or below " + real(build.tiny) +
                               ": the iteration uses eps=" + real(defaults.eps);
      show(io, note);
      io.log << note << '\n';
    }
    ctl.eps = defaults.eps;
  }
  return input;
}

bool null_charge_incompatible(const Problem& pb) {
  return pb.idmn != 0 && (pb.igg == 1 || pb.igg == 4 || pb.igg == 5);
}

void write_echo(const Input& input, std::ostream& log) {
  const Problem& pb = input.problem;
  const SolverControls& ctl = input.controls;
  const Dimensions& dims = input.dims;
  if (!pb.c().windowed) log << date24() << '\n';
  log << pb.title1 << '\n' << pb.title2 << '\n';
  log << "iprobl=" << iw(pb.iprobl, 1) << "    iunits=" << iw(pb.iunits, 1)
      << "    ish=" << iw(pb.ish, 1) << '\n';
  log << "deps(i):";
  for (int k = 1; k <= ndiel; ++k)
    log << "  " << es(pb.deps(k), 10, 3);
  log << "\nigg=" << iw(pb.igg, 3) << "   idmn=" << iw(pb.idmn, 3) << "   gpars:";
  for (int k = 1; k <= 5; ++k)
    log << "  " << es(pb.gpars(k), 10, 3);
  log << '\n';
  if (ctl.iswitch == 0)
    log << "default LU: iswitch=" << iw(ctl.iswitch, 1) << '\n';
  else
    log << "iswitch=" << iw(ctl.iswitch, 1) << "    imm=" << iw(ctl.imm, 2)
        << "    itlim=" << iw(ctl.itlim, 3) << "    eps=" << es(ctl.eps, 10, 3) << '\n';
  if (ctl.iswitch != 0 && pb.c().reads_window_items)
    log << "tmp dir:  " << padded(ctl.tmpdir, tmpdir_field) << '\n';
  log << "ah=" << es(ctl.ah, 10, 3) << '\n';
  log << "program starts with the next input data:\n";
  log << " n=" << iw(dims.n, 2) << "   m=" << iw(dims.m, 2) << '\n';
  log << "dimension of main matrix and max block of this matrix are:\n";
  log << "nd=" << iw(dims.nd, 4) << '\n' << "nimax=" << iw(dims.nimax, 4) << '\n';
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    log << "element number  " << iw(i, 3) << '\n';
    log << "  itype(i)=" << iw(e.itype, 3) << "  ni(i)=" << iw(e.ni, 3)
        << "  isign(i)=" << iw(e.isign, 3) << "  iform(i)=" << iw(e.iform, 3) << '\n';
    log << "  iamns(i)=" << iw(e.iamns, 3) << "  iaplus(i)=" << iw(e.iaplus, 3)
        << "  ileft(i)=" << iw(e.ileft, 3) << "  iright(i)=" << iw(e.iright, 3) << '\n';
    log << "  geom(i,*):";
    const int count = (e.iform == 1 || e.iform == 2) ? 5 : 4;
    for (int k = 0; k < count; ++k)
      log << "  " << es(e.geom[k], 12, 4);
    log << "\n  amns(i)=" << es(e.amns, 10, 3) << "    aplus(i)=" << es(e.aplus, 10, 3) << "  \n";
  }
  log << pb.c().text.echo_end << '\n';
}

}  // namespace ostrel
