// The run's report blocks after the input echo, and its integration legs with their restarts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <tuple>

#include "driver/legs.h"
#include "driver/report.h"
#include "model/assemble.h"
#include "output/history_files.h"
#include "support/e2e.h"
#include "support/example_state.h"
#include "textio/units.h"

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

namespace liftsim::driver {
namespace {

// Includes fields too wide for their F9.4 and I2 forms, a negative zero and a value rounding up.
TEST(Report, InitialStateStaticsAndLegEndBlocks) {
  testing::TempDir dir;
  textio::open_unit(kReportUnit, (dir / "result.rez").string());
  // VX_01.3, Z_01.3, Fi_3, VFi_tk (too wide for its field) and X_C4 set, the others zero
  write_initial_state({1.5, 0, 0, 0, 0, 0, 0.3640, 0, -0.0127, 0, 0, -12345.0, 0.6, 0});
  // clang-format off
  write_statics({.F_kp_0 = -0.0, .F_tp_0 = 20700.0, .lh_0 = 0.514, .dl_t1 = 0.00183,
                 .dl_t3 = 0.00375, .dl_tilt = 0.00279, .SF13 = 33500.0, .SF12 = 10700.0}, 0.511);
  write_leg_end(0, 9.99995);
  write_leg_end(123, -0.5);
  textio::close_unit(kReportUnit);
  EXPECT_EQ(testing::read_file(dir / "result.rez"), testing::cp1251(testing::crlf_lines({
      "          ЗНАЧЕННЯ УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ : ",
      "X_01.3 :     .0000", "Z_01.3 :     .3640", "Fi_1   :     .0000", "Fi_3   :    -.0127",
      "Z_02   :     .0000", "X_C4   :     .6000", "Fi_tk  :     .0000",
      "          ПОХІДНІ ВІД УЗАГАЛЬНЕНИХ КООРДИНАТ В ПОЧАТКОВИЙ МОМЕНТ ЧАСУ:",
      "VX_01.3 :    1.5000", "VZ_01.3 :     .0000", "VFi_1   :     .0000", "VFi_3   :     .0000",
      "VZ_02   :     .0000", "VX_C4   :     .0000", "VFi_tk  : *********", "",
      "  .51400E+00", "  .18300E-02", "  .37500E-02", "  .27900E-02", "  .51100E+00", "", "", "",
      "               Статичні силові співвідношення:", "",
      "         -SF13=  .33500E+05     -SF12=  .10700E+05",
      "         -F_tp_0=  .20700E+05     -F_kp_0=  .00000E+00",
      "               ihlf= 0", "               ypop(15)=  .10000E+02",
      "               ihlf=**", "               ypop(15)= -.50000E+00"})));
  // clang-format on
}

// The example run, restarted as if the integrator had given up on a too-small step: a restart
// resumes the rolling angle, so the tyre force does not jump at it. Past the first output point
// (which sets up the writers' buffers) thousands of steps, writing calls among them, allocate
// nothing.
TEST(Legs, RestartsResumeTheRollingAngleAndNothingIsAllocated) {
  testing::TempDir dir;
  textio::open_unit(kReportUnit, (dir / "result.rez").string());
  for (const auto& f : output::kHistoryFiles) textio::open_unit(f.unit, (dir / f.name).string());
  RunState run = testing::example_state_after_statics();
  RunStats stats;
  auto tyre_force = [&] {  // tangential tyre force at the last output point
    model::Assembly a;
    model::Par par = run.par;
    model::fct_assemble(run.hist.ypop[model::kNdim], run.hist.ypop.data(), par, run.hist, run.refs,
                        a);
    return a.el.F_tt;
  };
  start_integration(run);
  run.prmt[1] = 3.0;
  run_leg(run, stats);
  const double fi_roll = run.hist.fi_roll, force = tyre_force();
  ASSERT_GT(std::abs(fi_roll), 0.05) << "the truck must have rolled for the test to mean anything";
  const double step = run.prmt[2], bound = run.prmt[3];
  std::tie(run.ihlf, run.prmt[1]) = std::tuple(11, 10.0);
  ASSERT_TRUE(prepare_restart(run));
  EXPECT_EQ(std::tuple(run.prmt[0], run.prmt[2], run.prmt[3]),
            std::tuple(run.hist.ypop[model::kNdim], step * double{0.9f}, bound * double{1.1f}));
  EXPECT_EQ(run.dery, run.w_err);
  run.prmt[3] = 0.0;  // the leg gives up at once: its first output point repeats the last one
  run_leg(run, stats);
  EXPECT_EQ(run.ihlf, 11);
  EXPECT_NEAR(run.hist.fi_roll, fi_roll, 1e-6);
  EXPECT_NEAR(tyre_force(), force, 1e-3 * std::abs(force) + 1.0);

  ASSERT_TRUE(prepare_restart(run));
  run.prmt[3] = bound;
  const long before = g_allocations, calls = stats.output_calls;
  run_leg(run, stats);
  EXPECT_EQ(g_allocations - before, 0);
  EXPECT_GT(stats.output_calls - calls, 3000);
  textio::close_unit(kReportUnit);
  for (const auto& f : output::kHistoryFiles) textio::close_unit(f.unit);
  const std::string leg_end = "               ihlf=11\r\n               ypop(15)=  .30000E+01\r\n";
  EXPECT_EQ(testing::read_file(dir / "result.rez"), leg_end + leg_end);
}

}  // namespace
}  // namespace liftsim::driver
