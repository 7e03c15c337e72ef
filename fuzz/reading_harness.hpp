// One run of the reading fuzz target on one input, shared by the libFuzzer target and by the
// test that replays every input that ever failed.
//
// check_reading() feeds the bytes as a problem file to the reading, as the console program
// does before the solution: read_problem(), then the collocation points and the EPS picture
// of an accepted problem. A Halt is the clean rejection of a bad file. Everything else is a
// finding: a crash, a sanitizer report, a hang, an exception other than Halt, or a broken
// promise of the code under test, which these functions report by throwing a Finding.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/halt.hpp"
#include "driver/reading.hpp"
#include "elements.hpp"
#include "fuzz/finding.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"
#include "picture/psout.hpp"

namespace ostrel::fuzz {

/// A stop must say why and must not look like success.
inline void check_halt(const Halt& h) {
  require(h.status != 0, "a stop with exit status 0");
  require(!h.console.empty() || !h.log.empty() || !h.error.empty() || !h.stop_text.empty(),
          "a stop without any message");
}

/// What an accepted problem promises to every later step: counts within the capacities,
/// validated codes, finite geometry and material values, and finite collocation points.
inline void check_accepted(const Input& in) {
  const Problem& pb = in.problem;
  const Dimensions& d = in.dims;
  require(pb.n() >= 1 && pb.n() <= n0 && d.n == pb.n(), "element count out of range");
  require(d.m >= 1 && d.m <= pb.n(), "conductor count out of range");
  int nd = 0, nimax = 0, m = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    require(e.iform >= 0 && e.iform <= 3, "iform out of range");
    require(e.itype >= 1 && e.itype <= 3, "itype out of range");
    require(e.isign >= 0, "negative isign");
    require(e.ni >= 2 && e.ni <= nimax_def, "ni out of range");
    require(e.iamns >= -1 && e.iamns <= ndiel && e.iaplus >= -1 && e.iaplus <= ndiel,
            "side index out of range");
    for (double g : e.geom)
      require(std::isfinite(g), "non-finite geometry");
    require(std::isfinite(e.amns) && std::isfinite(e.aplus), "non-finite material value");
    const double len = elength(pb, i);
    require(std::isfinite(len) && len >= pb.c().zero_length, "element length not usable");
    nd += e.ni;
    nimax = std::max(nimax, e.ni);
    m = std::max(m, e.isign);
  }
  if (pb.idmn != 0) ++nd;
  require(d.nd == nd && d.nimax == nimax && d.m == m, "dimensions do not match the elements");
  const SolverControls& c = in.controls;
  require(c.ah > 0 && std::isfinite(c.ah) && std::isfinite(c.eps), "solver controls");
  require(c.imm >= 1 && c.iorder == 1, "solver controls after defaults");

  std::vector<double> t(nd), x(nd), y(nd);
  collocation_points(pb, t, x, y);
  for (int k = 0; k < nd - (pb.idmn != 0 ? 1 : 0); ++k)
    require(std::isfinite(t[k]) && std::isfinite(x[k]) && std::isfinite(y[k]),
            "non-finite collocation point");

  // Every point of an accepted element lies where the Green's function is defined. The
  // allowance here is looser than the reading's (1e-5 of the element's own size on the axis),
  // so only a real hole of the domain check is reported.
  const int igg = pb.igg;
  if (igg < 1 || igg > 5) return;
  int k = 0;
  for (int i = 1; i <= pb.n(); ++i) {
    const Element& e = pb.el(i);
    const auto& g = e.geom;
    const bool round = e.iform != 0;
    const double sx = round ? std::fabs(g[0]) + g[2] : std::max(std::fabs(g[0]), std::fabs(g[2]));
    const double sy = round ? std::fabs(g[1]) + g[2] : std::max(std::fabs(g[1]), std::fabs(g[3]));
    const double tol_x = 1e-5 * (1 + sx), tol_y = 1e-5 * (1 + sy);
    for (int j = 0; j < e.ni; ++j, ++k) {
      require(y[k] >= -tol_y, "an accepted element reaches below y = 0");
      if (igg >= 4) require(y[k] <= pb.gpars(1) + tol_y, "an accepted element leaves the channel");
      if (igg == 5) require(x[k] >= -tol_x, "an accepted element reaches into x < 0");
    }
  }
}

/// Reads `bytes` as a problem file. Returns true when the problem was accepted, false when the
/// reading stopped it cleanly. Throws Finding on a broken promise; any other exception
/// escapes.
inline bool check_reading(std::string_view bytes) {
  std::istringstream file{std::string(bytes)};
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  try {
    const Input in = read_problem(file, "fuzz.inp", io);
    check_accepted(in);
    std::ostringstream picture;
    write_picture(in.problem, "fuzz.inp", "Thu Jan  1 00:00:00 1970", picture);
    require(picture.str().find(" show\n") != std::string::npos, "picture without elements");
  } catch (const Halt& h) {
    check_halt(h);
    require(result.str().empty(), "the reading wrote to the result file");
    return false;
  }
  require(result.str().empty(), "the reading wrote to the result file");
  return true;
}

}  // namespace ostrel::fuzz
