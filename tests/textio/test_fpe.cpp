// Floating-point traps return the MATH error to the run's boundary; checked math functions fail
// the run with theirs.
#include <fenv.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "textio/fpe.h"

namespace liftsim::textio {
namespace {

volatile double g_sink;

// The caller's rounding mode and raised flags, with no trap enabled.
struct CallerEnvironment {
  CallerEnvironment() {
    fesetround(FE_UPWARD);
    feclearexcept(FE_ALL_EXCEPT);
    feraiseexcept(FE_INEXACT);
  }
  ~CallerEnvironment() {
    fesetround(FE_TONEAREST);
    feclearexcept(FE_ALL_EXCEPT);
  }
  static bool intact() {
    return fegetround() == FE_UPWARD && fetestexcept(FE_ALL_EXCEPT) == FE_INEXACT &&
           fegetexcept() == 0;
  }
};

// Under the traps a fault ends the body where it happens and comes back as the error value; a
// checked function's failure passes through as RunFailure. Either way the thread's environment is
// the caller's again.
TEST(FpTraps, FaultsAndBadArgumentsGiveTheirError) {
  volatile double zero = 0.0, one = 1.0, largest = DBL_MAX;
  const std::string fp = "floating-point error: ";
  // clang-format off
  const struct { std::function<void()> body; ErrorCode code; std::string message; } cases[] = {
      {[&] { g_sink = zero / zero; }, ErrorCode::M6101, fp + "invalid"},
      {[&] { g_sink = one / zero; }, ErrorCode::M6103, fp + "divide by zero"},
      {[&] { g_sink = largest * 2.0; }, ErrorCode::M6104, fp + "overflow"},
      {[] { g_sink = checked::sqrt(-1.0); }, ErrorCode::M6201, "sqrt: DOMAIN error"},
      {[] { g_sink = checked::asin(1.5); }, ErrorCode::M6201, "asin: DOMAIN error"},
      {[] { g_sink = checked::atan(NAN); }, ErrorCode::M6201, "atan: DOMAIN error"},
      {[] { g_sink = checked::pow(-8.0, 1.0 / 3.0); }, ErrorCode::M6201, "pow: DOMAIN error"},
      {[] { g_sink = checked::pow(0.0, -1.0); }, ErrorCode::M6202, "pow: SING error"},
      {[] { g_sink = checked::pow(1e200, 3.0); }, ErrorCode::M6203, "pow: OVERFLOW error"},
      {[] { g_sink = checked::sin(0x1p63); }, ErrorCode::M6205, "sin: TLOSS error"},
      {[] { g_sink = checked::cos(-1e19); }, ErrorCode::M6205, "cos: TLOSS error"},
      {[] { g_sink = checked::to_int32(0x1p31); }, ErrorCode::M6101, fp + "invalid"},
      {[] { g_sink = checked::to_int32(-2147483649.0); }, ErrorCode::M6101, fp + "invalid"},
      {[] { g_sink = checked::to_int32(NAN); }, ErrorCode::M6101, fp + "invalid"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const CallerEnvironment caller;
    std::optional<RunError> error;
    try {
      auto body = [&c] { c.body(); };
      error = run_with_fp_traps(body);
    } catch (const RunFailure& failure) {
      error = failure.error();
    }
    EXPECT_EQ(error, (RunError{c.code, Statement::math, "", c.message}));
    EXPECT_TRUE(CallerEnvironment::intact());
  }
}

// Underflow, inexact results and arguments at the edges of the domains pass under the traps;
// conversions to a 32-bit integer truncate toward zero.
TEST(FpTraps, UnderflowAndEdgeArgumentsPass) {
  bool same = false;
  auto body = [&same] {
    volatile double smallest = DBL_MIN, three = 3.0;
    g_sink = smallest / 1e10;  // to a denormal, then with a denormal operand
    g_sink = g_sink * 0.5 + 1.0 / three + smallest * smallest;
    same = checked::sqrt(-0.0) == 0.0 && checked::asin(-1.0) == std::asin(-1.0) &&
           checked::sin(0x1p62) == std::sin(0x1p62) && checked::pow(1e100, 3.0) == 1e300 &&
           checked::pow(1e-200, 3.0) == 0.0 && checked::pow(-2.0, 3.0) == -8.0 &&
           checked::to_int32(-2.9) == -2 && checked::to_int32(2.9) == 2 &&
           checked::to_int32(2147483647.9) == INT32_MAX &&
           checked::to_int32(-2147483648.9) == INT32_MIN;
  };
  EXPECT_EQ(run_with_fp_traps(body), std::nullopt);
  EXPECT_TRUE(same);
}

// The traps are the running thread's alone: another thread divides by zero meanwhile and gets an
// infinity; the trap inside the run afterwards still returns its error.
TEST(FpTraps, OtherThreadsAreNotAffected) {
  std::atomic<int> stage{0};
  volatile double zero = 0.0;
  auto body = [&] {
    stage = 1;
    while (stage != 2) std::this_thread::yield();
    g_sink = 1.0 / zero;
  };
  std::optional<RunError> error;
  std::thread run([&] { error = run_with_fp_traps(body); });
  while (stage != 1) std::this_thread::yield();
  const double elsewhere = 1.0 / zero;
  stage = 2;
  run.join();
  EXPECT_EQ(elsewhere, INFINITY);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, ErrorCode::M6103);
  feclearexcept(FE_ALL_EXCEPT);
}

}  // namespace
}  // namespace liftsim::textio
