#include "sweep/tilt.h"

#include <cmath>

#include "run/input.h"
#include "run/simulation.h"

namespace liftsim::sweep {
namespace {

// The steered-wheel force of the truck's start, then ends the run.
class FirstPoint : public output::PointObserver {
 public:
  void on_point(const output::OutputPoint& p) override {
    if (!F_kp) F_kp = p.pub->F_kp;
  }
  bool finished() const override { return F_kp.has_value(); }
  std::optional<double> F_kp;
};

// The base case standing braked on a table tilted by `slope` per cent, its load secured.
BaseCase on_table(const BaseCase& base, const params::Param& height_param, double height,
                  double slope) {
  BaseCase b = base;
  const params::Param& friction = *params::find_param("f_fr");
  if (!b.overrides.find(friction)) b.overrides.set(friction, kSecured);
  b.overrides.set(height_param, height);
  b.overrides.set(*params::find_param("slope"), slope);
  b.overrides.set(*params::find_param("v_0"), 0.0);
  b.drive = {};
  b.drive.torque = model::TimeSeries({{0.0, 0.0}});
  b.drive.hold = true;
  return b;
}

// The steered-wheel force at the start: of the truck's own equilibrium, 0 when it has none (the
// statics find no load on the steered wheels, or the equilibrium with them down does not
// settle); none when the run failed before its start.
std::optional<double> standing_force(const BaseCase& b, const std::atomic<int>* stop) {
  run::RunPlan plan;
  plan.stop = stop;
  plan.legacy_files = false;
  plan.input_text = b.input_text;
  plan.overrides = b.overrides;
  plan.road = b.road;
  plan.drive = b.drive;
  plan.kind = b.kind;
  plan.work = b.work;
  FirstPoint first;
  plan.observers.push_back(&first);
  const run::RunResult r = run::simulate(plan);
  if (r.statics && r.statics->F_kp_0 <= 0.0) return 0.0;
  if (b.kind == model::Kind::sound && !(r.settling && r.settling->converged)) return 0.0;
  return first.F_kp;
}

}  // namespace

double rigid_tilt(const params::CaseValues& v) {
  const model::Par& p = v.par;
  // Centre-of-mass offsets from the traction axle on level ground, mast upright, body level.
  const double m = p.m_1 + p.m_2 + p.m_3 + p.m_4;
  const double x = (p.m_1 * p.xc_1 + p.m_2 * (p.xc_2 + p.x_O2) + p.m_3 * p.xc_3 +
                    p.m_4 * (v.x_load + p.x_O2)) /
                   m;
  const double z = (p.m_1 * p.zc_1 + p.m_2 * p.zc_2 + p.m_3 * p.zc_3 + p.m_4 * p.zc_4) / m;
  return 100.0 * (-x / (z + p.R_t));
}

std::optional<TiltRow> tilt_test(const BaseCase& base, const params::Param& height_param,
                                 double height, const TiltOptions& options) {
  TiltRow row;
  row.height = height;
  {
    params::CaseValues values = params::built_in_case();
    std::size_t position = 0;
    run::read_case(run::memory_source(base.input_text, position), "dani.dat", base.overrides,
                   values, {});
    height_param.ref(values) = height;
    row.rigid = rigid_tilt(values);
  }
  auto stopped = [&] { return options.stop != nullptr && options.stop->load() != 0; };
  auto force = [&](double slope) {
    ++row.runs;
    return standing_force(on_table(base, height_param, height, slope), options.stop);
  };
  // Bracket: level ground must hold the steered wheels down; then doubling slopes until one
  // does not.
  const std::optional<double> level = force(0.0);
  if (stopped()) return std::nullopt;
  if (!level) {
    row.note = "the run fails on level ground";
    return row;
  }
  if (*level <= 0.0) {
    row.note = "tips on level ground";
    if (options.require) row.pass = false;
    return row;
  }
  double lo = 0.0, f_lo = *level, hi = 4.0;
  std::optional<double> f_hi;
  for (;; hi *= 2.0) {
    if (hi > 90.0) hi = 90.0;
    f_hi = force(hi);
    if (stopped()) return std::nullopt;
    if (!f_hi || *f_hi <= 0.0) break;
    if (hi >= 90.0) {
      row.note = "stands up to 90 %";
      if (options.require) row.pass = true;
      return row;
    }
    lo = hi;
    f_lo = *f_hi;
  }
  // False position (Illinois) on the force where the runs give one, bisection where they fail.
  double fh = f_hi ? *f_hi : 0.0;
  int side = 0;
  while (hi - lo > options.resolution && !stopped()) {
    double s = 0.5 * (lo + hi);
    if (f_hi && fh < 0.0) {
      s = lo + (hi - lo) * (f_lo / (f_lo - fh));
      s = std::fmin(std::fmax(s, lo + 0.1 * options.resolution), hi - 0.1 * options.resolution);
    }
    const std::optional<double> f = force(s);
    if (f && *f > 0.0) {
      lo = s;
      f_lo = *f;
      if (side == 1) fh *= 0.5;
      side = 1;
    } else {
      hi = s;
      fh = f ? *f : 0.0;
      f_hi = f;
      if (side == -1) f_lo *= 0.5;
      side = -1;
    }
  }
  if (stopped()) return std::nullopt;
  row.critical = lo;
  if (options.require) row.pass = lo > *options.require;
  // Held by the brake just below and just above it, each to the end time.
  for (auto [slope, verdict] : {std::pair{lo - options.margin, &row.below},
                                std::pair{lo + options.margin, &row.above}}) {
    BaseCase b = on_table(base, height_param, height, slope);
    const results::Summary s = run_case(b, {}, {}, options.stop);
    if (stopped()) return std::nullopt;
    *verdict = s.verdict;
    ++row.runs;
  }
  return row;
}

}  // namespace liftsim::sweep
