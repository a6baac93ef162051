// One case of a sweep or a capacity search: the base case with some values set, run through the
// library and summed up; optionally with all its files kept in a folder of its own.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "model/road.h"
#include "params/overrides.h"
#include "results/summary.h"
#include "run/legs.h"
#include "sweep/axes.h"

namespace liftsim::sweep {

// What every case shares: dani.dat's text, the values set for all cases, the road, the limits.
struct BaseCase {
  std::string input_text;
  params::Overrides overrides;
  model::Road road;
  model::Kind kind = model::Kind::sound;
  run::WorkLimit work;
  results::Thresholds thresholds;
  bool stop_when_decided = true;  // end each run once its verdict cannot change
};

// What a run would refuse in any case of the base case with the axes' values set (each value's
// range, the rules between parameters): the rules between two parameters are monotone (one must
// be later or larger than another), so checking every combination of each axis's smallest and
// largest value checks every case. The message is the one `--set` gives.
std::optional<params::ParseError> check_cases(const BaseCase& base, const std::vector<Axis>& axes);

// Runs the base case with `varied` set on top. With a non-empty `save_dir`, the folder is created
// and gets the plain run's report and time histories, case.csv (every output point) and
// summary.json; otherwise no file is touched.
results::Summary run_case(const BaseCase& base, const std::vector<params::Assignment>& varied,
                          const std::string& save_dir = {});

}  // namespace liftsim::sweep
