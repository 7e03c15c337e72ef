// Reads a problem from text and solves it in core, keeping the non-dimensional matrices.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "assembly/mo.hpp"
#include "driver/reading.hpp"
#include "solvers/storage.hpp"

namespace ostrel::testing {

struct Solution {
  Input input;
  std::vector<double> ge, geinv;  ///< column-major m x m, after the units of the problem
  std::string console, log, result;
  double c(int p, int q) const { return ge[std::size_t(q - 1) * input.dims.m + (p - 1)]; }
  double l(int p, int q) const { return geinv[std::size_t(q - 1) * input.dims.m + (p - 1)]; }
};

/// Solves the problem of `text` with the in-core solver; the work arrays are plain vectors.
inline Solution solve_text(const std::string& text) {
  Solution s;
  std::istringstream in(text);
  std::ostringstream console, log, result;
  Streams io{console, log, result};
  s.input = read_problem(in, "case.inp", io);
  const Dimensions& d = s.input.dims;
  const std::size_t nd = d.nd, m = d.m;
  std::vector<double> dens(nd), rhs(nd), xcol(nd), ycol(nd), tcol(nd), ama(nd * nd);
  std::vector<int> ipvt(nd);
  std::vector<double> gework(m * m);
  s.ge.assign(m * m, 0.0);
  s.geinv.assign(m * m, 0.0);
  Work w;
  w.ld = d.nd;
  w.dens = dens, w.rhs = rhs, w.xcol = xcol, w.ycol = ycol, w.tcol = tcol, w.ama = ama;
  w.ipvt = ipvt, w.ge = s.ge, w.geinv = s.geinv, w.gework = gework;
  SolverControls ctl = s.input.controls;
  ctl.iswitch = 0;
  mo(s.input.problem, d, ctl, w, io);
  s.console = console.str();
  s.log = log.str();
  s.result = result.str();
  return s;
}

}  // namespace ostrel::testing
