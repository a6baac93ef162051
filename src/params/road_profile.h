// Road profiles from CSV files: "x,z" per line in metres, x strictly increasing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/road.h"
#include "params/overrides.h"

namespace liftsim::params {

// Parses a profile: one point per line as "x,z" (numbers as read_number reads them), x strictly
// increasing, at least two points. A UTF-8 byte order mark at the start is skipped; so are empty
// lines and lines starting with '#'. The first other line is a header when it is not two numbers
// and both of its two fields start with a letter (any character beyond ASCII counts as one). Lines
// end in LF or CR LF. Fails with a message naming the file and, where one line is at fault, that
// line.
std::optional<ParseError> parse_road(std::string_view text, std::string_view file_name,
                                     model::Road& road);

}  // namespace liftsim::params
