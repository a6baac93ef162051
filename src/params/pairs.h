// Files of two numbers per line, the first increasing: road profiles (x, z) and quantities over
// time (t, value).
#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "params/overrides.h"

namespace liftsim::params {

// What the columns of such a file are, for messages: e.g. {"x", "z", "\"x,z\" in metres"}.
struct PairColumns {
  std::string_view first;
  std::string_view second;
  std::string_view described;
};

// Reads the pairs: one per line as "a,b" (numbers as read_number reads them, blanks around
// them), the first strictly increasing. A UTF-8 byte order mark at the start is skipped; empty
// lines and lines starting with '#' are skipped; the first other line is a header when it is not
// two numbers and both of its two fields start with a letter. Fails with a message naming the file
// and line.
std::optional<ParseError> parse_pairs(std::string_view text, std::string_view file_name,
                                      const PairColumns& columns,
                                      std::vector<std::pair<double, double>>& pairs);

}  // namespace liftsim::params
