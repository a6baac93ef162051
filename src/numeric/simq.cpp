#include "numeric/simq.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace liftsim::numeric {

void Simq(double* coef, double* rhs, int order, int& ks) {
  const int n = order;
  // 1-based views: a(i, k) is row i, column k; b(i) is element i of the right-hand side.
  auto a = [coef, n](int i, int k) -> double& {
    return coef[static_cast<std::ptrdiff_t>(k - 1) * n + (i - 1)];
  };
  auto b = [rhs](int i) -> double& { return rhs[i - 1]; };

  ks = 0;
  for (int j = 1; j <= n; ++j) {
    // Pivot: the first row of largest magnitude at or below the diagonal.
    double piv = 0.0;
    int prow = j;
    for (int i = j; i <= n; ++i) {
      if (std::fabs(piv) - std::fabs(a(i, j)) < 0.0) {
        piv = a(i, j);
        prow = i;
      }
    }
    if (std::fabs(piv) - std::fabs(0.0) <= 0.0) {
      ks = 1;
      return;
    }

    // Exchange and scale the pivot row from the diagonal on; the columns to the left keep the
    // multipliers of earlier steps in their original rows.
    for (int k = j; k <= n; ++k) {
      std::swap(a(j, k), a(prow, k));
      a(j, k) = a(j, k) / piv;
    }
    const double t = b(prow);
    b(prow) = b(j);
    b(j) = t / piv;

    if (j == n) break;

    for (int i = j + 1; i <= n; ++i) {
      const double m = a(i, j);
      for (int k = j + 1; k <= n; ++k) a(i, k) = a(i, k) - m * a(j, k);
      b(i) = b(i) - b(j) * m;
    }
  }

  // Back substitution over the unit upper triangle, from the second-last row upwards.
  for (int j = 1; j <= n - 1; ++j) {
    const int i = n - j;
    for (int c = n; c >= i + 1; --c) b(i) = b(i) - a(i, c) * b(c);
  }
}

}  // namespace liftsim::numeric
