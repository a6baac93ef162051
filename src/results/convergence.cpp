#include "results/convergence.h"

namespace liftsim::results {
namespace {

// The figures of a summary that a tighter run can move, by name.
std::vector<std::pair<const char*, std::optional<double>>> figures(const Summary& s) {
  const Facts& f = s.facts;
  auto extreme = [&f](double v) { return f.points > 0 ? std::optional<double>(v) : std::nullopt; };
  return {{"t_reached", s.t_reached},
          {"min_F_kp", extreme(f.min_F_kp)},
          {"t_min_F_kp", extreme(f.t_min_F_kp)},
          {"lift_off_t", f.lift_off_t},
          {"tip_t", f.tip_t},
          {"max_abs_Fi_3", extreme(f.max_abs_Fi_3)},
          {"max_abs_Fi_1", extreme(f.max_abs_Fi_1)},
          {"load_travel", extreme(f.load_travel)},
          {"travel", extreme(f.travel)},
          {"min_F_13", extreme(f.min_F_13)},
          {"max_F_13", extreme(f.max_F_13)},
          {"max_F_12", extreme(f.max_F_12)}};
}

}  // namespace

Convergence compare(const Summary& base, const Summary& tight, double tol, double h_max) {
  Convergence c;
  c.tol = tol;
  c.h_max = h_max;
  c.verdict = tight.verdict;
  c.verdict_holds = tight.verdict == base.verdict;
  const auto a = figures(base), b = figures(tight);
  for (std::size_t i = 0; i < a.size(); ++i) {
    FigureChange f{a[i].first, a[i].second, b[i].second, std::nullopt};
    if (f.value && f.tight) f.change = *f.tight - *f.value;
    c.figures.push_back(std::move(f));
  }
  return c;
}

std::optional<textio::RunError> add_convergence(const run::RunPlan& plan, const run::RunResult& ran,
                                                Thresholds thresholds, bool stop_when_decided,
                                                Summary& summary) {
  run::RunPlan tight;
  tight.dir_fd = plan.dir_fd;
  tight.legacy_files = false;
  tight.input_text = plan.input_text;
  tight.overrides = plan.overrides;
  tight.road = plan.road;
  tight.kind = plan.kind;
  tight.drive = plan.drive;
  tight.work = plan.work;
  tight.stop = plan.stop;
  const double tol = ran.values.prmt[3] * kTighter;
  const double h_max = ran.values.prmt[2] * kTighter;
  tight.overrides.set(*params::find_param("tol"), tol);
  tight.overrides.set(*params::find_param("h_max"), h_max);
  SummaryObserver tight_summary(thresholds, stop_when_decided);
  tight.observers.push_back(&tight_summary);
  const run::RunResult tight_result = run::simulate(tight);
  if (tight_result.error && tight_result.error->code == textio::ErrorCode::S6600) {
    return tight_result.error;
  }
  summary.convergence = compare(summary, summarize(tight_result, tight_summary), tol, h_max);
  return std::nullopt;
}

}  // namespace liftsim::results
