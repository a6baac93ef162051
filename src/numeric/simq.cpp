#include "numeric/simq.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace liftsim::numeric {
namespace {

// Order of the systems of the truck model, the one solved with fully unrolled loops.
constexpr int kUnrolledOrder = 7;

// The elimination for an order known at compile time (N > 0) or given at run time (N = 0).
// Every entry undergoes the same operations in the same order in both forms, so their results
// agree to the bit; the fixed form only lets the compiler unroll every loop into straight code.
template <int N>
void solve(double* __restrict coef, double* __restrict rhs, int order, int& ks) {
  const int n = N > 0 ? N : order;
  // 1-based views: a(i, k) is row i, column k; b(i) is element i of the right-hand side.
  auto a = [=](int i, int k) -> double& {
    return coef[static_cast<std::ptrdiff_t>(k - 1) * n + (i - 1)];
  };
  auto b = [rhs](int i) -> double& { return rhs[i - 1]; };

  ks = 0;
#pragma GCC unroll 8
  for (int j = 1; j <= n; ++j) {
    // Pivot: the first row of largest magnitude at or below the diagonal.
    double piv = 0.0;
    int prow = j;
#pragma GCC unroll 8
    for (int i = j; i <= n; ++i) {
      // Chosen without a branch: which row wins depends on the data.
      const bool larger = std::fabs(piv) - std::fabs(a(i, j)) < 0.0;
      piv = larger ? a(i, j) : piv;
      prow = larger ? i : prow;
    }
    if (std::fabs(piv) - std::fabs(0.0) <= 0.0) {
      ks = 1;
      return;
    }

    // Exchange and scale the pivot row from the diagonal on; the columns to the left keep the
    // multipliers of earlier steps in their original rows.
    if (prow != j) {
#pragma GCC unroll 8
      for (int k = j; k <= n; ++k) std::swap(a(j, k), a(prow, k));
    }
#pragma GCC unroll 8
    for (int k = j; k <= n; ++k) a(j, k) = a(j, k) / piv;
    const double t = b(prow);
    b(prow) = b(j);
    b(j) = t / piv;

    if (j == n) break;

#pragma GCC unroll 8
    // Each entry below and right of the pivot changes once, independently of the others: sweep
    // column by column so that the rows of a column are contiguous.
    for (int k = j + 1; k <= n; ++k) {
      const double pivot_row = a(j, k);
#pragma GCC unroll 8
      for (int i = j + 1; i <= n; ++i) a(i, k) = a(i, k) - a(i, j) * pivot_row;
    }
#pragma GCC unroll 8
    for (int i = j + 1; i <= n; ++i) b(i) = b(i) - b(j) * a(i, j);
  }

  // Back substitution over the unit upper triangle, from the second-last row upwards.
#pragma GCC unroll 8
  for (int j = 1; j <= n - 1; ++j) {
    const int i = n - j;
#pragma GCC unroll 8
    for (int c = n; c >= i + 1; --c) b(i) = b(i) - a(i, c) * b(c);
  }
}

}  // namespace

void Simq(double* coef, double* rhs, int order, int& ks) {
  if (order == kUnrolledOrder) {
    solve<kUnrolledOrder>(coef, rhs, order, ks);
  } else {
    solve<0>(coef, rhs, order, ks);
  }
}

}  // namespace liftsim::numeric
