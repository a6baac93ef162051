// The physics of the two models, each a property a truck must have or a hand calculation: where it
// stands on a flat road does not matter (sound) or does (legacy, whose moment arms are global
// coordinates); a truck at rest with nothing driving it stays at rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "run/simulation.h"
#include "support/e2e.h"
#include "sweep/tilt.h"

namespace liftsim::run {
namespace {

namespace ix = model::ix;

// Every output point's time, state and derivative.
struct Trace : output::PointObserver {
  struct Point {
    double t;
    model::StateVector y, dery;
    double F_kp;
  };
  std::vector<Point> points;
  void on_point(const output::OutputPoint& p) override {
    Point q{p.x, {}, {}, p.pub->F_kp};
    std::copy(p.y, p.y + model::kNdim, q.y.begin());
    std::copy(p.dery, p.dery + model::kNdim, q.dery.begin());
    points.push_back(q);
  }
};

struct Traced {
  RunResult result;
  Trace trace;
};

Traced run(model::Kind kind, std::vector<std::pair<const char*, double>> sets,
           const model::Drive& drive = {}) {
  RunPlan plan;
  plan.drive = drive;
  plan.legacy_files = false;
  plan.input_text = testing::example_input();
  plan.kind = kind;
  for (const auto& [name, value] : sets) plan.overrides.set(*params::find_param(name), value);
  Traced t;
  plan.observers.push_back(&t.trace);
  t.result = simulate(plan);
  return t;
}

// The sound model from x_0 = 50 m gives the run from 0 shifted by 50 m: the same steps and, to
// the rounding of a position near 50 (its last bit is 7e-15 m), the same state; only X_01.3 and
// the rolling carry the offset, and nothing reads their absolute value but the flat road. The
// legacy model, whose arms grow by 50 m, is thrown off at once: its truck at 50 m tips over.
TEST(Physics, TheSoundModelDoesNotCareWhereTheTruckStandsTheLegacyModelDoes) {
  const Traced home = run(model::Kind::sound, {{"t_end", 3.0}});
  const Traced away = run(model::Kind::sound, {{"t_end", 3.0}, {"x_0", 50.0}});
  ASSERT_EQ(home.result.outcome, Outcome::completed);
  ASSERT_EQ(away.trace.points.size(), home.trace.points.size());
  double worst = 0.0;
  for (std::size_t k = 0; k < home.trace.points.size(); ++k) {
    const auto &a = home.trace.points[k], &b = away.trace.points[k];
    ASSERT_EQ(a.t, b.t);
    for (int i = 0; i < model::kNdim; ++i) {
      const double offset = i == ix::X_013 ? 50.0 : 0.0;
      worst = std::max(worst, std::fabs(b.y[i] - offset - a.y[i]));
    }
    worst = std::max(worst, std::fabs(b.F_kp - a.F_kp) * 1e-6);  // N, scaled to 1e-6 of it
  }
  EXPECT_LT(worst, 1e-12) << worst;

  const Traced legacy_home = run(model::Kind::legacy, {{"t_end", 3.0}});
  const Traced legacy_away = run(model::Kind::legacy, {{"t_end", 3.0}, {"x_0", 50.0}});
  const double F_kp_home = legacy_home.trace.points.back().F_kp;
  const double F_kp_away = legacy_away.trace.points.back().F_kp;
  EXPECT_GT(std::fabs(F_kp_away - F_kp_home), 1000.0) << F_kp_home << " " << F_kp_away;
}

// With the engine off, the sound truck starts in its own equilibrium and stays there: every
// generalized acceleration stays at the level of rounding (forces of 3e4 N summed to 1e-16 of
// them, over masses of 1e3 kg: 1e-14 m/s^2; a thousand times that is the bound). The statics'
// start is far from it: its largest acceleration is near 10 m/s^2.
TEST(Physics, ATruckAtRestWithTheEngineOffStaysAtRest) {
  const Traced rest = run(model::Kind::sound, {{"N_e", 0.0}});
  ASSERT_EQ(rest.result.outcome, Outcome::completed);
  ASSERT_TRUE(rest.result.settling.has_value());
  EXPECT_GT(rest.result.settling->accel_before, 5.0);
  EXPECT_LT(rest.result.settling->accel_after, 1e-11);
  double worst = 0.0, moved = 0.0;
  for (const auto& p : rest.trace.points) {
    for (int i : {ix::VX_013, ix::VZ_013, ix::VFi_1, ix::VFi_3, ix::VZ_02, ix::VX_C4, ix::VFi_tk})
      worst = std::max(worst, std::fabs(p.dery[i]));
    moved = std::max(moved, std::fabs(p.y[ix::X_013]) + std::fabs(p.y[ix::X_C4] - 0.6f));
  }
  EXPECT_LT(worst, 1e-9);
  EXPECT_LT(moved, 1e-12);
  EXPECT_EQ(rest.result.stats.derivative_calls, 20019);  // no step had to be made smaller
}

// With no gradient, no start speed and no drive or brake given, setting them to zero changes
// nothing: the same state at every output point, bit for bit, under either model.
TEST(Physics, AZeroScenarioIsThePlainRun) {
  for (model::Kind kind : {model::Kind::legacy, model::Kind::sound}) {
    const Traced plain = run(kind, {{"t_end", 2.0}});
    const Traced zero = run(kind, {{"t_end", 2.0}, {"slope", 0.0}, {"v_0", 0.0}, {"x_0", 0.0}});
    ASSERT_EQ(zero.trace.points.size(), plain.trace.points.size());
    bool same = true;
    for (std::size_t k = 0; k < plain.trace.points.size(); ++k)
      same = same && zero.trace.points[k].y == plain.trace.points[k].y &&
             zero.trace.points[k].t == plain.trace.points[k].t;
    EXPECT_TRUE(same) << model::kind_name(kind);
  }
}

model::Drive torque(double value, std::optional<double> brake = {}) {
  model::Drive d;
  d.torque = model::TimeSeries({{0.0, value}});
  if (brake) d.brake = model::TimeSeries({{0.0, *brake}});
  return d;
}

// Rolling freely (no drive, no rolling resistance) at 1 m/s, the truck keeps its speed to 0.5 %
// over 5 s. A constant brake of 3 kN*m from 2.5 m/s decelerates it as the shaft and the truck
// together say by hand: T·r / (J_tk + M·r²) with the rolling radius r of the standing truck and
// M the whole mass, to 2 %; the wheel stops, stays stopped, and the truck stays where it stopped
// (it rocks on the tyre by millimetres).
TEST(Physics, FreeRollingKeepsItsSpeedAConstantBrakeDeceleratesAsByHand) {
  const Traced free = run(model::Kind::sound, {{"t_end", 5.0}, {"v_0", 1.0}, {"f_t", 0.0},
                                               {"f_k", 0.0}}, torque(0.0));
  double slowest = 2.0, fastest = 0.0;
  for (const auto& p : free.trace.points) {
    slowest = std::min(slowest, p.y[ix::VX_013]);
    fastest = std::max(fastest, p.y[ix::VX_013]);
  }
  EXPECT_GT(slowest, 0.995);
  EXPECT_LT(fastest, 1.005);

  const Traced braked = run(model::Kind::sound, {{"t_end", 8.0}, {"v_0", 2.5}, {"f_t", 0.0},
                                                 {"f_k", 0.0}}, torque(0.0, 3000.0));
  const auto& pts = braked.trace.points;
  const double r = pts.front().y[ix::Z_013];  // on level ground the axle's height is the radius
  const params::CaseValues v = braked.result.values;
  const double M = v.par.m_1 + v.par.m_2 + v.par.m_3 + v.par.m_4;
  const double by_hand = -3000.0 * r / (v.par.J_tk + M * r * r);
  std::size_t stop = 0;
  while (stop < pts.size() && pts[stop].y[ix::VFi_tk] > 1e-9) ++stop;
  ASSERT_LT(stop, pts.size()) << "the wheel never stopped";
  // The mean deceleration up to a little before the stop (the tyre's swing averages out).
  std::size_t until = stop;
  while (pts[until].t > pts[stop].t - 0.3) --until;
  const double measured = (pts[until].y[ix::VX_013] - 2.5) / (pts[until].t - pts.front().t);
  EXPECT_NEAR(measured, by_hand, 0.02 * std::fabs(by_hand)) << measured << " " << by_hand;
  double x_lo = 1e9, x_hi = -1e9;
  for (std::size_t k = stop; k < pts.size(); ++k) {
    EXPECT_LE(std::fabs(pts[k].y[ix::VFi_tk]), 1e-9) << "t = " << pts[k].t;
    if (pts[k].t > pts[stop].t + 0.5) {
      x_lo = std::min(x_lo, pts[k].y[ix::X_013]);
      x_hi = std::max(x_hi, pts[k].y[ix::X_013]);
    }
  }
  EXPECT_LT(x_hi - x_lo, 0.005);
}

// On a table tilted forward the steered wheels carry less, tilted back more; held by its brake
// the truck creeps by less than a micrometre in 10 s on 4 %.
TEST(Physics, SlopesShiftTheSteeredWheelsLoadAHeldTruckDoesNotCreep) {
  model::Drive held = torque(0.0);
  held.hold = true;
  std::map<double, double> F_kp;
  for (double slope : {-4.0, 0.0, 4.0}) {
    const Traced t = run(model::Kind::sound, {{"slope", slope}}, held);
    ASSERT_EQ(t.result.outcome, Outcome::completed);
    F_kp[slope] = t.trace.points.front().F_kp;
    double lo = 1e9, hi = -1e9;
    for (const auto& p : t.trace.points) {
      lo = std::min(lo, p.y[ix::X_013]);
      hi = std::max(hi, p.y[ix::X_013]);
    }
    EXPECT_LT(hi - lo, 1e-6) << slope;
  }
  EXPECT_LT(F_kp[4.0], F_kp[0.0] - 500.0);
  EXPECT_GT(F_kp[-4.0], F_kp[0.0] + 500.0);
}

// The critical slope of the tilting table agrees with the rigid-body estimate (centre of mass over
// the traction wheels' contact) once the tyres are stiff, and the real tyres' deflection lowers it
// by about one per cent of slope: the body settles forward on the front tyres as the table tilts.
TEST(Physics, CriticalSlopeAgreesWithTheRigidTruckWithinTheTyresDeflection) {
  sweep::BaseCase base;
  base.input_text = testing::example_input();
  sweep::BaseCase stiff = base;
  for (const char* c : {"c_tr", "c_kr", "c_buf"}) {
    const params::Param& p = *params::find_param(c);
    stiff.overrides.set(p, *p.built_in * 1000.0);
  }
  const params::Param& height = *params::find_param("zc_4");
  const params::Param& x_load = *params::find_param("x_load");
  for (auto [h, x] : {std::pair{0.5, 0.6}, std::pair{3.0, 0.4}}) {  // the load centre set by name
    base.overrides.set(x_load, x);
    stiff.overrides.set(x_load, x);
    const sweep::TiltRow real = sweep::tilt_test(base, height, h).value();
    const sweep::TiltRow rigid = sweep::tilt_test(stiff, height, h).value();
    ASSERT_TRUE(real.critical && rigid.critical) << real.note;
    EXPECT_NEAR(*rigid.critical, real.rigid, 1.0) << h;
    EXPECT_LT(*real.critical, *rigid.critical) << h;
    EXPECT_GT(*real.critical, *rigid.critical - 2.0) << h;
  }
}

}  // namespace
}  // namespace liftsim::run
