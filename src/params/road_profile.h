// Road profiles from CSV files: "x,z" per line in metres, x strictly increasing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/road.h"
#include "params/overrides.h"

namespace liftsim::params {

// Parses a profile: one point per line as "x,z" (blanks allowed around the numbers), x strictly
// increasing, at least two points, every number finite. An optional first line that is not
// numeric is a header; empty lines and lines starting with '#' are skipped. Fails with a message
// naming the file and line.
std::optional<ParseError> parse_road(std::string_view text, std::string_view file_name,
                                     model::Road& road);

}  // namespace liftsim::params
