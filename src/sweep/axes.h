// The cases of a sweep: parameters varied over ranges or lists, combined as a Cartesian product.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "params/overrides.h"

namespace liftsim::sweep {

// One varied parameter and its values, in order.
struct Axis {
  const params::Param* param = nullptr;
  std::vector<double> values;
};

// "NAME=FROM:TO:STEP" (FROM, FROM + STEP, ... up to TO, which is included when the steps reach
// it within a millionth of a step) or "NAME=V1,V2,...". Every value is checked against the
// parameter's range. Fails with a message for the user.
std::optional<params::ParseError> parse_axis(std::string_view text, Axis& axis);

// `value`, one of FROM + k·STEP of a range, rounded to 15 significant digits of the range's
// scale (the largest of |FROM|, |TO|, STEP) when that moves it by less than a millionth of a
// step: 0:0.3:0.1 runs 0.3, not the 0.30000000000000004 the binary sum gives.
double decimal(double value, double step, double scale);

// The cases in order: the first axis varies slowest, the last fastest, as nested loops in the
// order the axes were given. Case i's values, one per axis.
class CaseGrid {
 public:
  explicit CaseGrid(std::vector<Axis> axes);
  std::int64_t size() const { return size_; }
  const std::vector<Axis>& axes() const { return axes_; }
  void values(std::int64_t index, std::vector<double>& out) const;

 private:
  std::vector<Axis> axes_;
  std::int64_t size_ = 1;
};

// The part of a sweep one machine runs: every case whose index i has i mod count = index - 1.
struct Shard {
  int index = 1;  // 1-based
  int count = 1;
  bool contains(std::int64_t i) const { return i % count == index - 1; }
};
std::optional<params::ParseError> parse_shard(std::string_view text, Shard& shard);

// The largest number of cases a sweep may have.
inline constexpr std::int64_t kMostCases = 100'000'000;

}  // namespace liftsim::sweep
