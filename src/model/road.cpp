#include "model/road.h"

#include <algorithm>
#include <cmath>

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
  if (points_.empty() || x < points_.front().x || !(x < points_.back().x)) return gradient_;
  const auto right = std::upper_bound(points_.begin(), points_.end(), x,
                                      [](double v, const RoadPoint& p) { return v < p.x; });
  const RoadPoint& b = *right;
  const RoadPoint& a = *(right - 1);
  return (b.z - a.z) / (b.x - a.x) + gradient_;
}

double Road::arc_length(double x0, double x) const {
  auto stretch = [this](double slope) {
    const double m = slope + gradient_;
    return m == 0.0 ? 1.0 : std::sqrt(1.0 + m * m);
  };
  if (points_.empty()) return (x - x0) * stretch(0.0);
  if (x < x0) return -arc_length(x, x0);
  // Piece by piece between the breaks of the profile that lie between x0 and x.
  double length = 0.0, from = x0;
  for (std::size_t i = 0; i <= points_.size() && from < x; ++i) {
    const double to = i < points_.size() ? std::min(points_[i].x, x) : x;
    if (to <= from) continue;
    double slope = 0.0;
    if (i > 0 && i < points_.size()) {
      slope = (points_[i].z - points_[i - 1].z) / (points_[i].x - points_[i - 1].x);
    }
    length += (to - from) * stretch(slope);
    from = to;
  }
  return length;
}

}  // namespace liftsim::model
