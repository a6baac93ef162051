// Quantities over time from CSV files: the drive torque and the brake's limit.
#pragma once

#include <optional>
#include <string_view>

#include "model/drive.h"
#include "params/overrides.h"

namespace liftsim::params {

// Parses "t,value" per line as parse_pairs reads them: t in seconds strictly increasing, at least
// one row; `non_negative` refuses values below 0. Fails with a message naming the file.
std::optional<ParseError> parse_series(std::string_view text, std::string_view file_name,
                                       bool non_negative, model::TimeSeries& series);

}  // namespace liftsim::params
