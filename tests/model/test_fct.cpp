#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "model/assemble.h"
#include "model/fct.h"

namespace liftsim::model {
namespace {

const double kG = double{9.81f};

// The built-in truck with a 1000 kg load whose centre of mass is 0.5 m above the forks.
Par builtin_par() {
  Par p;
  p.m_1 = 210.0, p.m_2 = 90.0, p.m_3 = 1880.0, p.m_4 = 1000.0;
  p.xc_1 = double{0.07f}, p.xc_2 = double{0.03f}, p.xc_3 = double{-0.999f};
  p.zc_1 = double{0.825f}, p.zc_2 = double{0.825f}, p.zc_3 = double{0.485f}, p.zc_4 = 0.5;
  p.x_O2 = double{0.28f};
  p.J_1 = 70.0, p.J_2 = 25.0, p.J_3 = 300.0, p.J_4 = 80.0, p.J_tk = 1767.0;
  p.c_tt = 200000.0, p.c_tr = 552000.0, p.c_kr = 378000.0, p.c_buf = 503000.0;
  p.f_t = double{0.012f}, p.f_k = double{0.012f}, p.R_t = double{0.401f}, p.R_k = double{0.401f};
  p.L_b = double{0.9f};
  p.xh_1 = 0.25, p.zh_1 = double{0.456f}, p.xh_3 = double{-0.253f}, p.zh_3 = double{0.38f};
  p.c_lift = 120000.0, p.c_tilt = 12000000.0, p.f_fr = double{0.15f};
  return p;
}
const StaticRefs kRefs{0.511, 0.0891};  // close to the statics of the resting truck

StateVector with(StateVector y, std::initializer_list<std::pair<int, double>> values) {
  for (const auto& [k, v] : values) y[k] = v;
  return y;
}
// States: VX_01.3 VZ_01.3 VFi_1 VFi_3 VZ_02, X_01.3 Z_01.3 Fi_1 Fi_3 Z_02, VX_C4 VFi_tk, X_C4
// Fi_tk. At rest on its tyres near equilibrium; tilted and rocking; lifted clear of the road.
const StateVector kResting{0, 0, 0, 0, 0, 0, 0.364, 0, -0.0127, 0, 0, 0, 0.6, 0};
const StateVector kRocking{1.1, 0, 0.3, -0.25, -0.2, 0, 0.364, 0.12, -0.0127, 0.4, 0.1, 2, 0.6, 0};
const StateVector kLifted{0, 0, 0, 0, 0, 1.5, 0.6, -0.07, -0.0127, 0, 0, 0, 0.6, 0};

TEST(Fct, DerivativeLayoutMassMatrixAndForcesAtRest) {
  for (const StateVector& y : {kResting, kRocking, kLifted}) {
    Par par = builtin_par();
    OutputHistory hist;
    hist.fi_roll = 0.01;
    StateVector d{};
    Fct(0.3, y.data(), d.data(), par, hist, kRefs);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(d[ix::X_013 + i], y[ix::VX_013 + i]);
    EXPECT_EQ(d[ix::X_C4], y[ix::VX_C4]);
    EXPECT_EQ(d[ix::Fi_tk], y[ix::VFi_tk]);

    Assembly as;
    fct_assemble(0.3, y.data(), par, hist, kRefs, as);
    for (int i = 1; i <= kNq; ++i)
      for (int j = 1; j < i; ++j) EXPECT_EQ(as.a(i, j), as.a(j, i)) << i << "," << j;
    for (int j = 1; j < kNq; ++j) EXPECT_EQ(as.a(7, j), 0.0);
    EXPECT_EQ(as.a(3, 4), 0.0);
    EXPECT_EQ(d[ix::VFi_tk], as.B[6] / par.J_tk);  // the shaft is decoupled

    StateVector y0 = y;
    for (int k : {0, 1, 2, 3, 4, ix::VX_C4, ix::VFi_tk}) y0[k] = 0.0;
    fct_assemble(0.3, y0.data(), par, hist, kRefs, as);
    EXPECT_EQ(as.B[0], as.el.F_tt);
    EXPECT_EQ(as.B[1], -as.a(1, 1) * kG + par.F_kp + as.el.F_tp);
  }
}

TEST(Fct, MovingAlongTheRoadShiftsTheGlobalArmsOnly) {
  const double dX = 2.0;
  const StateVector y2 = with(kRocking, {{ix::X_013, kRocking[ix::X_013] + dX}});
  Par p1 = builtin_par(), p2 = builtin_par();
  Assembly s1, s2;
  fct_assemble(0.0, kRocking.data(), p1, OutputHistory{}, kRefs, s1);
  fct_assemble(0.0, y2.data(), p2, OutputHistory{}, kRefs, s2);
  EXPECT_EQ(s1.A, s2.A);
  for (int k : {0, 1, 4, 5, 6}) EXPECT_EQ(s1.B[k], s2.B[k]) << k;
  EXPECT_NEAR(p2.xh_1r - p1.xh_1r, dX, 1e-12);
  const double sf = std::sin(p1.fi_h) * dX * p1.F_13;
  EXPECT_NEAR(s2.B[2] - s1.B[2], -sf, 1e-6 * std::fabs(sf));
  EXPECT_NEAR(s2.B[3] - s1.B[3], sf - dX * p1.F_kp, 1e-6 * std::fabs(sf));
}

TEST(Fct, StickRulesTreatOnlyExactZeroAsRest) {
  for (double v : {0.0, -0.0, 1e-300, -1e-300}) {
    const StateVector y = with(kResting, {{ix::VFi_tk, v}, {ix::VX_C4, v}});
    Par par = builtin_par();
    StateVector d{};
    Fct(0.0, y.data(), d.data(), par, OutputHistory{}, kRefs);
    Assembly as;
    fct_assemble(0.0, y.data(), par, OutputHistory{}, kRefs, as);
    ASSERT_GT(as.el.M_f, as.el.M_net);  // rolling resistance exceeds the standstill drive
    EXPECT_EQ(d[ix::VFi_tk] < 0.0, v != 0.0) << v;
    // Level mast: only friction acts on the load, and only when it slides.
    EXPECT_EQ(as.B[5], v == 0.0 ? 0.0 : (v > 0.0 ? -as.el.F_fr : as.el.F_fr)) << v;
  }
}

// Pressed tyres push; slack chains do not. The tyre's tangential deflection, the wheel angle less
// the rolling angle of the last output point (0.2 in all), is gone once the wheel has rolled on
// by that angle since then.
TEST(Fct, PressedTyresSlackChainsAndRollingCatchingUp) {
  const StateVector y =
      with({}, {{ix::Z_013, 0.4}, {ix::Z_02, 0.2}, {ix::VX_013, 0.5}, {ix::Fi_tk, 0.3}});
  Par par = builtin_par();
  OutputHistory hist;
  hist.fi_roll = 0.1;
  hist.t_last = 1.0;
  Assembly as;
  fct_assemble(1.16, y.data(), par, hist, kRefs, as);
  const double press = double{0.401f} - 0.4;
  EXPECT_NEAR(as.el.F_tp, 552000.0 * press, 1e-9);
  EXPECT_NEAR(par.F_kp, 503000.0 * 378000.0 / (503000.0 + 378000.0) * press, 1e-9);
  EXPECT_EQ(as.el.dl_12, 0.0);
  EXPECT_NEAR(as.el.F_tt, 0.0, 1e-6);
}

// Centres of mass of mast, carriage, body and load for the coordinates q1 … q6.
using Point = std::array<double, 2>;
std::array<Point, 4> centres(const Par& p, const std::array<double, 7>& q) {
  auto turned = [&](double u, double w, double phi) {
    return Point{q[0] + u * std::cos(phi) + w * std::sin(phi),
                 q[1] + w * std::cos(phi) - u * std::sin(phi)};
  };
  return {turned(p.xc_1, p.zc_1, q[2]), turned(p.xc_2 + p.x_O2, p.zc_2 + q[4], q[2]),
          turned(p.xc_3, p.zc_3, q[3]), turned(q[5] + p.x_O2, p.zc_4 + q[4], q[2])};
}

class NewtonLaws : public ::testing::TestWithParam<StateVector> {};

// Each solved equation must balance the inertia of the parts it moves (from their kinematics, by
// finite differences) against gravity and the element forces. The truck flies clear of the road
// with no tilt cylinder and frictionless forks; the tyre's tangential deflection (0.01 rad at
// 0.8 m) and the chains (0.05 m short) still act.
TEST_P(NewtonLaws, SolvedAccelerationsBalanceTheForces) {
  const StateVector& y = GetParam();
  Par par = builtin_par();
  par.c_tilt = 0.0;
  par.f_fr = 0.0;
  const StaticRefs refs{0.5, 0.35};
  OutputHistory hist;
  hist.fi_roll = 0.01;
  StateVector d{};
  Fct(0.0, y.data(), d.data(), par, hist, refs);

  const int pos[6] = {ix::X_013, ix::Z_013, ix::Fi_1, ix::Fi_3, ix::Z_02, ix::X_C4};
  const int vel[6] = {ix::VX_013, ix::VZ_013, ix::VFi_1, ix::VFi_3, ix::VZ_02, ix::VX_C4};
  auto path = [&](double t, int k = -1, double e = 0.0) {
    std::array<double, 7> q{};
    for (int j = 0; j < 6; ++j) q[j] = y[pos[j]] + y[vel[j]] * t + 0.5 * d[vel[j]] * t * t;
    if (k >= 0) q[k] += e;
    return centres(par, q);
  };
  const double h = 1e-3, e = 1e-6, m[4] = {par.m_1, par.m_2, par.m_3, par.m_4};
  const auto b2 = path(-2 * h), b1 = path(-h), now = path(0.0), a1 = path(h), a2 = path(2 * h);
  const double rotary[6] = {0, 0, (par.J_1 + par.J_2 + par.J_4) * d[ix::VFi_1],
                            par.J_3 * d[ix::VFi_3]};
  const double element[6] = {200000.0 * 0.01 / 0.8, 0, 0, 0, 120000.0 * 0.05};
  // The load's own equation leaves out the turning of the mast.
  for (int k = 0; k < (y[ix::VFi_1] == 0.0 ? 6 : 5); ++k) {
    const auto rp = path(0.0, k, e), rm = path(0.0, k, -e);
    double lhs = rotary[k], rhs = element[k];
    for (int i = 0; i < 4; ++i) {
      for (int c = 0; c < 2; ++c) {
        const double acc =
            (16.0 * (a1[i][c] + b1[i][c]) - (a2[i][c] + b2[i][c]) - 30.0 * now[i][c]) /
            (12 * h * h);
        lhs += m[i] * acc * (rp[i][c] - rm[i][c]) / (2 * e);
      }
      rhs -= m[i] * kG * (rp[i][1] - rm[i][1]) / (2 * e);
    }
    EXPECT_NEAR(lhs, rhs, 1e-3) << "equation " << k + 1;
  }
}

// Clear of the road: at rest, without and with the mast turning, tilted back and spinning.
INSTANTIATE_TEST_SUITE_P(
    Motions, NewtonLaws,
    ::testing::Values(
        StateVector{0, 0, 0, 0, 0, 0.3, 0.8, 0.1, 0.05, 0.3, 0, 0, 0.5, 0.02},
        StateVector{1.2, -0.2, 0, -0.4, 0.5, 0.3, 0.8, 0.1, 0.05, 0.3, -0.3, 0, 0.5, 0.02},
        StateVector{1.2, 0, 0.7, -0.4, 0.5, 0.3, 0.8, 0.1, 0.05, 0.3, -0.3, 0, 0.5, 0.02},
        StateVector{0, 0, -0.5, 0, -0.4, 0.3, 0.8, -0.15, 0.05, 0.3, 0.6, 3, 0.5, 0.02}));

}  // namespace
}  // namespace liftsim::model
