#include "results/summary.h"

#include <cmath>

namespace liftsim::results {
namespace {

namespace ix = model::ix;

}  // namespace

void SummaryObserver::on_point(const output::OutputPoint& p) {
  const model::Par& par = p.model->par;
  const model::Published& pub = *p.pub;
  const double* y = p.y;
  Facts& f = facts_;
  if (f.points == 0) f.X_C4_0 = y[ix::X_C4];
  ++f.points;

  // The steered-wheel force is the model's own for the point (the same law as the logged one).
  const double F_kp = pub.F_kp;
  if (F_kp < f.min_F_kp) {
    f.min_F_kp = F_kp;
    f.t_min_F_kp = p.x;
  }
  const bool lifted = F_kp <= thresholds_.lift_force;
  f.lifted_at_end = lifted;
  if (lifted) {
    if (!f.lift_off_t) f.lift_off_t = p.x;
    // Moment of the weights about the traction axle: positive when the centre of mass lies ahead
    // of it, where gravity turns the truck further over the front wheels.
    const double moment =
        par.m_1 * pub.xc_1r + par.m_2 * pub.xc_2r + par.m_3 * pub.xc_3r + par.m_4 * pub.xc_4r;
    if (moment > 0.0 && !f.tip_t) f.tip_t = p.x;
  }

  const double Fi_3 = std::fabs(y[ix::Fi_3]);
  if (Fi_3 > f.max_abs_Fi_3) {
    f.max_abs_Fi_3 = Fi_3;
    f.t_max_abs_Fi_3 = p.x;
  }
  f.max_abs_Fi_1 = std::fmax(f.max_abs_Fi_1, std::fabs(y[ix::Fi_1]));
  f.load_travel = std::fmax(f.load_travel, std::fabs(y[ix::X_C4] - f.X_C4_0));

  // Cylinder forces as the time-history files have them.
  const double u1 = par.xh_1 * pub.c1 + par.zh_1 * pub.s1;
  const double w1 = par.zh_1 * pub.c1 - par.xh_1 * pub.s1;
  const double u3 = par.xh_3 * pub.c3 + par.zh_3 * pub.s3;
  const double w3 = par.zh_3 * pub.c3 - par.xh_3 * pub.s3;
  const double dw = w1 - w3;
  const double du = u1 - u3;
  const double F_13 = (std::sqrt(dw * dw + du * du) - p.model->refs.lh_free) * par.c_tilt;
  f.min_F_13 = std::fmin(f.min_F_13, F_13);
  f.max_F_13 = std::fmax(f.max_F_13, F_13);
  double F_12 = (p.model->refs.z02_0 - y[ix::Z_02]) * par.c_lift;
  if (F_12 < 0.0) F_12 = 0.0;
  f.max_F_12 = std::fmax(f.max_F_12, F_12);
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
  }
  return "?";
}

Verdict classify(const Summary& s) {
  const Facts& f = s.facts;
  if (s.F_kp_0 && *s.F_kp_0 <= 0.0) return Verdict::tip_over;
  if (f.tip_t) return Verdict::tip_over;
  if (s.outcome != run::Outcome::completed) {
    return f.lift_off_t ? Verdict::tip_over : Verdict::numerical_failure;
  }
  if (f.load_travel > s.thresholds.slide_limit) return Verdict::load_slide;
  if (f.lift_off_t) return Verdict::wheel_lift;
  return Verdict::stable;
}

Summary summarize(const run::RunResult& r, const SummaryObserver& observer) {
  Summary s;
  s.outcome = r.outcome;
  s.error = r.error;
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
  if (r.input_read) {
    for (const params::Param& p : params::all_params()) {
      const double used = params::get(p, r.values);
      const double plain = params::get(p, r.notes.plain);
      if (used != plain) s.changed.emplace_back(std::string(p.name), used);
    }
  }
  s.verdict = classify(s);
  return s;
}

}  // namespace liftsim::results
