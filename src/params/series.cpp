#include "params/series.h"

#include <string>
#include <utility>
#include <vector>

#include "params/pairs.h"

namespace liftsim::params {

std::optional<ParseError> parse_series(std::string_view text, std::string_view file_name,
                                       bool non_negative, model::TimeSeries& series) {
  std::vector<std::pair<double, double>> pairs;
  if (auto bad = parse_pairs(text, file_name, {"t", "value", "\"t,value\" (s, then the value)"},
                             pairs)) {
    return bad;
  }
  if (pairs.empty()) return ParseError{std::string(file_name) + ": no rows \"t,value\""};
  if (non_negative) {
    for (const auto& [t, v] : pairs) {
      if (v < 0.0) {
        return ParseError{std::string(file_name) + ": the value at t = " + shortest(t) +
                          " s cannot be negative (" + shortest(v) + ")"};
      }
    }
  }
  series = model::TimeSeries(std::move(pairs));
  return std::nullopt;
}

}  // namespace liftsim::params
