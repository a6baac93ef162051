// A case as the package hands it over, for a run or as the base case of a study: a dict of plain
// values (it pickles, so a study's base case travels to other processes as it is) checked and
// turned into the library's values. Everything wrong raises ValueError with the command line's
// message before anything runs.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/road.h"
#include "params/overrides.h"
#include "results/summary.h"
#include "run/legs.h"
#include "run/simulation.h"
#include "sweep/case_run.h"
#include "textio/run_error.h"

namespace liftsim::python {

namespace py = pybind11;

struct CaseArgs {
  params::Overrides overrides;
  std::string input_text;  // dani.dat's text: the one given, or the bundled example's
  model::Road road;
  model::Drive drive;
  run::RunPlan::Labels labels;
  model::Kind kind = model::Kind::legacy;
  run::WorkLimit work;
  results::Thresholds thresholds;
  bool stop_when_decided = false;
};

// The dict's keys: "assignments" (NAME=VALUE texts), "input" (bytes or None), "road" (None or
// (text, name)), "drive" (None, "off" or (text, name)), "brake" (None, "hold" or (text, name)),
// "model" ("legacy" or "sound"), "work_limit" (None or a count), "slide_limit", "lift_force",
// "stop_when_decided".
CaseArgs case_args(const py::dict& c);

// The values set by name, checked as the command line checks --set.
params::Overrides parse_assignments(const std::vector<std::string>& assignments);

// The study's base case of these values.
sweep::BaseCase base_case(const CaseArgs& a);

// A run failure's report in one line: "F6103 READ(dani.dat): message".
std::string report_line(const textio::RunError& e);

// None, or (code, message, statement, file).
py::object error_tuple(const std::optional<textio::RunError>& e);

}  // namespace liftsim::python
