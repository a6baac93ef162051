#include "textio/fpe.h"

#include <fenv.h>
#include <signal.h>

#include <cmath>

#include "textio/units.h"

namespace liftsim::textio {
namespace {

// Runs on the faulting instruction; returning would repeat it, so the handler ends the process.
void on_fp_fault(int /*signal*/, siginfo_t* info, void* /*context*/) {
  switch (info != nullptr ? info->si_code : 0) {
    case FPE_FLTDIV:
    case FPE_INTDIV:
      math_error_from_signal(ErrorCode::M6103, "floating-point error: divide by zero");
    case FPE_FLTOVF:
      math_error_from_signal(ErrorCode::M6104, "floating-point error: overflow");
    default:
      math_error_from_signal(ErrorCode::M6101, "floating-point error: invalid");
  }
}

}  // namespace

void install_fp_traps() {
  struct sigaction action {};
  action.sa_sigaction = on_fp_fault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGFPE, &action, nullptr);

  // Flags raised before now must not count as faults of the run.
  feclearexcept(FE_ALL_EXCEPT);
  feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
}

}  // namespace liftsim::textio

namespace liftsim::checked {
namespace {

// Arguments from 2^63 on leave no significant digit of the reduced angle.
constexpr double kTotalLoss = 0x1p63;

[[noreturn]] void domain(const char* message) {
  textio::math_error(textio::ErrorCode::M6201, message);
}

[[noreturn]] void total_loss(const char* message) {
  textio::math_error(textio::ErrorCode::M6205, message);
}

}  // namespace

// The arguments are checked before the library is called: with the traps enabled an invalid
// argument would otherwise end the run as a plain invalid operation.

double sqrt(double x) {
  if (std::isnan(x) || x < 0.0) domain("sqrt: DOMAIN error");
  return std::sqrt(x);
}

double sin(double x) {
  if (std::isnan(x)) domain("sin: DOMAIN error");
  if (std::fabs(x) >= kTotalLoss) total_loss("sin: TLOSS error");
  return std::sin(x);
}

double cos(double x) {
  if (std::isnan(x)) domain("cos: DOMAIN error");
  if (std::fabs(x) >= kTotalLoss) total_loss("cos: TLOSS error");
  return std::cos(x);
}

double asin(double x) {
  if (std::isnan(x) || std::fabs(x) > 1.0) domain("asin: DOMAIN error");
  return std::asin(x);
}

double atan(double x) {
  if (std::isnan(x)) domain("atan: DOMAIN error");
  return std::atan(x);
}

double pow(double x, double y) {
  if (std::isnan(x) || std::isnan(y)) domain("pow: DOMAIN error");
  if (x == 0.0 && y < 0.0) textio::math_error(textio::ErrorCode::M6202, "pow: SING error");
  if (x < 0.0 && std::isfinite(y) && y != std::trunc(y)) domain("pow: DOMAIN error");
  const double ax = std::fabs(x);
  // Small powers of moderate numbers cannot overflow: the common case goes straight through.
  if (x == 0.0 || (std::fabs(y) <= 3.0 && ax >= 0x1p-300 && ax <= 0x1p300)) return std::pow(x, y);
  // Otherwise the library works with the traps held, and an infinite result of finite
  // arguments is reported as the function's overflow.
  fenv_t held;
  feholdexcept(&held);
  const double result = std::pow(x, y);
  const bool overflow = std::isinf(result) && std::isfinite(x) && std::isfinite(y);
  feclearexcept(FE_ALL_EXCEPT);
  fesetenv(&held);
  if (overflow) textio::math_error(textio::ErrorCode::M6203, "pow: OVERFLOW error");
  return result;
}

std::int32_t to_int32(double x) {
  if (std::isnan(x)) textio::math_error(textio::ErrorCode::M6101, "floating-point error: invalid");
  const double whole = std::trunc(x);
  if (whole < -2147483648.0 || whole > 2147483647.0) {
    textio::math_error(textio::ErrorCode::M6101, "floating-point error: invalid");
  }
  return static_cast<std::int32_t>(whole);
}

}  // namespace liftsim::checked
