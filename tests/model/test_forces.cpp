#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "model/forces.h"

namespace liftsim::model {
namespace {

TEST(DriveTorque, FollowsTheCharacteristicAndNeverBrakes) {
  const struct {
    double n_e, expected, tol;
  } cases[] = {
      {0.0, 290.966, 1e-3},                         // standstill
      {-100.0, 206.099, 1e-2},                      // turning backwards lowers it
      {-1000.0, 0.0, 0.0},                          // down to nothing
      {800.0, 969.886, 1e-3},                       // top of the linear branch
      {std::nextafter(800.0, 1e9), 969.886, 1e-3},  // the characteristic joins it there
      {1750.0, 955.218, 1e-3},                      // rated speed
      {3000.0, 0.974, 1e-3},
      {3001.0, 0.0, 0.0},  // the characteristic has turned negative
  };
  for (const auto& c : cases) EXPECT_NEAR(drive_torque(c.n_e), c.expected, c.tol) << c.n_e;
  // To the last bit on the characteristic: the cube of the relative speed is rounded once, as a
  // power; two multiplications round twice and miss these.
  const struct {
    double n_e, bits;
  } exact[] = {
      {840.0, 0x1.ead259a27dbbp+9}, {2100.0, 0x1.8d8fd0466424ep+9}, {2200.0, 0x1.6f0aa450a635bp+9}};
  for (const auto& c : exact) EXPECT_EQ(drive_torque(c.n_e), c.bits) << c.n_e;
  EXPECT_NEAR(engine_speed(2.5), 2.5 * double{21.88f} * 30.0 / std::numbers::pi, 1e-3);
}

TEST(LoadForce, OpposesSlidingAndSticksOnlyAtExactRest) {
  const struct {
    double vx4, Fi_1, W, F_fr, expected;
  } cases[] = {
      {-0.2, 0.1, 500, 1200, 1700},   {0.2, 0.1, 500, 1200, -700},
      {1e-300, 0.1, 500, 1200, -700}, {-1e-300, 0.1, 500, 1200, 1700},
      {0.0, 0.1, 500, 1200, 0.0},     {-0.0, 0.1, 500, 1200, 0.0},
      {0.0, 0.2, 1900, -1400, 500},   {0.0, -0.2, -1900, 1400, -500},  // friction overcome
      {0.0, 0.0, 100, 0, 0.0},                                         // level mast
  };
  for (const auto& c : cases)
    EXPECT_EQ(load_force(c.vx4, c.Fi_1, c.W, c.F_fr), c.expected) << c.vx4 << " " << c.Fi_1;
}

TEST(ShaftMoment, RollingResistanceHoldsTheShaftOnlyAtExactRest) {
  const struct {
    double VFi_tk, M_net, M_f, expected;
  } cases[] = {
      {0.0, 290, 370, 0.0}, {0.0, -290, 370, 0.0},  {0.0, 370, 370, 0.0},    {-0.0, 290, 370, 0.0},
      {0.0, 400, 370, 30},  {0.0, -400, 370, -770}, {1e-300, 290, 370, -80}, {-2.0, 290, 370, -80},
  };
  for (const auto& c : cases)
    EXPECT_EQ(shaft_moment(c.VFi_tk, c.M_net, c.M_f), c.expected) << c.VFi_tk << " " << c.M_net;
}

}  // namespace
}  // namespace liftsim::model
