#include "model/road.h"

#include <algorithm>

namespace liftsim::model {

double Road::profile_z(double x) const {
  if (!(x > points_.front().x)) return points_.front().z;
  if (!(x < points_.back().x)) return points_.back().z;
  // The first point right of x; its left neighbour exists because x is above the first point.
  const auto right = std::upper_bound(points_.begin(), points_.end(), x,
                                      [](double v, const RoadPoint& p) { return v < p.x; });
  const RoadPoint& b = *right;
  const RoadPoint& a = *(right - 1);
  return a.z + (b.z - a.z) * ((x - a.x) / (b.x - a.x));
}

double Road::slope(double x) const {
  if (points_.empty() || x < points_.front().x || !(x < points_.back().x)) return 0.0;
  const auto right = std::upper_bound(points_.begin(), points_.end(), x,
                                      [](double v, const RoadPoint& p) { return v < p.x; });
  const RoadPoint& b = *right;
  const RoadPoint& a = *(right - 1);
  return (b.z - a.z) / (b.x - a.x);
}

}  // namespace liftsim::model
