#include "params/road_profile.h"

#include <vector>

#include "params/pairs.h"

namespace liftsim::params {

std::optional<ParseError> parse_road(std::string_view text, std::string_view file_name,
                                     model::Road& road) {
  std::vector<std::pair<double, double>> pairs;
  if (auto bad = parse_pairs(text, file_name, {"x", "z", "\"x,z\" in metres"}, pairs)) return bad;
  if (pairs.size() < 2) {
    return ParseError{std::string(file_name) + ": a road profile needs at least two points"};
  }
  std::vector<model::RoadPoint> points;
  for (const auto& [x, z] : pairs) points.push_back({x, z});
  road = model::Road(std::move(points));
  return std::nullopt;
}

}  // namespace liftsim::params
