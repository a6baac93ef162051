// The integration works in fixed storage: no heap allocation once the first output point is past.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>

#include "driver/input.h"
#include "driver/legs.h"
#include "driver/report.h"
#include "driver/statics.h"
#include "output/history_files.h"
#include "support/e2e.h"
#include "textio/units.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Every allocation of this test program is counted.
void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace liftsim::driver {
namespace {

TEST(Allocation, IntegrationAfterTheFirstStepAllocatesNothing) {
  testing::TempDir dir;
  std::istringstream input(testing::example_input());
  const RecordSource source = [&](std::string& record, std::size_t keep, int&) {
    if (!std::getline(input, record)) return textio::ReadStatus::end_of_file;
    if (record.size() > keep) record.resize(keep);
    return textio::ReadStatus::ok;
  };
  RunState run;
  run.pi = double{3.141592f};
  run.par.g = double{9.81f};
  read_records(run, source, false);
  compute_statics(run.par, run.y, run.refs, run.pi);
  textio::open_unit(kReportUnit, (dir / "result.rez").string());
  for (const auto& f : output::kHistoryFiles) textio::open_unit(f.unit, (dir / f.name).string());
  start_integration(run);
  RunStats stats;

  // The first leg ends soon after the first output point, which sets up the writers' buffers.
  run.prmt[1] = 0.01;
  run_leg(run, stats);

  // The rest of the run: thousands of steps, several writing output calls, no allocation.
  run.prmt[0] = run.hist.ypop[model::kNdim];
  run.prmt[1] = 10.0;
  run.y = std::array<double, model::kNdim>{};
  for (int i = 0; i < model::kNdim; ++i) run.y[i] = run.hist.ypop[i];
  run.dery = run.w_err;
  const long before = g_allocations.load();
  run_leg(run, stats);
  const long during = g_allocations.load() - before;

  EXPECT_GT(stats.output_calls, 5000);
  EXPECT_EQ(during, 0);
  textio::close_unit(kReportUnit);
  for (const auto& f : output::kHistoryFiles) textio::close_unit(f.unit);
}

}  // namespace
}  // namespace liftsim::driver
