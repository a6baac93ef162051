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
// A gradient adds gradient·x to either (a tilted table: the profile on a slope).
class Road {
 public:
  Road() = default;
  // `points`: at least two, finite, x strictly increasing (checked by the caller's parser).
  explicit Road(std::vector<RoadPoint> points) : points_(std::move(points)) {}

  // The same road tilted: dz/dx grows by `gradient` everywhere.
  Road tilted(double gradient) const {
    Road r = *this;
    r.gradient_ = gradient;
    return r;
  }

  bool flat() const { return points_.empty() && gradient_ == 0.0; }
  const std::vector<RoadPoint>& points() const { return points_; }
  double gradient() const { return gradient_; }

  double z(double x) const {
    const double profile = points_.empty() ? 0.0 : profile_z(x);
    if (gradient_ == 0.0) return profile;
    return profile + gradient_ * x;
  }

  // dz/dx under x: the slope of the segment x lies on (of the one to its right at a point of the
  // profile), 0 beyond the ends and on a flat road, plus the gradient.
  double slope(double x) const;

  // The length along the road surface from under x0 to under x (negative when x < x0): how far a
  // wheel rolls while its axle moves from x0 to x.
  double arc_length(double x0, double x) const;

 private:
  double profile_z(double x) const;

  std::vector<RoadPoint> points_;
  double gradient_ = 0.0;
};

}  // namespace liftsim::model
