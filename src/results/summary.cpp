#include "results/summary.h"

#include <cmath>

#include "output/logged.h"

namespace liftsim::results {
namespace {

namespace ix = model::ix;

// The first quantity of the point outside the model's valid range, if any.
std::optional<OutOfModel> leaves_model(const output::OutputPoint& p, const output::Logged& lg) {
  const model::Par& par = p.model->par;
  const model::Road& road = p.model->road;
  const double* y = p.y;
  const ValidRange range;
  auto out = [&](const char* quantity, double value, double limit) {
    return OutOfModel{quantity, value, limit, p.x};
  };
  if (std::fabs(y[ix::Fi_3]) > range.max_angle) return out("Fi_3", y[ix::Fi_3], range.max_angle);
  if (std::fabs(y[ix::Fi_1]) > range.max_angle) return out("Fi_1", y[ix::Fi_1], range.max_angle);
  if (lg.dz_t >= par.R_t) return out("traction tyre deflection", lg.dz_t, par.R_t);
  if (lg.dz_k >= par.R_k) return out("steered tyre deflection", lg.dz_k, par.R_k);
  const double traction_clearance = (y[ix::Z_013] - road.z(y[ix::X_013])) - par.R_t;
  if (traction_clearance > par.R_t) {
    return out("traction wheel height above the road", traction_clearance, par.R_t);
  }
  const double steered_clearance = (lg.z_k - road.z(lg.x_k)) - par.R_k;
  if (steered_clearance > par.R_k) {
    return out("steered wheel height above the road", steered_clearance, par.R_k);
  }
  if (y[ix::X_C4] < 0.0) return out("X_C4", y[ix::X_C4], 0.0);
  if (y[ix::X_C4] > par.l_fork) return out("X_C4", y[ix::X_C4], par.l_fork);
  return std::nullopt;
}

}  // namespace

void SummaryObserver::on_point(const output::OutputPoint& p) {
  Facts& f = facts_;
  if (f.decided_t) return;  // what comes after the decision is not a result
  const model::Par& par = p.model->par;
  const model::Published& pub = *p.pub;
  const double* y = p.y;
  output::Logged lg;
  output::compute_forces(y, *p.model, output::trig_of(pub), lg);

  if (auto left = leaves_model(p, lg)) {
    f.out_of_model = std::move(left);
    f.decided_t = p.x;
    return;
  }
  if (f.points == 0) {
    f.X_C4_0 = y[ix::X_C4];
    f.X_013_0 = y[ix::X_013];
  }
  ++f.points;

  const double F_kp = lg.F_kp;
  if (F_kp < f.min_F_kp) {
    f.min_F_kp = F_kp;
    f.t_min_F_kp = p.x;
  }
  f.max_F_kp = std::fmax(f.max_F_kp, F_kp);
  const bool lifted = F_kp <= thresholds_.lift_force;
  f.lifted_at_end = lifted;
  if (lifted) {
    if (!f.lift_off_t) f.lift_off_t = p.x;
    // Moment of the weights about the traction wheels' contact with the road (below the axle on
    // level ground, ahead of it on a rising road): positive when the centre of mass lies ahead of
    // it, where gravity turns the truck further over its front wheels.
    const double slope = p.model->road.slope(y[ix::X_013]);
    const double contact_ahead = par.R_t * (slope / std::sqrt(1.0 + slope * slope));
    const double mass = par.m_1 + par.m_2 + par.m_3 + par.m_4;
    const double moment = par.m_1 * pub.xc_1r + par.m_2 * pub.xc_2r + par.m_3 * pub.xc_3r +
                          par.m_4 * pub.xc_4r - mass * contact_ahead;
    if (moment > 0.0 && y[ix::VFi_3] > 0.0 && !f.tip_t) {
      f.tip_t = p.x;
      f.decided_t = p.x;
    }
  }

  const double Fi_3 = std::fabs(y[ix::Fi_3]);
  if (Fi_3 > f.max_abs_Fi_3) {
    f.max_abs_Fi_3 = Fi_3;
    f.t_max_abs_Fi_3 = p.x;
  }
  f.max_abs_Fi_1 = std::fmax(f.max_abs_Fi_1, std::fabs(y[ix::Fi_1]));
  f.load_travel = std::fmax(f.load_travel, std::fabs(y[ix::X_C4] - f.X_C4_0));
  f.travel = std::fmax(f.travel, std::fabs(y[ix::X_013] - f.X_013_0));
  f.min_F_13 = std::fmin(f.min_F_13, lg.F_13);
  f.max_F_13 = std::fmax(f.max_F_13, lg.F_13);
  f.max_F_12 = std::fmax(f.max_F_12, lg.F_12);
}

const char* verdict_name(Verdict v) {
  switch (v) {
    case Verdict::stable:
      return "stable";
    case Verdict::wheel_lift:
      return "wheel_lift";
    case Verdict::tip_over:
      return "tip_over";
    case Verdict::load_slide:
      return "load_slide";
    case Verdict::numerical_failure:
      return "numerical_failure";
    case Verdict::out_of_model:
      return "out_of_model";
  }
  return "?";
}

Verdict classify(const Summary& s) {
  const Facts& f = s.facts;
  if (s.F_kp_0 && *s.F_kp_0 <= 0.0) return Verdict::tip_over;
  if (f.tip_t) return Verdict::tip_over;
  if (f.out_of_model) return Verdict::out_of_model;
  const bool failed =
      s.outcome != run::Outcome::completed && s.outcome != run::Outcome::decided;
  if (failed) return f.lift_off_t ? Verdict::tip_over : Verdict::numerical_failure;
  if (f.load_travel > s.thresholds.slide_limit) return Verdict::load_slide;
  if (f.lift_off_t) return Verdict::wheel_lift;
  return Verdict::stable;
}

double legacy_arm_pitch(const Facts& f, const model::Par& par) {
  const double c_ks = (par.c_buf * par.c_kr) / (par.c_buf + par.c_kr);
  return f.travel * f.max_F_kp / (c_ks * par.L_b * par.L_b);
}

Summary summarize(const run::RunResult& r, const SummaryObserver& observer) {
  Summary s;
  s.outcome = r.outcome;
  s.error = r.error;
  s.model = r.kind;
  s.t_end = r.values.prmt[1];
  s.t_reached = r.t_reached;
  s.restarts = r.restarts;
  s.derivative_calls = static_cast<long>(r.stats.derivative_calls);
  // The points the summary saw: an output call that failed half-way is not one of them.
  s.output_points = observer.facts().points;
  if (r.statics) {
    s.F_kp_0 = r.statics->F_kp_0;
    s.F_tp_0 = r.statics->F_tp_0;
  }
  s.facts = observer.facts();
  s.thresholds = observer.thresholds();
  s.labels = r.labels;
  if (r.input_read) {
    for (const params::Param& p : params::all_params()) {
      const double used = params::get(p, r.values);
      const double plain = params::get(p, r.notes.plain);
      if (used != plain) s.changed.emplace_back(std::string(p.name), used);
      if (p.record != 0 && !p.built_in && !p.echo_only && used == plain) {
        s.case_values.push_back({std::string(p.name), used, "dani.dat"});
      }
    }
    for (const auto& [name, value] : s.changed) s.case_values.push_back({name, value, "set"});
    if (r.kind == model::Kind::legacy && s.facts.points > 0) {
      const double pitch = legacy_arm_pitch(s.facts, r.values.par);
      if (pitch > kLegacyArmNote) s.legacy_arm_pitch = pitch;
    }
  }
  s.verdict = classify(s);
  return s;
}

}  // namespace liftsim::results
