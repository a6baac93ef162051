#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "numeric/simq.h"

namespace liftsim::numeric {
namespace {

using V = std::vector<double>;

// Solves the system with the n×n matrix given row by row, in place of b; returns ks.
int solve(int n, const V& rows, V& b) {
  V a(rows.size());
  for (std::size_t k = 0; k < rows.size(); ++k) a[k % n * n + k / n] = rows[k];
  int ks = -7;
  Simq(a.data(), b.data(), n, ks);
  return ks;
}

// Order 1, a second pivot zero after the first elimination, order <= 0, a zero first column, a
// diagonal matrix: ks and the right-hand side on return, exactly.
TEST(Simq, SolvesOrStopsAtAZeroPivot) {
  // clang-format off
  for (auto [n, rows, b, ks, expect] : std::vector<std::tuple<int, V, V, int, V>>{
      {1, {4}, {3}, 0, {0.75}}, {1, {0}, {3}, 1, {3}}, {2, {1, 2, 2, 4}, {1, 1}, 1, {0.5, 0.5}},
      {0, {}, {5}, 0, {5}}, {3, {0, 1, 2, 0, 3, 4, 0, 5, 7}, {1, 2, 3}, 1, {1, 2, 3}},
      {-2, {}, {5}, 0, {5}}, {3, {2, 0, 0, 0, -8, 0, 0, 0, 0.5}, {1, 3, 3}, 0, {0.5, -0.375, 6}}}) {
    // clang-format on
    EXPECT_EQ(solve(n, rows, b), ks) << "n = " << n;
    EXPECT_EQ(b, expect) << "n = " << n;
  }
}

}  // namespace
}  // namespace liftsim::numeric
