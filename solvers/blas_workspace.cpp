#include "solvers/blas_workspace.hpp"

#include <cblas.h>

#include <vector>

namespace ostrel {

namespace {

// Order of the product: large enough for OpenBLAS to run it on all its threads.
constexpr int warm_up_order = 256;

}  // namespace

SerialBlas::SerialBlas() : before_(openblas_get_num_threads()) {
  openblas_set_num_threads(1);
}

SerialBlas::~SerialBlas() {
  openblas_set_num_threads(before_);
}

void reserve_blas_workspace() {
  static const bool reserved = [] {
    const std::vector<double> a(warm_up_order * warm_up_order, 1.0);
    std::vector<double> c(warm_up_order * warm_up_order, 0.0);
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, warm_up_order, warm_up_order,
                warm_up_order, 1.0, a.data(), warm_up_order, a.data(), warm_up_order, 0.0, c.data(),
                warm_up_order);
    return true;
  }();
  (void)reserved;
}

}  // namespace ostrel
