// What turns and holds the traction-wheel shaft: the engine law, or a torque given over time, and a
// brake.
#pragma once

#include <utility>
#include <vector>

namespace liftsim::model {

// A quantity given at increasing times: linear between them, constant before the first and after
// the last. Empty: none given.
class TimeSeries {
 public:
  TimeSeries() = default;
  // `points`: (time, value) pairs, at least one, finite, times strictly increasing (checked by the
  // caller's parser).
  explicit TimeSeries(std::vector<std::pair<double, double>> points) : points_(std::move(points)) {}
  bool empty() const { return points_.empty(); }
  const std::vector<std::pair<double, double>>& points() const { return points_; }
  double at(double t) const;

 private:
  std::vector<std::pair<double, double>> points_;
};

struct Drive {
  // Torque on the wheel shaft, N·m, positive driving the truck towards the forks. Empty: the
  // engine law through the transmission.
  TimeSeries torque;
  // The brake on the traction wheels: the largest torque it can hold, N·m, over time; `hold`: a
  // brake that holds whatever it takes, from the start.
  TimeSeries brake;
  bool hold = false;

  bool engine_law() const { return torque.empty(); }
  bool braked() const { return hold || !brake.empty(); }
};

}  // namespace liftsim::model
