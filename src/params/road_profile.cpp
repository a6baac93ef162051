#include "params/road_profile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "params/text.h"

namespace liftsim::params {
namespace {

// Blanks of a line, the CR of a CR LF line end among them.
constexpr std::string_view kLineBlanks = " \t\r";

bool number(std::string_view text, double& value) {
  return read_number(trim(text, kLineBlanks), value) == NumberRead::ok;
}

}  // namespace

std::optional<ParseError> parse_road(std::string_view text, std::string_view file_name,
                                     model::Road& road) {
  std::vector<model::RoadPoint> points;
  int line_number = 0;
  bool first_content = true;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = trim(text.substr(start, end - start), kLineBlanks);
    start = end + 1;
    ++line_number;
    if (line.empty() || line.front() == '#') continue;
    const std::string where = std::string(file_name) + ":" + std::to_string(line_number) + ": ";
    const auto comma = line.find(',');
    model::RoadPoint p;
    const bool numeric = comma != std::string_view::npos && number(line.substr(0, comma), p.x) &&
                         number(line.substr(comma + 1), p.z);
    if (!numeric) {
      // A first line with words in it is a header row; anything else that is not two numbers is
      // a mistake, also on the first line.
      const bool words = std::any_of(line.begin(), line.end(), [](char ch) {
        return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
      });
      if (first_content && words && line.find_first_of("eE") != 0) {
        first_content = false;
        continue;
      }
      return ParseError{where + "expected two numbers \"x,z\" (metres), found \"" +
                        std::string(line) + "\""};
    }
    first_content = false;
    if (!std::isfinite(p.x) || !std::isfinite(p.z)) {
      return ParseError{where + "the numbers must be finite"};
    }
    if (!points.empty() && !(p.x > points.back().x)) {
      return ParseError{where + "x must increase from line to line (x = " + shortest(p.x) +
                        " after " + shortest(points.back().x) + ")"};
    }
    points.push_back(p);
  }
  if (points.size() < 2) {
    return ParseError{std::string(file_name) + ": a road profile needs at least two points"};
  }
  road = model::Road(std::move(points));
  return std::nullopt;
}

}  // namespace liftsim::params
