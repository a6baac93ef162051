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

// A 7x7 system with a tie for the first pivot (the topmost row wins) and a last row zero but for
// its diagonal, as in the mass matrix, solved to the last bit.
TEST(Simq, SolvesToTheLastBitAtOrderSeven) {
  // clang-format off
  V rows = {-6, -3, 0, 3, 6, -4, -1,  -1, -4, 6, 3, 0, -3, -6,  4, -5, -1, 3, -6, -2, 2,
            -6, -6, 5, 3, 1, -1, -3,  1, 6, -2, 3, -5, 0, 5,  6, 5, 4, 3, 2, 1, 0,
            0, 0, 0, 0, 0, 0, 5}, b = {-5, 4, 2, 0, -2, -4, 5};
  // clang-format on
  for (double& v : rows) v /= 3.0;
  for (double& v : b) v = v / 7.0 + 0.5;
  ASSERT_EQ(solve(7, rows, b), 0);
  EXPECT_EQ(b, (V{0x1.8p-54, -0x1p-54, 0x1.1759759759759p+0, -0x1.c0fc0fc0fc0fdp-1,
                  -0x1.7357357357356p-2, -0x1.391b91b91b91cp+0, 0x1.7507507507508p-1}));
}

}  // namespace
}  // namespace liftsim::numeric
