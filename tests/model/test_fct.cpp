#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>

#include "model/assemble.h"
#include "model/fct.h"
#include "model/forces.h"
#include "params/table.h"
#include "support/example_state.h"

namespace liftsim::model {
namespace {

// Drive torque: standstill, the linear branch up to exactly 800 rpm, rated speed, nothing once the
// characteristic turns negative; exact above 800 rpm, which guards the cube taken as a power.
// Load and shaft: any motion, even 1e-300, meets friction; exact rest sticks until the weight
// along the forks exceeds the friction limit, or the net moment the rolling resistance.
TEST(ForceLaws, DriveTorqueAndStickRules) {
  const Par par = params::built_in_case().par;
  const EngineCurve curve = engine_curve(par);
  // clang-format off
  for (auto [n_e, torque, tol] : {std::tuple{0.0, 290.966, 1e-3}, {-1000.0, 0.0, 0.0},
           {800.0, 0x1.e4f15de787d8ep+9, 0.0}, {std::nextafter(800.0, 1e9), 969.886, 1e-3},
           {1750.0, 955.218, 1e-3}, {3000.0, 0.974, 1e-3}, {3001.0, 0.0, 0.0},
           {840.0, 0x1.ead259a27dbbp+9, 0.0}, {2100.0, 0x1.8d8fd0466424ep+9, 0.0},
           {2200.0, 0x1.6f0aa450a635bp+9, 0.0}})
    EXPECT_NEAR(drive_torque(par, curve, n_e), torque, tol) << n_e;
  for (auto [vx4, Fi_1, W, F_fr, force] : {std::tuple{-1e-300, 0.1, 500.0, 1200.0, 1700.0},
           {1e-300, 0.1, 500.0, 1200.0, -700.0}, {0.0, 0.1, 500.0, 1200.0, 0.0},
           {0.0, 0.2, 1900.0, -1400.0, 500.0}, {0.0, -0.2, -1900.0, 1400.0, -500.0}})
    EXPECT_EQ(load_force(vx4, Fi_1, W, F_fr), force) << vx4 << " " << Fi_1;
  for (auto [VFi_tk, M_net, M_f, moment] : {std::tuple{0.0, -370.0, 370.0, 0.0},
           {0.0, -400.0, 370.0, -770.0}, {1e-300, 290.0, 370.0, -80.0}})
    // clang-format on
    EXPECT_EQ(shaft_moment(VFi_tk, M_net, M_f), moment) << VFi_tk << " " << M_net;
}

// The road: flat by default, linear between points, level beyond; the tyres press and never pull.
TEST(ForceLaws, RoadHeightAndWheelContact) {
  const Road flat, profile({{0.0, 0.1}, {1.0, 0.3}, {3.0, -0.1}});
  // clang-format off
  for (auto [x, z] : {std::pair{-5.0, 0.1}, {0.0, 0.1}, {0.25, 0.15}, {1.0, 0.3}, {2.0, 0.1},
                      {3.0, -0.1}, {1e300, -0.1}}) {
    // clang-format on
    EXPECT_DOUBLE_EQ(profile.z(x), z) << x;
    EXPECT_EQ(flat.z(x), 0.0);
  }
  for (const RoadPoint& p : profile.points()) EXPECT_EQ(profile.z(p.x), p.z);  // exactly
  const Par par = params::built_in_case().par;
  const double c_ks = par.c_buf * par.c_kr / (par.c_buf + par.c_kr);
  for (auto [x, z, dz] :
       {std::tuple{0.25, par.R_t, 0.15}, {0.25, par.R_t + 0.2, 0.0}, {2.0, par.R_t + 0.05, 0.05}}) {
    const WheelContact t = traction_contact(par, profile, x, z);
    const WheelContact k = steered_contact(par, profile, x, z);
    EXPECT_NEAR(t.dz, dz, 1e-15) << x << " " << z;
    EXPECT_EQ(t.F, par.c_tr * t.dz);
    EXPECT_NEAR(k.F, c_ks * dz, 1e-9);
  }
}

// The example truck, resting in equilibrium on its tyres.
struct Truck {
  run::RunState run = liftsim::testing::example_state(true);
  Assembly as;
  StateVector d{};
  void eval(double x) {
    Fct(x, run.y.data(), d.data(), run.model, run.pub, run.hist);
    Published pub;  // the same again
    fct_assemble(x, run.y.data(), run.model, pub, run.hist, as);
  }
};

// At rest, wound up a little against the tyre: no velocity terms, load and shaft stick. Moving,
// load and shaft at +-1e-300: velocities copied exactly, nothing sticks; the tyre's deflection
// counts the rolling since the last rate evaluation (t_last, not t_prev), here cancelling the
// wheel's turn beyond the rolling angle.
TEST(Fct, ForcesAtRestVelocitiesAndMassMatrixMoving) {
  Truck t;
  StateVector& y = t.run.y;
  y[ix::Fi_tk] = 1e-4;
  t.eval(0.3);
  EXPECT_EQ(t.as.B[0], t.as.el.F_tt);
  EXPECT_EQ(t.as.B[1], -t.as.a(1, 1) * double{9.81f} + t.run.pub.F_kp + t.as.el.F_tp);
  EXPECT_TRUE(t.as.el.F_tt != 0.0 && t.as.B[5] == 0.0 && t.as.B[6] == 0.0);
  for (int i = 0; i < 5; ++i) y[ix::VX_013 + i] = 0.3 - 0.1 * i;
  y[ix::VX_C4] = 1e-300, y[ix::VFi_tk] = -1e-300, y[ix::Fi_tk] = 0.1 + 0.3 / y[ix::Z_013] * 0.25;
  t.run.hist.fi_roll = 0.1, t.run.hist.t_last = 1.0, t.run.hist.t_prev = 0.5;
  t.eval(1.25);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t.d[ix::X_013 + i], y[ix::VX_013 + i]);
  EXPECT_TRUE(t.d[ix::X_C4] == 1e-300 && t.d[ix::Fi_tk] == -1e-300);
  EXPECT_TRUE(t.as.B[5] < 0.0 && t.as.B[6] != 0.0);  // the load slides forward
  EXPECT_NEAR(t.as.el.dfi_t, 0.0, 1e-12);
  // Symmetric, and the shaft's row and column are zero but for its inertia.
  for (int i = 1; i <= kNq; ++i)
    for (int j = 1; j <= kNq; ++j)
      EXPECT_EQ(t.as.a(i, j), i == 7 || j == 7 ? (i == j) * t.run.model.par.J_tk : t.as.a(j, i));
}

}  // namespace
}  // namespace liftsim::model
