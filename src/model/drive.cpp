#include "model/drive.h"

#include <algorithm>

namespace liftsim::model {

double TimeSeries::at(double t) const {
  if (points_.empty()) return 0.0;
  if (!(t > points_.front().first)) return points_.front().second;
  if (!(t < points_.back().first)) return points_.back().second;
  const auto right = std::upper_bound(points_.begin(), points_.end(), t,
                                      [](double v, const auto& p) { return v < p.first; });
  const auto& [tb, vb] = *right;
  const auto& [ta, va] = *(right - 1);
  return va + (vb - va) * ((t - ta) / (tb - ta));
}

}  // namespace liftsim::model
