#include "textio/fpe.h"

#include <fenv.h>
#include <setjmp.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <mutex>

#include "textio/files.h"

namespace liftsim::textio {
namespace {

constexpr int kTrapped = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

// Where a trap on this thread returns to: the innermost run_with_fp_traps.
struct TrapTarget {
  sigjmp_buf env;
  volatile int code;
};
thread_local TrapTarget* volatile t_target = nullptr;

ErrorCode code_of(const siginfo_t* info) {
  switch (info != nullptr ? info->si_code : 0) {
    case FPE_FLTDIV:
    case FPE_INTDIV:
      return ErrorCode::M6103;
    case FPE_FLTOVF:
      return ErrorCode::M6104;
    default:
      return ErrorCode::M6101;
  }
}

const char* message_of(ErrorCode code) {
  switch (code) {
    case ErrorCode::M6103:
      return "floating-point error: divide by zero";
    case ErrorCode::M6104:
      return "floating-point error: overflow";
    default:
      return "floating-point error: invalid";
  }
}

// Runs on the faulting instruction; returning would repeat it. Inside a run the trap goes back to
// the run's boundary; anywhere else (a fault of the program itself) the process ends with the
// report, written without allocating.
void on_fp_fault(int /*signal*/, siginfo_t* info, void* /*context*/) {
  const ErrorCode code = code_of(info);
  if (TrapTarget* target = t_target) {
    target->code = static_cast<int>(code);
    siglongjmp(target->env, 1);
  }
  char report[128] = "\r\nrun-time error ";
  std::strcat(report, error_code_text(code));
  std::strcat(report, ": MATH\r\n- ");
  std::strcat(report, message_of(code));
  std::strcat(report, "\r\n");
  write_all(STDERR_FILENO, report);
  ::_exit(1);
}

void install_handler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = on_fp_fault;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGFPE, &action, nullptr);
  });
}

}  // namespace

RunError fp_fault_error(ErrorCode code) {
  return RunError{code, Statement::math, {}, message_of(code)};
}

std::optional<RunError> run_with_fp_traps(void (*body)(void*), void* context) {
  install_handler();
  fenv_t saved;
  fegetenv(&saved);
  TrapTarget target;
  TrapTarget* const outer = t_target;
  if (sigsetjmp(target.env, 1) != 0) {
    // The handler ran with the default environment; put the thread's own back.
    t_target = outer;
    fesetenv(&saved);
    return fp_fault_error(static_cast<ErrorCode>(target.code));
  }
  t_target = &target;
  // Flags raised before now must not count as faults of the run.
  feclearexcept(FE_ALL_EXCEPT);
  feenableexcept(kTrapped);
  try {
    body(context);
  } catch (...) {
    t_target = outer;
    fesetenv(&saved);
    throw;
  }
  t_target = outer;
  fesetenv(&saved);
  return std::nullopt;
}

}  // namespace liftsim::textio

namespace liftsim::checked {
namespace {

using textio::ErrorCode;

// Arguments from 2^63 on leave no significant digit of the reduced angle.
constexpr double kTotalLoss = 0x1p63;

[[noreturn]] void domain(const char* message) {
  textio::fail_math(ErrorCode::M6201, message);
}

[[noreturn]] void total_loss(const char* message) {
  textio::fail_math(ErrorCode::M6205, message);
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
  if (x == 0.0 && y < 0.0) textio::fail_math(ErrorCode::M6202, "pow: SING error");
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
  if (overflow) textio::fail_math(ErrorCode::M6203, "pow: OVERFLOW error");
  return result;
}

std::int32_t to_int32(double x) {
  if (std::isnan(x)) textio::fail_math(ErrorCode::M6101, "floating-point error: invalid");
  const double whole = std::trunc(x);
  if (whole < -2147483648.0 || whole > 2147483647.0) {
    textio::fail_math(ErrorCode::M6101, "floating-point error: invalid");
  }
  return static_cast<std::int32_t>(whole);
}

}  // namespace liftsim::checked
