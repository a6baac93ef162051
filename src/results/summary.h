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

// Where the model means something. Beyond these the equations still produce numbers (a tyre
// pushed through the road keeps pushing, a load beyond the fork tips keeps sliding on forks that
// are not there, angles of whole turns), but they describe no truck.
struct ValidRange {
  double max_angle = 0.5;  // rad (28.6 degrees): mast angle |Fi_1| and body pitch |Fi_3|
  // Also, from the truck's own parameters: a tyre's deflection below its radius; a wheel no more
  // than its radius above the road; the load's place X_C4 on the forks, 0..l_fork.
};

// The first quantity that left the valid range.
struct OutOfModel {
  std::string quantity;  // e.g. "Fi_3", "X_C4"
  double value = 0.0;
  double limit = 0.0;
  double t = 0.0;
};

// What the output points showed, gathered point by point up to the point where the verdict was
// decided (a certain tip-over, or the state leaving the model's valid range); later points are
// not results.
struct Facts {
  long points = 0;
  double min_F_kp = std::numeric_limits<double>::infinity();
  double t_min_F_kp = 0.0;
  double max_F_kp = 0.0;
  std::optional<double> lift_off_t;  // first point with the steered wheels lifted
  bool lifted_at_end = false;
  // First point at which the truck was certainly tipping over: steered wheels lifted, the centre
  // of mass of truck and load ahead of the traction wheels' contact with the road, and the body
  // pitching further forward.
  std::optional<double> tip_t;
  std::optional<OutOfModel> out_of_model;
  double max_abs_Fi_3 = 0.0, t_max_abs_Fi_3 = 0.0;
  double max_abs_Fi_1 = 0.0;
  double X_C4_0 = 0.0;
  double load_travel = 0.0;
  double X_013_0 = 0.0;
  double travel = 0.0;  // largest |X_01.3 - X_01.3(t_start)|: how far the truck moved
  double min_F_13 = std::numeric_limits<double>::infinity();
  double max_F_13 = -std::numeric_limits<double>::infinity();
  double max_F_12 = -std::numeric_limits<double>::infinity();
  std::optional<double> decided_t;  // when tip_t or out_of_model decided the verdict
};

// Watches every output point. Cheap: it reuses what the model published for the point. With
// `end_when_decided` it asks the run to end once the verdict cannot change any more.
class SummaryObserver : public output::PointObserver {
 public:
  explicit SummaryObserver(Thresholds thresholds = {}, bool end_when_decided = false)
      : thresholds_(thresholds), end_when_decided_(end_when_decided) {}
  void on_point(const output::OutputPoint& point) override;
  bool finished() const override { return end_when_decided_ && facts_.decided_t.has_value(); }
  const Facts& facts() const { return facts_; }
  const Thresholds& thresholds() const { return thresholds_; }

 private:
  Thresholds thresholds_;
  bool end_when_decided_;
  Facts facts_;
};

enum class Verdict { stable, wheel_lift, tip_over, load_slide, numerical_failure, out_of_model };
const char* verdict_name(Verdict v);

// How a figure of the summary moved when the case ran again with a tenth of the error bound and
// of the largest step (see convergence.h).
struct FigureChange {
  std::string name;  // as in the summary, e.g. "min_F_kp"
  std::optional<double> value, tight;
  std::optional<double> change;  // tight - value, when both exist
};

struct Convergence {
  double tol = 0.0, h_max = 0.0;  // of the tighter run
  Verdict verdict = Verdict::stable;
  bool verdict_holds = true;
  std::vector<FigureChange> figures;
};

// A value of the case the summary states: read from the input, or set to another value than a
// run without values set by name would use.
struct CaseValue {
  std::string name;
  double value = 0.0;
  std::string source;  // "dani.dat" or "set"
};

struct Summary {
  run::Outcome outcome = run::Outcome::completed;
  std::optional<textio::RunError> error;
  model::Kind model = model::Kind::legacy;
  double t_end = 0.0;
  double t_reached = 0.0;
  int restarts = 0;
  long derivative_calls = 0;
  long output_points = 0;
  std::optional<double> F_kp_0, F_tp_0;  // statics, when they were reached
  Facts facts;
  Thresholds thresholds;
  std::vector<std::pair<std::string, double>> changed;  // parameters set to other values
  std::vector<CaseValue> case_values;                   // read from dani.dat, then those set
  run::RunPlan::Labels labels;                          // road, drive, brake
  // For the legacy model: the body pitch that the travel alone puts into the moment balance, when
  // it is large enough to matter (see legacy_arm_pitch).
  std::optional<double> legacy_arm_pitch;
  Verdict verdict = Verdict::numerical_failure;
  std::optional<Convergence> convergence;  // when asked for
};

// The verdict, from the first rule that holds:
//   tip_over           the statics find no load on the steered wheels; or the truck was
//                      certainly tipping over (Facts::tip_t) before the state left the model; or
//                      the run failed after a lift-off;
//   out_of_model       the state left the model's valid range;
//   numerical_failure  the run failed (an error or used up its work) with no lift-off before it;
//   load_slide         the load travelled along the forks by more than the slide limit;
//   wheel_lift         the steered wheels left the road at some output point;
//   stable             otherwise: end time reached, wheels on the road, load held.
Verdict classify(const Summary& s);

// The pitch, in rad, that the legacy model's global moment arms add by the travel alone: the
// travel times the largest steered-wheel force, a moment no physics puts on the body, over the
// body's pitch stiffness on its steered tyres (c_ks·L_b²). Worth a word when above 1 mrad.
double legacy_arm_pitch(const Facts& f, const model::Par& par);
inline constexpr double kLegacyArmNote = 1e-3;

Summary summarize(const run::RunResult& result, const SummaryObserver& observer);

}  // namespace liftsim::results
