// Floating-point traps and checked math functions end the run with the MATH report.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "textio/fpe.h"

namespace liftsim::textio {
namespace {

volatile double g_sink;

TEST(MathStop, FaultsAndBadArgumentsEndTheRunWithTheirReport) {
  volatile double zero = 0.0, one = 1.0, largest = DBL_MAX;
  const std::string fp = "floating-point error: ";
  // clang-format off
  const struct { std::function<void()> body; const char* code; std::string message; } cases[] = {
      {[&] { g_sink = zero / zero; }, "M6101", fp + "invalid"},
      {[&] { g_sink = one / zero; }, "M6103", fp + "divide by zero"},
      {[&] { g_sink = largest * 2.0; }, "M6104", fp + "overflow"},
      {[] { g_sink = checked::sqrt(-1.0); }, "M6201", "sqrt: DOMAIN error"},
      {[] { g_sink = checked::asin(1.5); }, "M6201", "asin: DOMAIN error"},
      {[] { g_sink = checked::atan(NAN); }, "M6201", "atan: DOMAIN error"},
      {[] { g_sink = checked::pow(-8.0, 1.0 / 3.0); }, "M6201", "pow: DOMAIN error"},
      {[] { g_sink = checked::pow(0.0, -1.0); }, "M6202", "pow: SING error"},
      {[] { g_sink = checked::pow(1e200, 3.0); }, "M6203", "pow: OVERFLOW error"},
      {[] { g_sink = checked::sin(0x1p63); }, "M6205", "sin: TLOSS error"},
      {[] { g_sink = checked::cos(-1e19); }, "M6205", "cos: TLOSS error"},
      {[] { g_sink = checked::to_int32(0x1p31); }, "M6101", fp + "invalid"},
      {[] { g_sink = checked::to_int32(-2147483649.0); }, "M6101", fp + "invalid"},
      {[] { g_sink = checked::to_int32(NAN); }, "M6101", fp + "invalid"},
  };
  // clang-format on
  for (const auto& c : cases) {
    const std::string report =
        std::string("\r\nrun-time error ") + c.code + ": MATH\r\n- " + c.message + "\r\n";
    EXPECT_EXIT((install_fp_traps(), c.body()), ::testing::ExitedWithCode(1),
                ::testing::Eq(report));
  }
}

// Underflow, inexact results and arguments at the edges of the domains pass under the traps.
TEST(MathStop, UnderflowAndEdgeArgumentsPass) {
  const auto body = [] {
    install_fp_traps();
    volatile double smallest = DBL_MIN, three = 3.0;
    g_sink = smallest / 1e10;  // to a denormal, then with a denormal operand
    g_sink = g_sink * 0.5 + 1.0 / three + smallest * smallest;
    const bool same = checked::sqrt(-0.0) == 0.0 && checked::asin(-1.0) == std::asin(-1.0) &&
                      checked::sin(0x1p62) == std::sin(0x1p62) &&
                      checked::pow(1e100, 3.0) == 1e300 && checked::pow(1e-200, 3.0) == 0.0 &&
                      checked::pow(-2.0, 3.0) == -8.0;
    std::_Exit(same ? 0 : 2);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), ::testing::Eq(std::string()));
}

TEST(CheckedMath, ToInt32TruncatesTowardZero) {
  // clang-format off
  const struct { double x; std::int32_t expected; } cases[] = {
      {-2.9, -2}, {2.9, 2}, {-0.5, 0}, {2147483647.9, INT32_MAX}, {-2147483648.9, INT32_MIN}};
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(checked::to_int32(c.x), c.expected) << c.x;
}

}  // namespace
}  // namespace liftsim::textio
