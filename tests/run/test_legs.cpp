// An integration leg allocates nothing, whatever drives the truck and whatever it rolls on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>

#include "output/history_files.h"
#include "run/legs.h"
#include "run/simulation.h"
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
// GCC, inlining these into a test body, takes the malloc behind `new` for the library's operator
// new and warns that free does not match it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// clang-format off
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// clang-format on
#pragma GCC diagnostic pop

namespace liftsim::run {
namespace {

// The example run with its time-history files and progress lines, restarted as if the integrator
// had given up on a too-small step: past the first output point (which sets up the writers'
// buffers) a restarted leg of thousands of steps, writing calls among them, allocates nothing.
// What a restart resumes from (step, bound, rolling angle) the golden restart runs pin.
TEST(Legs, ARestartedLegAllocatesNothing) {
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
    RunState run = testing::example_state(true);
    RunStats stats;
    start_integration(run);
    run.prmt[1] = 3.0;
    run_leg(run, observers, stats);
    std::tie(run.ihlf, run.prmt[1]) = std::tuple(11, 10.0);
    ASSERT_TRUE(wants_restart(run));
    prepare_restart(run);
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

// Counts the allocations from its first output point to its last.
class AllocationWatch : public output::PointObserver {
 public:
  void on_point(const output::OutputPoint&) override {
    if (points_++ == 0) first_ = g_allocations;
    last_ = g_allocations;
  }
  long points() const { return points_; }
  long allocations() const { return last_ - first_; }

 private:
  long points_ = 0, first_ = 0, last_ = 0;
};

// The sound model moving: a drive torque, a brake, a road profile under the wheels. Their lookups
// run in every derivative call and allocate nothing.
TEST(Legs, ALegWithDriveBrakeAndRoadAllocatesNothing) {
  const model::Road threshold(
      {{-100.0, 0.0}, {1.0, 0.0}, {1.2, 0.05}, {1.3, 0.05}, {1.5, 0.0}, {100.0, 0.0}});
  model::Drive braked;
  braked.torque = model::TimeSeries({{0.0, 0.0}});
  braked.brake = model::TimeSeries({{0.0, 0.0}, {0.5, 3000.0}});
  model::Drive driven;
  driven.torque = model::TimeSeries({{0.0, 800.0}, {1.0, -200.0}});
  struct Case {
    const char* name;
    double v_0;
    model::Road road;
    model::Drive drive;
  };
  for (const Case& c : {Case{"braked from 2.5 m/s", 2.5, {}, braked},
                        Case{"over a threshold, driven", 1.0, threshold, driven}}) {
    SCOPED_TRACE(c.name);
    AllocationWatch watch;
    RunPlan setup;
    setup.legacy_files = false;
    setup.input_text = testing::example_input();
    setup.kind = model::Kind::sound;
    setup.overrides.set(*params::find_param("v_0"), c.v_0);
    setup.road = c.road;
    setup.drive = c.drive;
    setup.observers.push_back(&watch);
    const RunResult r = simulate(setup);
    ASSERT_FALSE(r.error) << r.error->message;
    EXPECT_GT(watch.points(), 5000);
    EXPECT_EQ(watch.allocations(), 0);
  }
}

}  // namespace
}  // namespace liftsim::run
