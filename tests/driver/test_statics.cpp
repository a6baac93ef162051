#include <gtest/gtest.h>

#include <cmath>

#include "driver/statics.h"

namespace liftsim::driver {
namespace {

namespace ix = model::ix;
constexpr double kPi = double{3.141592f};

// The truck with its built-in parameters and the given load.
model::Par builtin_par(double m_4, double zc_4 = 0.5) {
  return model::Par{.m_1 = 210.0,
                    .m_2 = 90.0,
                    .m_3 = 1880.0,
                    .m_4 = m_4,
                    .xc_1 = double{0.07f},
                    .xc_2 = double{0.03f},
                    .xc_3 = double{-0.999f},
                    .zc_1 = double{0.825f},
                    .zc_2 = double{0.825f},
                    .zc_3 = double{0.485f},
                    .zc_4 = zc_4,
                    .x_O2 = double{0.28f},
                    .g = double{9.81f},
                    .c_tr = 552000.0,
                    .R_t = double{0.401f},
                    .c_kr = 378000.0,
                    .c_buf = 503000.0,
                    .R_k = double{0.401f},
                    .L_b = double{0.9f},
                    .xh_1 = 0.25,
                    .zh_1 = double{0.456f},
                    .xh_3 = double{-0.253f},
                    .zh_3 = double{0.38f},
                    .c_lift = 120000.0,
                    .c_tilt = 12000000.0};
}

struct Solved {
  model::Par par;
  model::StateVector y{};
  model::StaticRefs refs;
  StaticsResult s;
  int reports = 0;  // calls of the equilibrium callback
  model::StateVector reported{};
  double lh_0_reported = -1.0;  // tilt-cylinder length when the equilibrium was reported
};

Solved solve(const model::Par& par) {
  Solved r;
  r.par = par;
  r.y[ix::Z_013] = double{0.401f};
  r.y[ix::X_C4] = double{0.6f};
  r.s = compute_statics(r.par, r.y, r.refs, kPi, [&r](const model::StateVector& v) {
    ++r.reports;
    r.reported = v;
    r.lh_0_reported = r.par.lh_0;
  });
  return r;
}

TEST(Statics, LoadedTruckToThreeSignificantDigits) {
  const Solved r = solve(builtin_par(1000.0));
  const model::Par& p = r.par;
  const double Fi_3 = r.y[ix::Fi_3];
  const double a_3 = std::sin(Fi_3) * p.zc_3 + std::cos(Fi_3) * p.xc_3;
  const double mast_moment = ((0.88 * p.m_4 + 0.31 * p.m_2) + 0.07 * p.m_1) * p.g;
  const struct {
    const char* name;
    double value, expected;
  } cases[] = {
      {"Fi_3", Fi_3, -0.0127},           {"a_3", a_3, -1.01},
      {"F_kp_0", r.s.F_kp_0, 1.05e4},    {"F_tp_0", r.s.F_tp_0, 2.07e4},
      {"Z_01.3", r.y[ix::Z_013], 0.364}, {"dl_lift", r.s.dl_lift, 0.0891},
      {"SF12", r.s.SF12, 1.07e4},        {"fi_h", p.fi_h, -0.155},
      {"lh_0", r.s.lh_0, 0.514},         {"k_1", mast_moment / r.s.dl_t1, 4.94e6},
      {"dl_t1", r.s.dl_t1, 0.00183},     {"dl_t3", r.s.dl_t3, 0.00375},
      {"dl_tilt", r.s.dl_tilt, 0.00279}, {"lh_free", r.refs.lh_free, 0.511},
      {"SF13", r.s.SF13, 3.35e4},        {"total weight", r.s.F_kp_0 + r.s.F_tp_0, 3.12e4},
  };
  for (const auto& c : cases) {
    const double half_unit = 0.5 * std::pow(10.0, std::floor(std::log10(std::abs(c.expected))) - 2);
    EXPECT_NEAR(c.value, c.expected, half_unit) << c.name;
  }
  EXPECT_EQ(r.s.psi_0, 0.0);
  EXPECT_EQ(p.lh_0, r.s.lh_0);
  EXPECT_EQ(r.refs.z02_0, r.s.dl_lift);  // the carriage starts at the bottom
}

// Whatever the load, the pitch found agrees with both tyre deflections to within the scan's
// resolution, and the equilibrium is reported once, before the cylinder statics.
TEST(Statics, EquilibriumOnTheTyres) {
  const struct {
    double m_4;
    bool rear_lifted;  // the load's moment lifts the steered wheels
  } cases[] = {{1000.0, false}, {0.0, false}, {3000.0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.m_4);
    const Solved r = solve(builtin_par(c.m_4));
    const model::Par& p = r.par;
    const double Fi_3 = r.y[ix::Fi_3];
    EXPECT_TRUE(r.s.trials == 72000 || r.s.trials == 72001) << r.s.trials;
    EXPECT_EQ(r.y[ix::Z_013], p.R_t - r.s.F_tp_0 / p.c_tr);
    EXPECT_NEAR(r.y[ix::Z_013] + p.L_b * std::sin(Fi_3), p.R_k - r.s.F_kp_0 / r.s.c_ks,
                2.0 * p.L_b * kPi / 648000.0);
    const double weight = (p.m_1 + p.m_2 + p.m_3 + p.m_4) * p.g;
    if (c.rear_lifted) {
      EXPECT_EQ(r.s.F_kp_0, 0.0);
    } else {
      EXPECT_NEAR(r.s.F_kp_0 + r.s.F_tp_0, weight, weight * 1e-12);
    }
    EXPECT_DOUBLE_EQ(r.s.SF12, (c.m_4 + p.m_2) * p.g);  // carriage and load hang on the chains
    EXPECT_EQ(r.reports, 1);
    EXPECT_EQ(r.reported, r.y);
    EXPECT_EQ(r.lh_0_reported, 0.0);
  }
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
      {0.0, 0.5, -0x1.baf8bb91db36dp-4, 0x1.9a102c70be4cep-2, 0x1.496df25c1edeep+14,
       0x1.2e5071b8484a7p+8, 0x1.19ef2cb2c5e32p-1, 0x1.b973347000000p+9, 0x1.80e251512f423p+14},
      // the steered wheels lift off: F_kp_0 is clipped to zero during the scan and after it
      {3000.0, 0.9, 0x1.f882edfafe4e2p-4, 0x1.2964c56af571ep-2, 0.0, 0x1.dcdc7a22ad13ep+15,
       0x1.cf867dd851ca1p-2, 0x1.d9a39aed80000p+14, 0x1.8da3e7ad232bbp+15},
      {437.25, 1.3, -0x1.0f6617bad172dp-4, 0x1.89888baa3038ap-2, 0x1.0139433fa8a93p+14,
       0x1.1fe7436e8ead9p+13, 0x1.1121897e43008p-1, 0x1.434529ddc0000p+12, 0x1.be90e7d6af483p+14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.m_4);
    const Solved r = solve(builtin_par(c.m_4, c.zc_4));
    EXPECT_EQ(r.y[ix::Fi_3], c.Fi_3);
    EXPECT_EQ(r.y[ix::Z_013], c.Z_013);
    EXPECT_EQ(r.s.F_kp_0, c.F_kp_0);
    EXPECT_EQ(r.s.F_tp_0, c.F_tp_0);
    EXPECT_EQ(r.refs.lh_free, c.lh_free);
    EXPECT_EQ(r.s.SF12, c.SF12);
    EXPECT_EQ(r.s.SF13, c.SF13);
  }
}

// A weightless truck pitched near 1.5 rad, with a pi that makes the step one unit in the last
// place of the angle: the angles are then exact, the last one lands on the upper bound and is
// tried too, and sin(a) stays equal over several neighbouring angles, so equal residuals occur;
// the later of them is kept.
TEST(Statics, ExactGridReachesTheUpperBoundAndTiesGoToTheLaterAngle) {
  model::Par par = builtin_par(1000.0);
  par.g = 0.0;  // no tyre deflection: the residual is sin(a) - (R_k - R_t) / L_b
  par.R_t = 0.0;
  par.L_b = 1.0;
  par.R_k = std::sin(1.5);
  const double pi = 648000.0 * 0x1p-52;
  model::StateVector y{};
  model::StaticRefs refs;
  const StaticsResult s = compute_statics(par, y, refs, pi);
  EXPECT_EQ(s.trials, 72001);
  const double step = 0x1p-52;
  const double a_best = y[ix::Fi_3];
  auto r = [&](double a) { return std::abs(std::sin(a) - par.R_k); };
  EXPECT_EQ(r(a_best - step), r(a_best));  // a tie before the angle kept
  EXPECT_GT(r(a_best + step), r(a_best));
  EXPECT_LE(r(a_best), r(s.psi_0));
}

TEST(Statics, NoTrialWithinTheResidualBoundKeepsTheGeometricPitch) {
  model::Par par = builtin_par(1000.0);
  par.R_k = 0.5;    // steered axle above the traction axle
  par.c_tr = 1e-3;  // so soft a tyre that every residual is huge
  const Solved r = solve(par);
  EXPECT_EQ(r.s.psi_0, std::asin((0.5 - par.R_t) / par.L_b));
  EXPECT_EQ(r.y[ix::Fi_3], r.s.psi_0);
}

}  // namespace
}  // namespace liftsim::driver
