#include "params/series.h"

#include <cctype>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "params/text.h"

namespace liftsim::params {

std::optional<ParseError> parse_series(std::string_view text, std::string_view file_name,
                                       bool non_negative, model::TimeSeries& series) {
  constexpr std::string_view kBlanks = " \t\r";
  std::vector<std::pair<double, double>> points;
  int line_number = 0;
  bool first_content = true;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = trim(text.substr(start, end - start), kBlanks);
    start = end + 1;
    ++line_number;
    if (line.empty() || line.front() == '#') continue;
    const std::string where = std::string(file_name) + ":" + std::to_string(line_number) + ": ";
    const auto comma = line.find(',');
    double t = 0.0, v = 0.0;
    const bool numeric = comma != std::string_view::npos &&
                         parse_decimal(line.substr(0, comma), t, kBlanks) &&
                         parse_decimal(line.substr(comma + 1), v, kBlanks);
    if (!numeric) {
      // A header: the first line that is not a comment, when its fields start with letters.
      const std::string_view a = trim(line.substr(0, comma), kBlanks);
      const bool words = comma != std::string_view::npos && !a.empty() &&
                         std::isalpha(static_cast<unsigned char>(a.front()));
      if (first_content && words) {
        first_content = false;
        continue;
      }
      return ParseError{where + "expected two numbers \"t,value\" (s, then the value), found \"" +
                        std::string(line) + "\""};
    }
    first_content = false;
    if (!std::isfinite(t) || !std::isfinite(v)) return ParseError{where + "the numbers must be finite"};
    if (non_negative && v < 0.0) {
      return ParseError{where + "the value cannot be negative here (" + shortest(v) + ")"};
    }
    if (!points.empty() && !(t > points.back().first)) {
      return ParseError{where + "t must increase from line to line (t = " + shortest(t) +
                        " after " + shortest(points.back().first) + ")"};
    }
    points.emplace_back(t, v);
  }
  if (points.empty()) return ParseError{std::string(file_name) + ": no rows \"t,value\""};
  series = model::TimeSeries(std::move(points));
  return std::nullopt;
}

}  // namespace liftsim::params
