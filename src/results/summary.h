// The run summary: extremes and events over every output point, and the stability verdict.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/step_output.h"
#include "run/simulation.h"

namespace liftsim::results {

// Thresholds of the verdict.
struct Thresholds {
  double slide_limit = 0.05;  // m: largest load travel along the forks that still counts as held
  double lift_force = 0.0;    // N: a steered-wheel force at or below it counts as lifted
};

// What the output points showed, gathered point by point.
struct Facts {
  long points = 0;
  double min_F_kp = std::numeric_limits<double>::infinity();
  double t_min_F_kp = 0.0;
  std::optional<double> lift_off_t;  // first point with the steered wheels lifted
  bool lifted_at_end = false;
  std::optional<double> tip_t;  // first lifted point with the centre of mass ahead of the axle
  double max_abs_Fi_3 = 0.0, t_max_abs_Fi_3 = 0.0;
  double max_abs_Fi_1 = 0.0;
  double X_C4_0 = 0.0;
  double load_travel = 0.0;
  double min_F_13 = std::numeric_limits<double>::infinity();
  double max_F_13 = -std::numeric_limits<double>::infinity();
  double max_F_12 = -std::numeric_limits<double>::infinity();
};

// Watches every output point. Cheap: it reuses what the model published for the point.
class SummaryObserver : public output::PointObserver {
 public:
  explicit SummaryObserver(Thresholds thresholds = {}) : thresholds_(thresholds) {}
  void on_point(const output::OutputPoint& point) override;
  const Facts& facts() const { return facts_; }
  const Thresholds& thresholds() const { return thresholds_; }

 private:
  Thresholds thresholds_;
  Facts facts_;
};

enum class Verdict { stable, wheel_lift, tip_over, load_slide, numerical_failure };
const char* verdict_name(Verdict v);

struct Summary {
  run::Outcome outcome = run::Outcome::completed;
  std::optional<textio::RunError> error;
  double t_end = 0.0;
  double t_reached = 0.0;
  int restarts = 0;
  long derivative_calls = 0;
  long output_points = 0;
  std::optional<double> F_kp_0, F_tp_0;  // statics, when they were reached
  Facts facts;
  Thresholds thresholds;
  std::vector<std::pair<std::string, double>> changed;  // parameters set to other values
  Verdict verdict = Verdict::numerical_failure;
};

// The verdict, from the first rule that holds:
//   tip_over           the statics find no load on the steered wheels; or at some output point
//                      the steered wheels are lifted while the centre of mass of truck and load
//                      lies ahead of the traction axle; or the run failed after a lift-off;
//   numerical_failure  the run failed (an error or stalled restarts) with no lift-off before it;
//   load_slide         the load travelled along the forks by more than the slide limit;
//   wheel_lift         the steered wheels left the road at some output point;
//   stable             otherwise: end time reached, wheels on the road, load held.
Verdict classify(const Summary& s);

Summary summarize(const run::RunResult& result, const SummaryObserver& observer);

}  // namespace liftsim::results
