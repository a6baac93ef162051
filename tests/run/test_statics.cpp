// The scan for the static equilibrium at its edges. Its results for real trucks the golden runs pin
// (a change of one unit in the last place of the pitch shows in five of them).
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "run/statics.h"
#include "support/example_state.h"

namespace liftsim::run {
namespace {

namespace ix = model::ix;

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
