// The sweep and capacity result files: header, rows, resuming a file cut short, merging shards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/overrides.h"
#include "results/summary.h"
#include "sweep/axes.h"

namespace liftsim::sweep {

// "case,<varied names>,outcome,verdict,t_reached,min_F_kp,t_min_F_kp,lift_off_t,max_abs_Fi_3,
//  load_travel,restarts,derivative_calls,error" and a line feed.
std::string sweep_header(const std::vector<Axis>& axes);

// One case's row: the case index, its varied values and the summary's fields (empty where the
// summary has no value), ending in a line feed.
std::string sweep_row(std::int64_t index, const std::vector<double>& values,
                      const results::Summary& s);

// An existing result file to continue: its rows must follow `header` and be numbered (first
// field) as `expected` lists them, in order. Returns the number of whole rows, the byte length
// they take (a cut last line is not counted), or a message for the user.
struct Resumable {
  std::int64_t rows = 0;
  std::uint64_t bytes = 0;
};
std::optional<params::ParseError> check_resumable(const std::string& text,
                                                  const std::string& header,
                                                  const std::vector<std::int64_t>& expected,
                                                  Resumable& out);

// Merges shard files (same header, rows numbered by the first field, each file in increasing
// order) into one file in row order, checking that the numbers run 0, 1, 2, ... without a gap or
// a repeat, and, when `cases` is given, that there are that many (a shard cut short at its end
// leaves no gap to see).
std::optional<params::ParseError> merge_files(const std::vector<std::string>& texts,
                                              const std::vector<std::string>& names,
                                              std::string& merged,
                                              std::optional<std::int64_t> cases = std::nullopt);

}  // namespace liftsim::sweep
