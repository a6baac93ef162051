// The integration legs: restarts from the last output point, and a leg that allocates nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <new>
#include <tuple>

#include "model/assemble.h"
#include "output/history_files.h"
#include "run/legs.h"
#include "support/e2e.h"
#include "support/example_state.h"
#include "textio/files.h"

// Every allocation of this test program is counted.
static long g_allocations = 0;
void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// clang-format off
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// clang-format on

namespace liftsim::run {
namespace {

// The example run with its time-history files and progress lines, restarted as if the integrator
// had given up on a too-small step: a restart resumes the rolling angle, so the tyre force does not
// jump at it. Past the first output point (which sets up the writers' buffers) thousands of steps,
// writing calls among them, allocate nothing.
TEST(Legs, RestartsResumeTheRollingAngleAndNothingIsAllocated) {
  testing::TempDir dir;
  const int dir_fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ASSERT_TRUE(dir_fd >= 0 && null_fd >= 0);
  std::int64_t written = 0;
  {
    textio::FileSet files(dir_fd);
    output::open_history_files(files);
    textio::Console console(null_fd);
    output::HistoryFiles history(&files, &console);
    const std::array<output::PointObserver*, 1> observers{&history};
    RunState run = testing::example_state_after_statics();
    RunStats stats;
    auto tyre_force = [&] {  // tangential tyre force at the last output point
      model::Assembly a;
      model::Published pub;
      model::fct_assemble(run.hist.ypop[model::kNdim], run.hist.ypop.data(), run.model, pub,
                          run.hist, a);
      return a.el.F_tt;
    };
    start_integration(run);
    run.prmt[1] = 3.0;
    run_leg(run, observers, stats);
    EXPECT_FALSE(ended_early(run));
    const double fi_roll = run.hist.fi_roll, force = tyre_force();
    ASSERT_GT(std::abs(fi_roll), 0.05)
        << "the truck must have rolled for the test to mean anything";
    const double step = run.prmt[2], bound = run.prmt[3];
    std::tie(run.ihlf, run.prmt[1]) = std::tuple(11, 10.0);
    ASSERT_TRUE(wants_restart(run));
    prepare_restart(run);
    EXPECT_EQ(std::tuple(run.prmt[0], run.prmt[2], run.prmt[3]),
              std::tuple(run.hist.ypop[model::kNdim], step * double{0.9f}, bound * double{1.1f}));
    EXPECT_EQ(run.dery, run.w_err);
    run.prmt[3] = 0.0;  // the leg gives up at once: its first output point repeats the last one
    run_leg(run, observers, stats);
    EXPECT_EQ(run.ihlf, 11);
    EXPECT_TRUE(wants_restart(run));
    EXPECT_NEAR(run.hist.fi_roll, fi_roll, 1e-6);
    EXPECT_NEAR(tyre_force(), force, 1e-3 * std::abs(force) + 1.0);

    prepare_restart(run);
    run.prmt[3] = bound;
    const long before = g_allocations, calls = stats.output_calls;
    run_leg(run, observers, stats);
    EXPECT_EQ(g_allocations - before, 0);
    EXPECT_GT(stats.output_calls - calls, 3000);
    EXPECT_FALSE(ended_early(run));
    written = stats.output_calls;
  }
  ::close(dir_fd);
  ::close(null_fd);
  // Every 500th output point wrote a record, the last leg's among them.
  const std::string times = testing::read_file(dir / "vx_013.rez");
  EXPECT_EQ(static_cast<std::int64_t>(times.size()), (written + 499) / 500 * 30);
}

}  // namespace
}  // namespace liftsim::run
