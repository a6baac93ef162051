// The run's state before the integration: what is taken from the input records and what is built
// in, and the static equilibrium of the truck on its tyres with the static forces.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>

#include "driver/statics.h"
#include "support/example_state.h"

namespace liftsim::driver {
namespace {

namespace ix = model::ix;

// Every record holds a value of its own (record r: r + 0.25, and r + 0.5 in the second field of a
// pair): the load and the observation points are taken, every other value is the built-in one.
TEST(Input, TakesTheLoadAndThePointsAndBuildsInTheRest) {
  std::string input = "heading\n\n";
  for (int r = 3; r <= 43; ++r) {
    char line[32];
    const bool pair = (r >= 7 && r <= 10) || r == 24 || r == 25;
    const int n = std::snprintf(line, sizeof line, pair ? "%10.5f" : "%9.4f", r + 0.25);
    if (pair) std::snprintf(line + n, sizeof line - n, "%10.5f", r + 0.5);
    input += line + std::string("\n");
  }
  const RunState run = testing::example_state(input);
  EXPECT_EQ(run.obs.xp, (std::array{38.25, 40.25, 42.25}));
  EXPECT_EQ(run.obs.zp, (std::array{39.25, 41.25, 43.25}));
  // Everything else as in the example, whose records hold the built-in values.
  RunState example = testing::example_state();
  std::tie(example.par.m_4, example.par.xc_4, example.par.zc_4) = std::tuple(6.25, 10.25, 10.5);
  using Raw = std::array<double, sizeof(model::Par) / sizeof(double)>;
  EXPECT_EQ(std::bit_cast<Raw>(run.par), std::bit_cast<Raw>(example.par));
  EXPECT_EQ(std::tuple(run.prmt, run.y, run.w_err),
            std::tuple(example.prmt, example.y, example.w_err));
  EXPECT_EQ(run.hist.t_prev, 0.0);  // from the built-in start time, not the record's 33.25
  // Fractions are single-precision constants widened.
  const std::pair<double, float> fractions[] = {
      {run.par.f_t, 0.012f}, {run.par.f_k, 0.012f}, {run.par.f_fr, 0.15f},
      {run.prmt[2], 0.001f}, {run.prmt[3], 0.004f}, {run.w_err[0], 1.0f / 14.0f}};
  for (auto [value, built_in] : fractions) EXPECT_EQ(value, double{built_in}) << built_in;
}

// The example truck with the given load, put into equilibrium.
std::pair<RunState, StaticsResult> solve(double m_4 = 1000.0, double zc_4 = 0.5) {
  RunState run = testing::example_state();
  std::tie(run.par.m_4, run.par.zc_4) = std::tuple(m_4, zc_4);
  const StaticsResult s = compute_statics(run.par, run.y, run.refs, run.pi);
  return {run, s};
}

TEST(Statics, LoadedTruckToThreeSignificantDigits) {
  const auto [run, s] = solve();
  const model::Par& p = run.par;
  const double Fi_3 = run.y[ix::Fi_3], Z_013 = run.y[ix::Z_013];
  const double a_3 = std::sin(Fi_3) * p.zc_3 + std::cos(Fi_3) * p.xc_3;
  const double k_1 = ((0.88 * p.m_4 + 0.31 * p.m_2) + 0.07 * p.m_1) * p.g / s.dl_t1;
  std::string rounded;  // to three significant digits
  for (double v : {s.psi_0, Fi_3, a_3, s.F_kp_0, s.F_tp_0, Z_013, s.dl_lift, run.refs.z02_0, s.SF12,
                   p.fi_h, p.lh_0, k_1, s.dl_t1, s.dl_t3, s.dl_tilt, run.refs.lh_free, s.SF13}) {
    char field[16];
    rounded += std::string(field, std::snprintf(field, sizeof field, " %.3g", v));
  }
  EXPECT_EQ(rounded,
            " 0 -0.0127 -1.01 1.05e+04 2.07e+04 0.364 0.0891 0.0891 1.07e+04 -0.155 0.514 4.94e+06"
            " 0.00183 0.00375 0.00279 0.511 3.35e+04");
  EXPECT_NEAR(s.F_kp_0 + s.F_tp_0, (p.m_1 + p.m_2 + p.m_3 + p.m_4) * p.g, 1e-8);  // the weight
}

// Bit patterns from a separate, literal evaluation of the per-trial formulas (every lever arm,
// road height and sum recomputed at each angle, in the written order): any regrouping of a sum,
// a change of the clipping or of the scan's end test shows up in the last bits.
TEST(Statics, EquilibriumIsReproducedToTheLastBit) {
  const struct {
    double m_4, zc_4;
    double Fi_3, Z_013, F_kp_0, F_tp_0, lh_free, SF12, SF13;
  } cases[] = {
      {1000.0, 0.5, -0x1.9fe7bb9e94088p-7, 0x1.744e931473e54p-2, 0x1.4964159d0a570p+13,
       0x1.42bd29c27ad47p+14, 0x1.05b6882f88734p-1, 0x1.4e27342300000p+13, 0x1.058eb69eea296p+15},
      // the steered wheels lift off: F_kp_0 is clipped to zero during the scan and after it
      {3000.0, 0.9, 0x1.f882edfafe4e2p-4, 0x1.2964c56af571ep-2, 0.0, 0x1.dcdc7a22ad13ep+15,
       0x1.cf867dd851ca1p-2, 0x1.d9a39aed80000p+14, 0x1.8da3e7ad232bbp+15},
  };
  for (const auto& c : cases) {
    const auto [run, s] = solve(c.m_4, c.zc_4);
    EXPECT_EQ(std::tuple(run.y[ix::Fi_3], run.y[ix::Z_013], s.F_kp_0, s.F_tp_0, run.refs.lh_free,
                         s.SF12, s.SF13),
              std::tuple(c.Fi_3, c.Z_013, c.F_kp_0, c.F_tp_0, c.lh_free, c.SF12, c.SF13))
        << c.m_4;
  }
}

// A weightless truck whose residual is sin(a) − sin(1.5), scanned in steps of one unit in the last
// place: the angle reaches the upper bound exactly, and of two equal residuals the later is kept.
TEST(Statics, ScanReachesItsUpperBoundAndTiesGoToTheLaterAngle) {
  RunState run = testing::example_state();
  run.par.g = 0.0, run.par.R_t = 0.0, run.par.L_b = 1.0, run.par.R_k = std::sin(1.5);
  const StaticsResult s = compute_statics(run.par, run.y, run.refs, 648000.0 * 0x1p-52);
  const double a = run.y[ix::Fi_3];
  auto r = [&](double t) { return std::abs(std::sin(t) - run.par.R_k); };
  EXPECT_EQ(s.trials, 72001);
  EXPECT_EQ(r(a - 0x1p-52), r(a));
  EXPECT_GT(r(a + 0x1p-52), r(a));
}

}  // namespace
}  // namespace liftsim::driver
