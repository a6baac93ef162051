// The physics of the two models, each a property a truck must have or a hand calculation: where it
// stands on a flat road does not matter (sound) or does (legacy, whose moment arms are global
// coordinates); a truck at rest with nothing driving it stays at rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "run/simulation.h"
#include "support/e2e.h"

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

Traced run(model::Kind kind, std::vector<std::pair<const char*, double>> sets) {
  RunSpec spec;
  spec.legacy_files = false;
  spec.input_text = testing::example_input();
  spec.kind = kind;
  for (const auto& [name, value] : sets) spec.overrides.set(*params::find_param(name), value);
  Traced t;
  spec.observers.push_back(&t.trace);
  t.result = simulate(spec);
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

}  // namespace
}  // namespace liftsim::run
