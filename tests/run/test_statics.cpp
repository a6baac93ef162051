// The static equilibrium of the truck on its tyres and the static forces of the cylinders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "run/statics.h"
#include "support/example_state.h"

namespace liftsim::run {
namespace {

namespace ix = model::ix;

// The example truck with the given load, put into equilibrium on a flat road.
std::pair<RunState, StaticsResult> solve(double m_4 = 1000.0, double zc_4 = 0.5) {
  RunState run = testing::example_state();
  std::tie(run.model.par.m_4, run.model.par.zc_4) = std::tuple(m_4, zc_4);
  StaticsResult s = find_equilibrium(run.model.par, run.model.road, run.y);
  static_forces(run.model.par, run.y, run.pub.F_kp, s, run.model.refs);
  return {run, s};
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
    EXPECT_EQ(std::tuple(run.y[ix::Fi_3], run.y[ix::Z_013], s.F_kp_0, s.F_tp_0,
                         run.model.refs.lh_free, s.SF12, s.SF13),
              std::tuple(c.Fi_3, c.Z_013, c.F_kp_0, c.F_tp_0, c.lh_free, c.SF12, c.SF13))
        << c.m_4;
  }
}

// A weightless truck on wheels of radius zero, wheelbase 1 m: the geometric pitch is asin(z_g)
// for the road height z_g one wheelbase behind the axle, and the residual of a trial angle a is
// sin(a) - z_s for the height z_s under the steered axle, which the road keeps constant over the
// whole scan. z_g makes the scan's last angle fall exactly on its upper bound; z_s lies halfway
// between the sines of two neighbouring angles, whose residuals are then equal and opposite.
TEST(Statics, ScanReachesItsUpperBoundAndTiesGoToTheLaterAngle) {
  const double z_g = 0x1.83c62e3d29993p-1;  // asin(z_g) = 0.859, the range 0.684 to 1.034 rad
  auto scan = [&](double z_s) {
    RunState run = testing::example_state();
    model::Par& p = run.model.par;
    p.g = 0.0, p.R_t = 0.0, p.R_k = 0.0, p.L_b = 1.0;
    // Under the steered axle (0.52 to 0.77 m behind) the road is flat at z_s.
    const model::Road road({{-1.0, z_g}, {-0.9, z_s}, {-0.4, z_s}, {0.0, 0.0}});
    const StaticsResult s = find_equilibrium(p, road, run.y);
    return std::pair(s, run.y[ix::Fi_3]);
  };
  const StaticsResult first = scan(0.8).first;
  ASSERT_EQ(first.psi_0, std::asin(z_g));
  // The trial angles: one second of arc apart from ten degrees below the geometric pitch.
  const double lower = first.psi_0 - model::kPi / 18.0, upper = model::kPi / 18.0 + first.psi_0;
  std::vector<double> angles{lower};
  while (angles.size() < 72001) angles.push_back(angles.back() + model::kPi / 648000.0);
  ASSERT_EQ(angles.back(), upper) << "the premise of the test";
  EXPECT_EQ(first.trials, 72001);
  // Two neighbours whose sines have an exact mean.
  std::size_t i = 30000;
  while (std::sin(angles[i]) + std::sin(angles[i + 1]) - std::sin(angles[i]) !=
         std::sin(angles[i + 1])) {
    ++i;
  }
  const auto [s, Fi_3] = scan((std::sin(angles[i]) + std::sin(angles[i + 1])) / 2.0);
  EXPECT_EQ(s.trials, 72001);
  EXPECT_EQ(Fi_3, angles[i + 1]) << "of angles " << i << " and " << i + 1;
}

}  // namespace
}  // namespace liftsim::run
