// The fill of the boundary-element system: the matrix of fill_element, in core and as a block
// of rows, on one, two and three threads, against the rows of fill_row one by one.
#include <gtest/gtest.h>
#include <omp.h>

#include <sstream>
#include <string>
#include <vector>

#include "assembly/fill.hpp"
#include "driver/reading.hpp"
#include "geometry/grid.hpp"
#include "kernels/green.hpp"

using namespace ostrel;

namespace {

// Potential rows on a circle, an arc and a grounded segment, flux rows on a dielectric
// interface, the zero-total-charge column; element sizes that split unevenly into threads
// and tiles (the circle's 95 rows, the most an element has, in two tiles on one thread).
const char* const problem_text =
    "fill case\n\n0 0\n1 4 1 1 1\n0 1 0 0 0 0 0\n0.1 1\n0 /\nheadings\n"
    "1 3 1 1 95 1 1\n0 0 1 0 0\n1 1\n--\n"
    "2 2 1 2 20 1 1\n3 0 1 0 180\n1 1\n--\n"
    "3 0 3 0 23 1 1\n-3 -2 3 -2 0\n2 1\n--\n"
    "4 0 1 0 18 1 1\n-3 -4 3 -4 0\n2 2\n--\n";

TEST(Fill, SameMatrixOnAnyNumberOfThreadsAsRowByRow) {
  std::istringstream in(problem_text);
  std::ostringstream sink;
  Streams io{sink, sink, sink};
  const Input input = read_problem(in, "fill.inp", io);
  const Problem& pb = input.problem;
  const int nd = input.dims.nd, npts = nd - 1, nimax = input.dims.nimax;
  std::vector<double> t(nd), x(nd), y(nd);
  collocation_points(pb, std::span(t).first(npts), std::span(x).first(npts),
                     std::span(y).first(npts));
  check_green(pb);
  const ElementQuadrature quad(pb, std::span(t).first(npts));
  const System s(pb, quad, t, x, y, nd);

  // Reference: every row by fill_row, on this thread.
  std::vector<double> ref(std::size_t(nd) * nd), row(nd);
  for (int i = 1; i <= pb.n(); ++i)
    for (int k = 1; k <= pb.el(i).ni; ++k) {
      fill_row(s, i, k, row);
      for (int c = 0; c < nd; ++c)
        ref[std::size_t(c) * nd + s.off[i] + k - 1] = row[c];
    }
  int flux_rows = 0;
  for (int c = 0; c < nd; ++c)
    flux_rows += ref[std::size_t(nd - 1) * nd + c] == 0;
  ASSERT_EQ(flux_rows, 23 + 1);  // the interface's rows (and the charge row, not filled here)

  const int threads = omp_get_max_threads();
  for (int nt : {1, 2, 3}) {
    omp_set_num_threads(nt);
    std::vector<std::vector<double>> bufs(nt, std::vector<double>(nimax));
    std::vector<double> ama(std::size_t(nd) * nd);
    for (int i = 1; i <= pb.n(); ++i) {
      fill_element(s, i, ama, nd, true, bufs);
      // The same rows as rows 1..ni of a block buffer.
      std::vector<double> block(std::size_t(nimax) * nd);
      fill_element(s, i, block, nimax, false, bufs);
      for (int c = 0; c < nd; ++c)
        for (int k = 1; k <= pb.el(i).ni; ++k)
          ASSERT_EQ(block[std::size_t(c) * nimax + k - 1],
                    ref[std::size_t(c) * nd + s.off[i] + k - 1])
              << nt << " threads, element " << i << " row " << k << " column " << c + 1;
    }
    for (std::size_t q = 0; q < ama.size(); ++q)
      ASSERT_EQ(ama[q], ref[q]) << nt << " threads, entry " << q;
  }
  omp_set_num_threads(threads);
}

}  // namespace
