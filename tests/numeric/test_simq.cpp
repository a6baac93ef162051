#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "numeric/simq.h"

namespace liftsim::numeric {
namespace {

// Column-major storage of a matrix given row by row.
std::vector<double> by_columns(int n, const std::vector<double>& rows) {
  std::vector<double> a(rows.size());
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k) a[k * n + i] = rows[i * n + k];
  return a;
}

struct SolveCase {
  std::string name;
  int n;
  std::vector<double> rows;  // matrix, row by row
  std::vector<double> rhs;
  int ks;
  std::vector<double> expect;  // exact right-hand side on return
  bool coef_untouched;
};

void PrintTo(const SolveCase& c, std::ostream* os) {
  *os << c.name;
}

class SimqCases : public ::testing::TestWithParam<SolveCase> {};

TEST_P(SimqCases, SolvesOrStops) {
  const SolveCase& c = GetParam();
  std::vector<double> a = by_columns(c.n, c.rows);
  const std::vector<double> a0 = a;
  std::vector<double> b = c.rhs;
  int ks = -7;
  Simq(a.data(), b.data(), c.n, ks);
  EXPECT_EQ(ks, c.ks);
  EXPECT_EQ(b, c.expect);
  if (c.coef_untouched) {
    EXPECT_EQ(a, a0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, SimqCases,
    ::testing::Values(
        SolveCase{"OneByOne", 1, {4.0}, {3.0}, 0, {0.75}, false},
        SolveCase{"OneByOneZero", 1, {0.0}, {3.0}, 1, {3.0}, true},
        SolveCase{"OrderZero", 0, {}, {5.0}, 0, {5.0}, true},
        SolveCase{"OrderNegative", -2, {}, {5.0}, 0, {5.0}, true},
        SolveCase{"ZeroFirstColumn", 3, {0, 1, 2, 0, 3, 4, 0, 5, 7}, {1, 2, 3}, 1, {1, 2, 3}, true},
        SolveCase{
            "Diagonal", 3, {2, 0, 0, 0, -8, 0, 0, 0, 0.5}, {1, 3, 3}, 0, {0.5, -0.375, 6}, false},
        // The second pivot is exactly zero after the first elimination: stop, half reduced.
        SolveCase{"SingularLater", 2, {1, 2, 2, 4}, {1, 1}, 1, {0.5, 0.5}, false}),
    [](const ::testing::TestParamInfo<SolveCase>& i) { return i.param.name; });

// Worked by hand: rows 1 and 3 tie in column 1 and the upper one is the pivot; in column 2 row 3
// is, and that exchange leaves column 1 (the multipliers 2 and −4) where it is.
TEST(Simq, PivotsTopmostAndKeepsUnscaledMultipliersInPlace) {
  std::vector<double> a = by_columns(3, {4, 1, 0, 2, 1, 1, -4, 2, 1});
  std::vector<double> b = {6, 3, -1};
  int ks = -1;
  Simq(a.data(), b.data(), 3, ks);
  ASSERT_EQ(ks, 0);
  const double expect[3][3] = {{1, 0.25, 0}, {2, 1, 1 / 3.0}, {-4, 0.5, 1}};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k)
      EXPECT_DOUBLE_EQ(a[k * 3 + i], expect[i][k]) << "entry (" << i + 1 << ", " << k + 1 << ")";
  const double solution[3] = {1.0, 2.0, -1.0};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(b[i], solution[i], 1e-15);
}

// A 7×7 system with a tie for the first pivot and the mass matrix's last row, solved to the last
// bit: scaling by a reciprocal, a fused multiply-add, another pivot among equals or another order
// of the back substitution all change the result. Bordered by a unit row and column at order 8 it
// takes the general path of the solver and must give the same bits.
TEST(Simq, SolvesToTheLastBitAtOrderSevenAndBordered) {
  const std::vector<double> rows7 = {-6, -3, 0,  3, 6,  -4, -1,  //
                                     -1, -4, 6,  3, 0,  -3, -6,  //
                                     4,  -5, -1, 3, -6, -2, 2,   //
                                     -6, -6, 5,  3, 1,  -1, -3,  //
                                     1,  6,  -2, 3, -5, 0,  5,   //
                                     6,  5,  4,  3, 2,  1,  0,   //
                                     0,  0,  0,  0, 0,  0,  5};
  const std::vector<double> rhs7 = {-5, 4, 2, 0, -2, -4, 5};
  const std::vector<double> expect = {0x1.8p-54,
                                      -0x1p-54,
                                      0x1.1759759759759p+0,
                                      -0x1.c0fc0fc0fc0fdp-1,
                                      -0x1.7357357357356p-2,
                                      -0x1.391b91b91b91cp+0,
                                      0x1.7507507507508p-1};
  for (int n : {7, 8}) {
    std::vector<double> rows(n * n, 0.0);
    for (int i = 0; i < 7; ++i)
      for (int k = 0; k < 7; ++k) rows[i * n + k] = rows7[i * 7 + k] / 3.0;
    std::vector<double> b(n, 0.0);
    for (int i = 0; i < 7; ++i) b[i] = rhs7[i] / 7.0 + 0.5;
    if (n == 8) rows[n * n - 1] = 1.0;
    std::vector<double> a = by_columns(n, rows);
    int ks = -1;
    Simq(a.data(), b.data(), n, ks);
    ASSERT_EQ(ks, 0) << "n = " << n;
    EXPECT_EQ(std::vector<double>(b.begin(), b.begin() + 7), expect) << "n = " << n;
  }
}

// Random diagonally dominant systems: small residual. At n = 7 the last row is zero but for its
// diagonal, as in the mass matrix, and the last component is then exactly b(n) / a(n, n).
TEST(Simq, RandomWellConditionedSystemsHaveSmallResiduals) {
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {2, 5, 7, 12}) {
    std::vector<double> rows(n * n);
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < n; ++k) rows[i * n + k] = u(gen) + (i == k ? n : 0.0);
    if (n == 7)
      for (int k = 0; k < n - 1; ++k) rows[(n - 1) * n + k] = 0.0;
    std::vector<double> rhs(n);
    for (double& v : rhs) v = 100.0 * u(gen);
    std::vector<double> a = by_columns(n, rows);
    std::vector<double> x = rhs;
    int ks = -1;
    Simq(a.data(), x.data(), n, ks);
    ASSERT_EQ(ks, 0) << "n = " << n;
    for (int i = 0; i < n; ++i) {
      double r = -rhs[i];
      for (int k = 0; k < n; ++k) r += rows[i * n + k] * x[k];
      EXPECT_NEAR(r, 0.0, 1e-11) << "n = " << n << ", row " << i + 1;
    }
    if (n == 7) {
      EXPECT_EQ(x[n - 1], rhs[n - 1] / rows[n * n - 1]);
    }
  }
}

}  // namespace
}  // namespace liftsim::numeric
