#include "results/summary_text.h"

#include <nlohmann/json.hpp>

#include "params/overrides.h"
#include "params/table.h"

namespace liftsim::results {
namespace {

using json = nlohmann::ordered_json;

json optional(const std::optional<double>& v) {
  return v ? json(*v) : json(nullptr);
}

// Extremes over no point at all (a run that ended before its first output point) are null.
json extreme(double v, long points) {
  return points > 0 ? json(v) : json(nullptr);
}

std::string number(double v) {
  return params::shortest(v);
}

std::string maybe(const std::optional<double>& v, const char* unit, const char* none) {
  return v ? number(*v) + " " + unit : std::string(none);
}

}  // namespace

std::string summary_json(const Summary& s) {
  const Facts& f = s.facts;
  const long n = f.points;
  json j;
  j["outcome"] = run::outcome_name(s.outcome);
  j["verdict"] = verdict_name(s.verdict);
  j["model"] = model::kind_name(s.model);
  if (s.error) {
    j["error"] = {{"code", textio::error_code_text(s.error->code)}, {"message", s.error->message}};
  } else {
    j["error"] = nullptr;
  }
  j["t_end"] = s.t_end;
  j["t_reached"] = s.t_reached;
  j["restarts"] = s.restarts;
  j["derivative_calls"] = s.derivative_calls;
  j["output_points"] = s.output_points;
  j["F_kp_0"] = optional(s.F_kp_0);
  j["F_tp_0"] = optional(s.F_tp_0);
  j["min_F_kp"] = extreme(f.min_F_kp, n);
  j["t_min_F_kp"] = extreme(f.t_min_F_kp, n);
  j["lift_off_t"] = optional(f.lift_off_t);
  j["lifted_at_end"] = f.lifted_at_end;
  j["tip_t"] = optional(f.tip_t);
  if (f.out_of_model) {
    j["out_of_model"] = {{"quantity", f.out_of_model->quantity},
                         {"value", f.out_of_model->value},
                         {"limit", f.out_of_model->limit},
                         {"t", f.out_of_model->t}};
  } else {
    j["out_of_model"] = nullptr;
  }
  j["decided_t"] = optional(f.decided_t);
  j["max_abs_Fi_3"] = extreme(f.max_abs_Fi_3, n);
  j["t_max_abs_Fi_3"] = extreme(f.t_max_abs_Fi_3, n);
  j["max_abs_Fi_1"] = extreme(f.max_abs_Fi_1, n);
  j["load_travel"] = extreme(f.load_travel, n);
  j["travel"] = extreme(f.travel, n);
  j["legacy_arm_pitch"] = optional(s.legacy_arm_pitch);
  j["min_F_13"] = extreme(f.min_F_13, n);
  j["max_F_13"] = extreme(f.max_F_13, n);
  j["max_F_12"] = extreme(f.max_F_12, n);
  json changed = json::object();
  for (const auto& [name, value] : s.changed) changed[name] = value;
  j["parameters"] = changed;
  json values = json::array();
  for (const CaseValue& v : s.case_values) {
    const params::Param* p = params::find_param(v.name);
    values.push_back({{"name", v.name},
                      {"value", v.value},
                      {"unit", p != nullptr ? std::string(p->unit) : std::string()},
                      {"source", v.source}});
  }
  j["case"] = {{"values", values},
               {"road", s.labels.road},
               {"drive", s.labels.drive},
               {"brake", s.labels.brake}};
  j["thresholds"] = {{"slide_limit", s.thresholds.slide_limit},
                     {"lift_force", s.thresholds.lift_force}};
  if (s.convergence) {
    const Convergence& c = *s.convergence;
    json figures = json::object();
    for (const FigureChange& f : c.figures) {
      figures[f.name] = {{"value", optional(f.value)},
                         {"tight", optional(f.tight)},
                         {"change", optional(f.change)}};
    }
    j["convergence"] = {{"tol", c.tol},
                        {"h_max", c.h_max},
                        {"verdict", verdict_name(c.verdict)},
                        {"verdict_holds", c.verdict_holds},
                        {"figures", figures}};
  }
  return j.dump(2) + "\n";
}

std::string summary_lines(const Summary& s) {
  const Facts& f = s.facts;
  std::string out;
  auto line = [&out](const std::string& name, const std::string& value) {
    out += name + ": " + value + "\n";
  };
  line("verdict", verdict_name(s.verdict));
  line("model", model::kind_name(s.model));
  line("outcome", std::string(run::outcome_name(s.outcome)) +
                      (s.error ? std::string(" (") + textio::error_code_text(s.error->code) + ": " +
                                     s.error->message + ")"
                               : std::string()));
  line("time reached", number(s.t_reached) + " s of " + number(s.t_end) + " s");
  line("restarts", std::to_string(s.restarts));
  line("derivative calls", std::to_string(s.derivative_calls));
  line("output points", std::to_string(s.output_points));
  line("static steered-wheel force F_kp_0", maybe(s.F_kp_0, "N", "-"));
  line("static traction-wheel force F_tp_0", maybe(s.F_tp_0, "N", "-"));
  if (f.points > 0) {
    line("lowest steered-wheel force", number(f.min_F_kp) + " N at " + number(f.t_min_F_kp) + " s");
    line("steered wheels lifted", f.lift_off_t ? "first at " + number(*f.lift_off_t) + " s" +
                                                     (f.lifted_at_end ? ", still at the end" : "")
                                               : std::string("never"));
    line("tipping (lifted, centre of mass ahead of the traction wheels, pitching forward)",
         maybe(f.tip_t, "s", "never"));
    line("largest body pitch |Fi_3|",
         number(f.max_abs_Fi_3) + " rad at " + number(f.t_max_abs_Fi_3) + " s");
    line("largest mast angle |Fi_1|", number(f.max_abs_Fi_1) + " rad");
    line("load travel along the forks", number(f.load_travel) + " m");
    line("tilt-cylinder force F_13", number(f.min_F_13) + " N to " + number(f.max_F_13) + " N");
    line("largest lift-cylinder force F_12", number(f.max_F_12) + " N");
    line("travel of the truck", number(f.travel) + " m");
  }
  if (f.out_of_model) {
    const OutOfModel& o = *f.out_of_model;
    line("left the model's valid range", o.quantity + " = " + number(o.value) + " (limit " +
                                             number(o.limit) + ") at " + number(o.t) +
                                             " s; nothing after that is a result");
  }
  if (s.legacy_arm_pitch) {
    line("note", "the truck travelled " + number(f.travel) +
                     " m; the legacy model's moment arms grow with the travel, which alone puts "
                     "about " + number(*s.legacy_arm_pitch) +
                     " rad of pitch on the body; --model sound takes the arms from the traction "
                     "axle");
  }
  std::string changed;
  for (const auto& [name, value] : s.changed) {
    changed += (changed.empty() ? "" : ", ") + name + " = " + number(value);
  }
  line("parameters changed", changed.empty() ? "none" : changed);
  std::string read;
  for (const CaseValue& v : s.case_values) {
    if (v.source != "dani.dat") continue;
    const params::Param* p = params::find_param(v.name);
    read += (read.empty() ? "" : ", ") + v.name + " = " + number(v.value) +
            (p != nullptr && p->unit != "1" ? " " + std::string(p->unit) : "");
  }
  line("read from dani.dat", read.empty() ? "nothing" : read);
  line("road, drive, brake", s.labels.road + "; " + s.labels.drive + "; brake " + s.labels.brake);
  if (s.convergence) {
    const Convergence& c = *s.convergence;
    line("again with tol " + number(c.tol) + ", h_max " + number(c.h_max) + " s",
         std::string("verdict ") + verdict_name(c.verdict) +
             (c.verdict_holds ? " (holds)" : " (CHANGED)"));
    for (const FigureChange& f : c.figures) {
      if (f.change) line("  change of " + f.name, number(*f.change));
      else if (f.value.has_value() != f.tight.has_value()) {
        line("  change of " + f.name, (f.value ? number(*f.value) : std::string("none")) +
                                          " -> " + (f.tight ? number(*f.tight) : std::string("none")));
      }
    }
  }
  return out;
}

}  // namespace liftsim::results
