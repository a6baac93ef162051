// Integration legs of a whole truck run: the end test and the restart after a too-small step.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/input.h"
#include "driver/legs.h"
#include "driver/report.h"
#include "driver/statics.h"
#include "model/assemble.h"
#include "output/history_files.h"
#include "support/e2e.h"
#include "textio/units.h"

namespace liftsim::driver {
namespace {

using testing::TempDir;

// The example run up to the start of the integration, with its files in a temporary folder.
class Legs : public ::testing::Test {
 protected:
  void SetUp() override {
    std::istringstream input(testing::example_input());
    const RecordSource source = [&](std::string& record, std::size_t keep, int&) {
      if (!std::getline(input, record)) return textio::ReadStatus::end_of_file;
      if (record.size() > keep) record.resize(keep);
      return textio::ReadStatus::ok;
    };
    run_.pi = double{3.141592f};
    run_.par.g = double{9.81f};
    read_records(run_, source, false);
    compute_statics(run_.par, run_.y, run_.refs, run_.pi);
    textio::open_unit(kReportUnit, (dir_ / "result.rez").string());
    for (const auto& f : output::kHistoryFiles) textio::open_unit(f.unit, (dir_ / f.name).string());
    start_integration(run_);
  }
  void TearDown() override {
    textio::close_unit(kReportUnit);
    for (const auto& f : output::kHistoryFiles) textio::close_unit(f.unit);
  }

  // Tangential tyre force at the last output point, as the model sees it now.
  double tyre_force_at_last_point() {
    model::Assembly a;
    model::Par par = run_.par;
    model::fct_assemble(run_.hist.ypop[model::kNdim], run_.hist.ypop.data(), par, run_.hist,
                        run_.refs, a);
    return a.el.F_tt;
  }

  TempDir dir_;
  RunState run_;
  RunStats stats_;
};

TEST_F(Legs, LegReachingTheEndWritesNoLegEndLines) {
  run_.prmt[1] = 0.5;
  run_leg(run_, stats_);
  EXPECT_LE(run_.ihlf, 10);
  EXPECT_GE(run_.hist.ypop[model::kNdim], 0.5 - 0.1 * 0.001);
  const double reached = run_.hist.ypop[model::kNdim];
  EXPECT_EQ(prepare_restart(run_), false);
  EXPECT_EQ(testing::read_file(dir_ / "result.rez").empty(), !(reached < 0.5));
}

TEST_F(Legs, RestartResumesTheRollingAngleSoTheTyreForceDoesNotJump) {
  run_.prmt[1] = 3.0;
  run_leg(run_, stats_);
  const double fi_roll = run_.hist.fi_roll;
  const double force_before = tyre_force_at_last_point();
  ASSERT_GT(std::abs(fi_roll), 0.05) << "the truck must have rolled for the test to mean anything";

  // The integrator gave up on a too-small step at this point: restart from it.
  run_.ihlf = 11;
  run_.prmt[1] = 10.0;
  const double step = run_.prmt[2];
  const double bound = run_.prmt[3];
  ASSERT_TRUE(prepare_restart(run_));
  EXPECT_EQ(run_.prmt[0], run_.hist.ypop[model::kNdim]);
  EXPECT_EQ(run_.prmt[2], step * double{0.9f});
  EXPECT_EQ(run_.prmt[3], bound * double{1.1f});
  EXPECT_EQ(run_.dery, run_.w_err);
  EXPECT_EQ(testing::read_file(dir_ / "result.rez"),
            "               ihlf=11\r\n               ypop(15)=  .30000E+01\r\n");

  // A short leg that itself gives up at once: the first point of the new leg repeats the old one.
  run_.prmt[3] = 0.0;
  run_leg(run_, stats_);
  EXPECT_EQ(run_.ihlf, 11);
  EXPECT_NEAR(run_.hist.fi_roll, fi_roll, 1e-6);
  EXPECT_NEAR(tyre_force_at_last_point(), force_before, 1e-3 * std::abs(force_before) + 1.0);
}

}  // namespace
}  // namespace liftsim::driver
