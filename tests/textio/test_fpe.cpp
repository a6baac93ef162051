#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "textio/child_process.h"
#include "textio/fpe.h"

namespace liftsim::textio {
namespace {

using liftsim::testing::kBodyReturned;
using liftsim::testing::run_in_child;

volatile double g_sink;

std::string math_report(const char* code, const char* message) {
  return std::string("\r\nrun-time error ") + code + ": MATH\r\n- " + message + "\r\n";
}

struct StopCase {
  const char* label;
  std::function<void()> body;
  std::string report;
};

// Each body runs with the traps on, in a child of its own.
void expect_stops(const std::vector<StopCase>& cases) {
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = run_in_child([&] {
      install_fp_traps();
      c.body();
    });
    EXPECT_EQ(result.exit_code, 1) << "signal " << result.signal;
    EXPECT_EQ(result.err, c.report);
    EXPECT_EQ(result.out, "");
  }
}

TEST(FpTraps, InvalidDivisionByZeroAndOverflowEndTheRun) {
  volatile double zero = 0.0;
  volatile double one = 1.0;
  volatile double largest = DBL_MAX;
  expect_stops({
      {"0/0", [&] { g_sink = zero / zero; }, math_report("M6101", "floating-point error: invalid")},
      {"sqrt of a negative number in hardware", [&] { g_sink = std::sqrt(-one); },
       math_report("M6101", "floating-point error: invalid")},
      {"1/0", [&] { g_sink = one / zero; },
       math_report("M6103", "floating-point error: divide by zero")},
      {"DBL_MAX*2", [&] { g_sink = largest * 2.0; },
       math_report("M6104", "floating-point error: overflow")},
  });
}

TEST(FpTraps, UnderflowInexactAndDenormalsStaySilent) {
  const auto result = run_in_child([] {
    install_fp_traps();
    volatile double smallest = DBL_MIN;
    volatile double three = 3.0;
    g_sink = smallest / 1e10;      // underflow to a denormal
    g_sink = g_sink * 0.5;         // denormal operand
    g_sink = 1.0 / three;          // inexact
    g_sink = smallest * smallest;  // underflow to zero
  });
  EXPECT_EQ(result.exit_code, kBodyReturned) << "signal " << result.signal;
  EXPECT_EQ(result.err, "");
}

TEST(CheckedMath, ArgumentsOutsideTheDomainEndTheRunWithTheirOwnReport) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  expect_stops({
      {"sqrt(-1)", [] { g_sink = checked::sqrt(-1.0); },
       math_report("M6201", "sqrt: DOMAIN error")},
      {"sqrt(NaN)", [&] { g_sink = checked::sqrt(nan); },
       math_report("M6201", "sqrt: DOMAIN error")},
      {"asin(1.5)", [] { g_sink = checked::asin(1.5); },
       math_report("M6201", "asin: DOMAIN error")},
      {"asin(-1 - ulp)", [] { g_sink = checked::asin(std::nextafter(-1.0, -2.0)); },
       math_report("M6201", "asin: DOMAIN error")},
      {"atan(NaN)", [&] { g_sink = checked::atan(nan); },
       math_report("M6201", "atan: DOMAIN error")},
      {"sin(2^63)", [] { g_sink = checked::sin(0x1p63); },
       math_report("M6205", "sin: TLOSS error")},
      {"cos(-1e19)", [] { g_sink = checked::cos(-1e19); },
       math_report("M6205", "cos: TLOSS error")},
      {"pow(1e200, 3)", [] { g_sink = checked::pow(1e200, 3.0); },
       math_report("M6203", "pow: OVERFLOW error")},
      {"pow(-8, 1/3)", [] { g_sink = checked::pow(-8.0, 1.0 / 3.0); },
       math_report("M6201", "pow: DOMAIN error")},
      {"pow(0, -1)", [] { g_sink = checked::pow(0.0, -1.0); },
       math_report("M6202", "pow: SING error")},
      {"to_int32(1e10)", [] { g_sink = checked::to_int32(1e10); },
       math_report("M6101", "floating-point error: invalid")},
      {"to_int32(-2147483649)", [] { g_sink = checked::to_int32(-2147483649.0); },
       math_report("M6101", "floating-point error: invalid")},
      {"to_int32(2147483648)", [] { g_sink = checked::to_int32(2147483648.0); },
       math_report("M6101", "floating-point error: invalid")},
      {"to_int32(NaN)", [&] { g_sink = checked::to_int32(nan); },
       math_report("M6101", "floating-point error: invalid")},
  });
}

TEST(CheckedMath, ArgumentsAtTheEdgesOfTheDomainPassWithTheTrapsOn) {
  const auto result = run_in_child([] {
    install_fp_traps();
    const bool same =
        checked::sqrt(-0.0) == 0.0 && checked::asin(1.0) == std::asin(1.0) &&
        checked::asin(-1.0) == std::asin(-1.0) && checked::sin(0x1p62) == std::sin(0x1p62) &&
        checked::cos(-0x1p62) == std::cos(-0x1p62) && checked::atan(1e300) == std::atan(1e300) &&
        checked::pow(0.7, 3.0) == std::pow(0.7, 3.0) && checked::pow(1e100, 3.0) == 1e300 &&
        checked::pow(1e-200, 3.0) == 0.0 && checked::pow(-2.0, 3.0) == -8.0;
    if (!same) ::_exit(2);
  });
  EXPECT_EQ(result.exit_code, kBodyReturned) << result.err;
}

TEST(CheckedMath, ToInt32TruncatesTowardZero) {
  struct Case {
    double x;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {-2.9, -2},
      {2.9, 2},
      {-0.5, 0},
      {0.0, 0},
      {2147483647.9, INT32_MAX},
      {-2147483648.9, INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(checked::to_int32(c.x), c.expected) << c.x;
}

}  // namespace
}  // namespace liftsim::textio
