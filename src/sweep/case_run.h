// One case of a sweep or a capacity search: the base case with some values set, run through the
// library and summed up; optionally with all its files kept in a folder of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/road.h"
#include "params/overrides.h"
#include "results/summary.h"
#include "run/legs.h"
#include "sweep/axes.h"
#include "textio/run_error.h"

namespace liftsim::sweep {

// What every case shares: dani.dat's text, the values set for all cases, the road, the limits.
struct BaseCase {
  std::string input_text;
  params::Overrides overrides;
  model::Road road;
  model::Drive drive;
  model::Kind kind = model::Kind::sound;
  run::WorkLimit work;
  results::Thresholds thresholds;
  bool stop_when_decided = true;  // end each run once its verdict cannot change
};

// The largest dani.dat a sweep reads: a run reads 43 records of at most 64 KiB each (2.75 MiB
// with their line ends), so a larger file holds something else.
inline constexpr std::size_t kLargestInput = std::size_t{4} << 20;

// dani.dat of the folder `dir_fd`, whole, into `text`; or the error a run would report: the file
// missing or unreadable, larger than kLargestInput (refused with its size), or the read
// interrupted by `stop`.
std::optional<textio::RunError> read_input_file(int dir_fd, const std::atomic<int>* stop,
                                                std::string& text);

// The values every case starts from: the base case's input read as a run reads it, with the
// values set by name on top (and in `plain`, without them); or the error every case would end
// with (a broken dani.dat).
std::optional<textio::RunError> base_values(const BaseCase& base, params::CaseValues& values,
                                            params::CaseValues* plain = nullptr);

// What a run would refuse in any case of the base case with the axes' values set (each value's
// range, the rules between parameters): the rules between two parameters are monotone (one must
// be later or larger than another), so checking every combination of each axis's smallest and
// largest value checks every case. The message is the one `--set` gives.
std::optional<params::ParseError> check_cases(const BaseCase& base, const std::vector<Axis>& axes);

// Whether the cases can keep their files under `dir`: an existing folder this process may create
// folders in, or a new name in such a folder. Looks only. The message names `--save`.
std::optional<params::ParseError> check_save_folder(const std::string& dir);

// Runs the base case with `varied` set on top; `stop` ends the run early (its summary then
// carries the interrupt, S6600). With a non-empty `save_dir`, the folder is created and gets the
// plain run's report and time histories, case.csv (every output point) and summary.json;
// otherwise no file is touched. A file of the folder that cannot be made or written makes the
// case an error with that file's code and message.
results::Summary run_case(const BaseCase& base, const std::vector<params::Assignment>& varied,
                          const std::string& save_dir = {}, const std::atomic<int>* stop = nullptr);

// The verdict a sweep reports for a case: none for a case that failed on its own files (a folder
// or file of --save that could not be made or written), which says nothing about the truck.
std::optional<results::Verdict> reported_verdict(const results::Summary& s);

// Whether the case was ended by the stop request (its summary is not a result).
bool interrupted(const results::Summary& s);

}  // namespace liftsim::sweep
