// Road profile under the truck: flat, or piecewise linear through measured points.
#pragma once

#include <cstddef>
#include <vector>

namespace liftsim::model {

struct RoadPoint {
  double x = 0.0;  // m
  double z = 0.0;  // m
};

// Height of the road surface under an abscissa. Flat (0.0 everywhere) unless built from points:
// then linear between neighbouring points (x strictly increasing) and constant beyond the ends.
class Road {
 public:
  Road() = default;
  // `points`: at least two, finite, x strictly increasing (checked by the caller's parser).
  explicit Road(std::vector<RoadPoint> points) : points_(std::move(points)) {}

  bool flat() const { return points_.empty(); }
  const std::vector<RoadPoint>& points() const { return points_; }

  double z(double x) const {
    if (points_.empty()) return 0.0;
    return profile_z(x);
  }

  // dz/dx under x: the slope of the segment x lies on (of the one to its right at a point of the
  // profile), 0 beyond the ends and on a flat road.
  double slope(double x) const;

 private:
  double profile_z(double x) const;

  std::vector<RoadPoint> points_;
};

}  // namespace liftsim::model
