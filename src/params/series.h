// Quantities over time from CSV files: the drive torque and the brake's limit.
#pragma once

#include <optional>
#include <string_view>

#include "model/drive.h"
#include "params/overrides.h"

namespace liftsim::params {

// Parses "t,value" per line (blanks allowed around the numbers): t in seconds strictly
// increasing, at least one row, every number finite; `non_negative` refuses values below 0. An
// optional first line that is not numeric is a header; empty lines and lines starting with '#'
// are skipped. Fails with a message naming the file and line.
std::optional<ParseError> parse_series(std::string_view text, std::string_view file_name,
                                       bool non_negative, model::TimeSeries& series);

}  // namespace liftsim::params
