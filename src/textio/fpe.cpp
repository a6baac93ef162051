#include "textio/fpe.h"

#include <fenv.h>
#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <cmath>
#include <mutex>

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
  switch (info->si_code) {
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

// The SIGFPE handler belongs to the process, the traps to a run. Our handler is installed only
// while at least one run is under way on some thread, and the disposition found when the first of
// them began is put back when the last one ends: outside runs the host (a program embedding the
// library, an interpreter) has exactly the handler it set, even one it set between two runs.
// While ours is installed, a SIGFPE that is not a trap of a run on the receiving thread (a fault
// on another thread, a signal sent with kill or raise) goes to that earlier disposition as if
// ours were not there. Nothing here ends the process: only the host's own disposition can.
struct Installation {
  std::mutex mutex;
  int active = 0;  // runs under way
  // The disposition to chain to. The handler reads it without the mutex, so it is published as
  // one of two slots: a new one is written into the slot the handler is not pointed at.
  struct sigaction slots[2] = {};
  std::atomic<const struct sigaction*> previous{nullptr};
};
Installation g_installation;

// What the host's disposition would have done with the signal: its handler called as the kernel
// would call it (its mask blocked, SIGFPE too unless it asked otherwise; SA_RESETHAND is not
// imitated), ignored, or the default action (the process ends by the signal, as it would without
// us).
void chain(int signal, siginfo_t* info, void* context) {
  const struct sigaction* host = g_installation.previous.load(std::memory_order_acquire);
  const bool sent = info->si_code <= 0;  // kill, raise, sigqueue: nothing to re-execute
  if (host == nullptr || host->sa_handler == SIG_DFL || (host->sa_handler == SIG_IGN && !sent)) {
    // The kernel does not let a fault of an instruction be ignored either. Returning re-executes
    // the faulting instruction under the default action; a sent signal is sent again.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGFPE, &fallback, nullptr);
    if (sent) raise(SIGFPE);
    return;
  }
  if (host->sa_handler == SIG_IGN) return;
  sigset_t blocked, old;
  blocked = host->sa_mask;
  if ((host->sa_flags & SA_NODEFER) == 0) sigaddset(&blocked, SIGFPE);
  pthread_sigmask(SIG_BLOCK, &blocked, &old);
  if ((host->sa_flags & SA_SIGINFO) != 0) {
    host->sa_sigaction(signal, info, context);
  } else {
    host->sa_handler(signal);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// Runs on the faulting instruction; returning would repeat it. A trap of the thread's run goes
// back to the run's boundary; anything else goes where it would have gone without us.
void on_fp_fault(int signal, siginfo_t* info, void* context) {
  TrapTarget* const target = t_target;
  if (target != nullptr && info->si_code > 0) {
    target->code = static_cast<int>(code_of(info));
    siglongjmp(target->env, 1);
  }
  chain(signal, info, context);
}

bool is_ours(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == on_fp_fault;
}

// Installs the handler for the duration of a run on this thread.
class Installed {
 public:
  Installed() {
    Installation& g = g_installation;
    const std::lock_guard lock(g.mutex);
    if (g.active++ > 0) return;
    struct sigaction ours {};
    ours.sa_sigaction = on_fp_fault;
    ours.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&ours.sa_mask);
    struct sigaction* const slot = g.previous.load() == &g.slots[0] ? &g.slots[1] : &g.slots[0];
    sigaction(SIGFPE, nullptr, slot);
    if (is_ours(*slot)) return;  // left installed by a host that replaced ours during a run
    g.previous.store(slot, std::memory_order_release);
    sigaction(SIGFPE, &ours, nullptr);
  }
  ~Installed() {
    Installation& g = g_installation;
    const std::lock_guard lock(g.mutex);
    if (--g.active > 0) return;
    struct sigaction current {};
    sigaction(SIGFPE, nullptr, &current);
    // A host that set a handler of its own meanwhile keeps it.
    if (is_ours(current)) sigaction(SIGFPE, g.previous.load(), nullptr);
  }
  Installed(const Installed&) = delete;
  Installed& operator=(const Installed&) = delete;
};

}  // namespace

RunError fp_fault_error(ErrorCode code) {
  return RunError{code, Statement::math, {}, message_of(code)};
}

std::optional<RunError> run_with_fp_traps(void (*body)(void*), void* context) {
  const Installed installed;
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
  // The run computes in the default environment whatever the caller's: round to nearest, no
  // flush of denormals to zero, no flags raised before now counted as its faults, and exactly
  // its own traps (one the caller enabled, inexact say, would fail every run).
  fesetenv(FE_DFL_ENV);
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
