// The logged quantities (what step output does with them, the golden runs pin byte for byte).
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "output/logged.h"
#include "support/example_state.h"

namespace liftsim::output {
namespace {

namespace ix = model::ix;
const model::StaticRefs kRefs{.lh_free = 0.5112, .z02_0 = 0.0891};
const model::ObservationPoints kObs{.xp = {1.0, -2.0, 0.3}, .zp = {0.5, 1.0, -0.7}};

// The example truck with its built-in parameters and the given load, on a flat road.
model::Model truck(double m_4 = 1000.0, model::StaticRefs refs = kRefs) {
  model::Model m = testing::example_state().model;
  m.par.m_4 = m_4;
  m.refs = refs;
  return m;
}

// The loaded truck near its static equilibrium: Z_01.3, Fi_3 and X_C4 set, all else zero.
model::StateVector standing(double Z_013 = 0.3636, double Fi_3 = -0.0127) {
  return {0, 0, 0, 0, 0, 0, Z_013, 0, Fi_3, 0, 0, 0, double{0.6f}, 0};
}

// Tyres and chains cannot pull: unloaded, they log exactly +0.0, while the tilt cylinder pushes.
// Degrees divide by the single-precision pi first, so that pi itself is exactly 180 degrees.
TEST(Logged, OneSidedForcesAndDegrees) {
  model::StateVector y = standing();
  Logged lg = compute_logged(0.0, y.data(), truck(), kObs, {});
  for (double force : {lg.F_tp, lg.F_kp, lg.F_12, lg.F_13}) EXPECT_GT(force, 0.0);
  // Both wheels lifted, the carriage above its rest and the tilt cylinder compressed.
  y = standing(0.5);
  y[ix::Z_02] = 0.2;
  lg = compute_logged(0.0, y.data(), truck(1000.0, {.lh_free = 0.6, .z02_0 = kRefs.z02_0}), kObs,
                      {});
  for (double f : {lg.F_tp, lg.F_kp, lg.F_12}) EXPECT_TRUE(f == 0.0 && !std::signbit(f)) << f;
  EXPECT_LT(lg.F_13, 0.0);
  std::tie(y[ix::Fi_1], y[ix::Fi_3], y[ix::Fi_tk]) = std::tuple(double{3.141592f}, 1.0, 2.0);
  lg = compute_logged(0.0, y.data(), truck(), kObs, {});  // divided by pi first
  EXPECT_EQ(std::tuple(lg.Fi_1deg, lg.Fi_3deg, lg.Fi_tkdeg),
            std::tuple(180.0, 57.29579096338471, 114.59158192676942));
}

// Bit patterns from a separate, literal evaluation of the logged formulas with their integer
// parts (whole-kilogram masses, truncated frequencies, integer squares, sums and divisor).
TEST(Logged, ReproducedToTheLastBit) {
  const struct {
    double m_4, VX_013;
    double F_kp, F_tp, F_13, F_an, ax_p2, az_p2;
  } cases[] = {
      {1000.0, 0.0, 0x1.05e09372799fdp+13, 0x1.d8a65e956666ap+13, 0x1.0fd75774b00a0p+18,
       0x1.5af0a055c839ap+17, 0x1.b1db9049e7fc5p+1, 0x1.292228b3ccc30p+2},
      {437.75, 2.3, 0x1.0f81cc6d5cd38p+13, 0x1.2c265e9566667p+13, 0x1.1b811f00342bep+19,
       0x1.39f6dab690873p+21, 0x1.f335a97540062p+1, 0x1.1a0cca32ebeecp+2},
  };
  model::OutputHistory hist;
  hist.acc_fd = {.ax_013 = 0.37, .az_013 = -1.1, .afi_3 = 2.9};
  for (int i = 1; const auto& c : cases) {
    // VX_01.3, VFi_3, X_01.3, Z_01.3, Fi_1, Fi_3, Z_02 and Fi_tk set, the others zero
    // clang-format off
    const model::StateVector y{c.VX_013, 0, 0, 0.31 * i, 0, 1.3 * i, 0.3636 + 0.01 * i, 0.05 * i,
                               -0.0127 * i, 0.02 * i - 0.03, 0, 0, 0, 12.7 * i};
    // clang-format on
    const Logged lg = compute_logged(0.0, y.data(), truck(c.m_4), kObs, hist);
    EXPECT_EQ(std::tuple(lg.F_kp, lg.F_tp, lg.F_13, lg.F_an, lg.ax_p[1], lg.az_p[1]),
              std::tuple(c.F_kp, c.F_tp, c.F_13, c.F_an, c.ax_p2, c.az_p2))
        << c.m_4;
    ++i;
  }
}

}  // namespace
}  // namespace liftsim::output
