#include "losses/surface_current.hpp"

#include <omp.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "assembly/fill.hpp"
#include "geometry/element.hpp"
#include "geometry/grid.hpp"
#include "kernels/element_quadrature.hpp"
#include "kernels/green.hpp"
#include "kernels/integrals.hpp"
#include "lines/solutions.hpp"
#include "losses/plane_current.hpp"
#include "solvers/lu.hpp"

namespace ostrel::losses {

std::vector<DensityPiece> density_pieces(const Problem& pb, std::span<const double> tcol) {
  std::vector<DensityPiece> pieces;
  int off = 0;
  for (int e = 1; e <= pb.n(); ++e) {
    const int n = pb.el(e).ni;
    const double* t = tcol.data() + off;
    if (pb.el(e).iform == 3) {
      // The seam function: from the last node (t = 1, the same point as t = -1) to the first.
      pieces.push_back({e, -1.0, t[0], off + n - 1, off});
    } else {
      pieces.push_back({e, -1.0, t[0], off, off});
    }
    for (int k = 0; k + 1 < n; ++k)
      pieces.push_back({e, t[k], t[k + 1], off + k, off + k + 1});
    if (pb.el(e).iform != 3) pieces.push_back({e, t[n - 1], 1.0, off + n - 1, off + n - 1});
    off += n;
  }
  return pieces;
}

VacuumSolution solve_vacuum(const Input& vacuum_input) {
  VacuumSolution v;
  v.input = vacuum_input;
  const Problem& pb = v.input.problem;
  const Dimensions& d = v.input.dims;
  const int nd = d.nd, m = d.m;
  v.m = m;
  v.npts = nd - (pb.idmn != 0 ? 1 : 0);
  v.tcol.assign(nd, 0.0);
  v.xcol.assign(nd, 0.0);
  v.ycol.assign(nd, 0.0);
  const std::span<double> tcol(v.tcol), xcol(v.xcol), ycol(v.ycol);
  collocation_points(pb, tcol.first(v.npts), xcol.first(v.npts), ycol.first(v.npts));
  if (!GreenKernel(pb).valid())
    throw std::runtime_error("the vacuum solution: unknown Green's function igg=" +
                             std::to_string(pb.igg));
  const ElementQuadrature quad(pb, tcol.first(v.npts));
  const System s(pb, quad, tcol, xcol, ycol, nd);

  // The fill and the factorisation of the in-core solution.
  std::vector<double> ama(static_cast<std::size_t>(nd) * nd, 0.0);
  std::vector<std::vector<double>> bufs(omp_get_max_threads(), std::vector<double>(d.nimax));
  for (int i = 1; i <= pb.n(); ++i) {
    fill_element(s, i, ama, nd, true, bufs);
    if (pb.idmn != 0 && i == pb.n())
      fill_charge_row(s, std::span(ama).subspan(nd - 1), nd, bufs[0]);
  }
  std::vector<int> ipvt(nd);
  std::ostringstream silent;
  const int skipped = decomp(nd, nd, ama, ipvt, 1, silent, pb.c().tiny);
  if (skipped > 0)
    throw std::runtime_error("the vacuum solution: the boundary-element system is singular (" +
                             std::to_string(skipped) +
                             " pivots below 1e-9); look for coinciding or overlapping elements");
  std::vector<double> many(static_cast<std::size_t>(nd) * m, 0.0);
  for (int ic = 1; ic <= m; ++ic)
    for (int i = 1; i <= pb.n(); ++i) {
      const Element& e = pb.el(i);
      const double potential = e.itype == 1 && e.isign == ic ? 1.0 : 0.0;
      for (int k = 0; k < e.ni; ++k)
        many[static_cast<std::size_t>(ic - 1) * nd + s.off[i] + k] = potential;
    }
  solve_many(nd, nd, ama, many, nd, m, ipvt);
  v.mu.resize(v.npts, m);
  for (int ic = 0; ic < m; ++ic)
    for (int g = 0; g < v.npts; ++g)
      v.mu(g, ic) = many[static_cast<std::size_t>(ic) * nd + g];

  // Free charge density at the conductor points (the charge step: (a + b) pi mu / ds, less
  // (b - a) times the double-layer sum where the two sides differ) and the charges.
  const double pi = pb.c().pi, scale = kernel_material(pb);
  v.sigma = Eigen::MatrixXd::Zero(v.npts, m);
  v.ge0 = Eigen::MatrixXd::Zero(m, m);
  std::vector<double> row(v.npts), buf(d.nimax);
  for (int e = 1; e <= pb.n(); ++e) {
    const Element& el = pb.el(e);
    if (el.itype != 1) continue;
    quad.element_integrals(e, code_unit, 0, 0, 0, 0, 0, buf);
    const std::vector<double> wk(buf.begin(), buf.begin() + el.ni);
    for (int k = 1; k <= el.ni; ++k) {
      const int g = s.off[e] + k - 1;
      const double t = tcol[g], x = xcol[g], y = ycol[g];
      const double ds = dlength(pb, e, t), a = el.amns, b = el.aplus;
      Eigen::RowVectorXd sig = (a + b) * pi * v.mu.row(g) / ds;
      if (!(std::fabs(a - b) <= pb.c().tiny)) {
        const Point n = nelem(pb, e, t);
        for (int j = 1; j <= pb.n(); ++j) {
          if (pb.el(j).itype != 1 && vanishes(pb, j, x, y, n)) {
            std::fill_n(row.begin() + s.off[j], pb.el(j).ni, 0.0);
            continue;
          }
          quad.element_integrals(j, code_flux, t, x, y, n.x, n.y, buf);
          std::copy_n(buf.begin(), pb.el(j).ni, row.begin() + s.off[j]);
        }
        const Eigen::Map<const Eigen::RowVectorXd> r(row.data(), v.npts);
        sig -= (b - a) * (r * v.mu);
      }
      v.sigma.row(g) = scale * sig;
      if (el.isign >= 1) v.ge0.row(el.isign - 1) += v.sigma.row(g) * ds * wk[k - 1];
    }
  }
  v.ge0 = 0.5 * (v.ge0 + v.ge0.transpose()).eval();
  v.pieces = density_pieces(pb, tcol.first(v.npts));
  return v;
}

VacuumSolution solve_vacuum_shown(const Input& vacuum_input, const std::string& label,
                                  std::ostream& console) {
  VacuumSolution v;
  lines::shown_solution(label, vacuum_input.dims.nd, console,
                        [&] { v = solve_vacuum(vacuum_input); });
  return v;
}

CurrentIntegrals current_integrals(const VacuumSolution& v) {
  const Problem& pb = v.input.problem;
  const int m = v.m;
  CurrentIntegrals c;
  std::vector<Eigen::MatrixXd> products(m + 1, Eigen::MatrixXd::Zero(m, m));
  Eigen::MatrixXd net = Eigen::MatrixXd::Zero(m + 2, m);
  for (const DensityPiece& p : v.pieces) {
    const Element& el = pb.el(p.element);
    if (el.itype != 1) continue;
    const int k = el.isign;
    const double len = dlength(pb, p.element, 0.5 * (p.ta + p.tb)) * (p.tb - p.ta);
    const Eigen::RowVectorXd a = v.sigma.row(p.ga), b = v.sigma.row(p.gb);
    // The integral of the product of two linear functions over the piece, exactly.
    products[k] +=
        len / 6 *
        (2 * a.transpose() * a + a.transpose() * b + b.transpose() * a + 2 * b.transpose() * b);
    net.row(k) += len / 2 * (a + b);
  }
  const PlaneIntegrals planes = plane_integrals(v);
  c.has_planes = planes.any;
  c.plane_error = planes.relative_error;
  // From the solutions (conductor k at 1 V) to unit currents: J = sigma ge0^-1.
  const Eigen::MatrixXd inv = v.ge0.inverse();
  for (const Eigen::MatrixXd& p : products)
    c.surface.push_back(inv * p * inv);
  c.planes =
      planes.any ? Eigen::MatrixXd(inv * planes.products * inv) : Eigen::MatrixXd::Zero(m, m);
  if (planes.any) net.row(m + 1) = planes.net.transpose();
  c.net = net * inv;
  return c;
}

}  // namespace ostrel::losses
