// Floating-point traps and checked math functions give the run's boundary their MATH errors.
#include <fenv.h>
#include <gtest/gtest.h>
#include <setjmp.h>
#include <signal.h>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

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

// What a run may touch of the thread's floating-point environment.
struct FpState {
  int round = fegetround();
  int enabled = fegetexcept();
  int raised = fetestexcept(FE_ALL_EXCEPT);
#if defined(__x86_64__)
  unsigned csr = _mm_getcsr();  // SSE control and status, flush-to-zero included
#endif
  bool operator==(const FpState&) const = default;
};

// Callers' environments: the default, and one no run may inherit (upward, flag, trap, FTZ/DAZ).
void default_caller() {}
void unusual_caller() {
  fesetround(FE_UPWARD);
  feraiseexcept(FE_INEXACT);
  feenableexcept(FE_UNDERFLOW);
#if defined(__x86_64__)
  _mm_setcsr(_mm_getcsr() | 0x8040);  // FTZ and DAZ
#endif
}
// Sets the caller's environment for its lifetime: the set-up's state is `state`.
struct Caller {
  explicit Caller(void (*setup)()) {
    setup();
    state = FpState{};
  }
  ~Caller() { fesetenv(FE_DFL_ENV); }
  FpState state;
};

// Under the traps a fault or a RunFailure comes back as the error; the caller's environment too.
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
    const Caller caller(unusual_caller);
    std::optional<RunError> error;
    try {
      auto body = [&c] { c.body(); };
      error = run_with_fp_traps(body);
    } catch (const RunFailure& failure) {
      error = failure.error();
    }
    EXPECT_EQ(error, (RunError{c.code, Statement::math, "", c.message}));
    EXPECT_EQ(FpState{}, caller.state);
  }
}

// A run computes in the default environment with its own traps; the caller's comes back after.
TEST(FpTraps, RunsUseTheDefaultEnvironmentAndRestoreTheCallers) {
  volatile double zero = 0.0;
  for (void (*setup)() : {default_caller, unusual_caller}) {
    const Caller caller(setup);
    FpState inside;
    bool kept_denormal = false;
    auto normal = [&] {
      inside = FpState{};
      volatile double smallest = DBL_MIN;
      kept_denormal = smallest / 1e10 > 0.0;
    };
    EXPECT_EQ(run_with_fp_traps(normal), std::nullopt);
    EXPECT_EQ(inside.round, FE_TONEAREST);
    EXPECT_EQ(inside.enabled, FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    EXPECT_EQ(inside.raised, 0);
    EXPECT_TRUE(kept_denormal);
    EXPECT_EQ(FpState{}, caller.state);
    auto trap = [&] { g_sink = 1.0 / zero; };
    EXPECT_EQ(run_with_fp_traps(trap)->code, ErrorCode::M6103);
    EXPECT_EQ(FpState{}, caller.state);
    auto throws = [] { throw RunFailure(fp_fault_error(ErrorCode::M6104)); };
    EXPECT_THROW(run_with_fp_traps(throws), RunFailure);
    EXPECT_EQ(FpState{}, caller.state);
  }
}

// Underflow, inexact results and edge arguments pass the traps; int32 conversions truncate.
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

// A host's own SIGFPE handlers: they count the calls, note the signal's code and, for a fault of
// an instruction, jump back to where the host resumes (returning would repeat the instruction).
std::atomic<int> g_host_calls{0};
volatile int g_host_code = 0;
sigjmp_buf g_host_resume;
void host_info_handler(int, siginfo_t* info, void*) {
  ++g_host_calls;
  g_host_code = info->si_code;
  if (info->si_code > 0) siglongjmp(g_host_resume, 1);
}
void host_plain_handler(int) {
  ++g_host_calls;
}
struct sigaction disposition(void (*plain)(int), void (*info)(int, siginfo_t*, void*) = nullptr) {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  if (info != nullptr) {
    action.sa_sigaction = info;
    action.sa_flags = SA_SIGINFO;
  } else {
    action.sa_handler = plain;
  }
  return action;
}
bool is_installed(const struct sigaction& host) {
  struct sigaction now {};
  sigaction(SIGFPE, nullptr, &now);
  return now.sa_handler == host.sa_handler;
}

// A run on another thread whose body waits until finish(), then divides by zero.
struct WaitingRun {
  std::atomic<int> stage{0};
  std::optional<RunError> error;
  std::thread thread{[this] {
    auto body = [this] {
      stage = 1;
      while (stage != 2) std::this_thread::yield();
      volatile double zero = 0.0;
      g_sink = 1.0 / zero;
    };
    error = run_with_fp_traps(body);
  }};
  WaitingRun() {
    while (stage != 1) std::this_thread::yield();
  }
  std::optional<RunError> finish() {
    stage = 2;
    thread.join();
    return error;
  }
};

// The traps are the running thread's alone: another thread's division by zero gives infinity.
TEST(FpTraps, OtherThreadsAreNotAffected) {
  WaitingRun run;
  volatile double zero = 0.0;
  const double elsewhere = 1.0 / zero;
  EXPECT_EQ(run.finish()->code, ErrorCode::M6103);
  EXPECT_EQ(elsewhere, INFINITY);
  feclearexcept(FE_ALL_EXCEPT);
}

enum class Fault { raised, divided };
void cause(Fault fault) {
  if (fault == Fault::raised) {
    raise(SIGFPE);
    return;
  }
  if (sigsetjmp(g_host_resume, 1) == 0) {
    feenableexcept(FE_DIVBYZERO);
    volatile double zero = 0.0;
    g_sink = 1.0 / zero;
  }
  fesetenv(FE_DFL_ENV);
}

// A host's own SIGFPE disposition holds outside every run, and a signal or fault of its own still
// reaches it while a run is under way on another thread. A run's trap is the run's alone.
TEST(FpTraps, TheHostsHandlerGetsEveryFaultThatIsNotARunsTrap) {
  const auto info = disposition(nullptr, host_info_handler);
  const auto plain = disposition(host_plain_handler);
  const auto ignore = disposition(SIG_IGN);
  struct sigaction original {};
  sigaction(SIGFPE, nullptr, &original);
  // clang-format off
  const struct { const char* what; struct sigaction host; bool during_run; Fault fault; int calls; int code; } cases[] = {
      {"raised between runs", info, false, Fault::raised, 1, SI_TKILL},
      {"fault between runs", info, false, Fault::divided, 1, FPE_FLTDIV},
      {"raised during a run", info, true, Fault::raised, 1, SI_TKILL},
      {"fault during a run", info, true, Fault::divided, 1, FPE_FLTDIV},
      {"plain handler, raised during a run", plain, true, Fault::raised, 1, 0},
      {"ignored, raised during a run", ignore, true, Fault::raised, 0, 0},
  };
  // clang-format on
  volatile double zero = 0.0;
  auto trap = [&zero] { g_sink = 1.0 / zero; };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sigaction(SIGFPE, &c.host, nullptr);
    g_host_calls = 0;
    g_host_code = 0;
    EXPECT_EQ(run_with_fp_traps(trap)->code, ErrorCode::M6103);
    EXPECT_TRUE(is_installed(c.host));
    std::optional<WaitingRun> run;
    if (c.during_run) run.emplace();
    cause(c.fault);
    if (run) {
      EXPECT_EQ(run->finish()->code, ErrorCode::M6103);
    }
    EXPECT_EQ(g_host_calls, c.calls);
    if (c.code != 0) {
      EXPECT_EQ(g_host_code, c.code);
    }
    EXPECT_TRUE(is_installed(c.host));
  }
  sigaction(SIGFPE, &original, nullptr);
}

// With the default disposition a SIGFPE that is no run's trap kills the process by the signal.
TEST(FpTrapsDeathTest, TheDefaultDispositionEndsTheProcessBySignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const Fault fault : {Fault::raised, Fault::divided}) {
    EXPECT_EXIT(
        {
          signal(SIGFPE, SIG_DFL);
          WaitingRun run;
          cause(fault);
        },
        testing::KilledBySignal(SIGFPE), "");
  }
}

}  // namespace
}  // namespace liftsim::textio
