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
  Axis() = default;
  Axis(const params::Param* p, std::vector<double> v, std::string t = {})
      : param(p), values(std::move(v)), text(std::move(t)) {}

  const params::Param* param = nullptr;
  std::vector<double> values;
  // The values as given, "NAME=FROM:TO:STEP" or "NAME=V1,V2,..." with every number in its
  // shortest round-trip form, so that parse_axis gives the same values again; empty for an axis
  // built from values (axis_text then lists them).
  std::string text;
};

// The axis as parse_axis reads it back: its text, or NAME=V1,V2,... of its values.
std::string axis_text(const Axis& axis);

// "NAME=FROM:TO:STEP" (FROM, FROM + STEP, ... up to TO, which is included when the steps reach
// it within a millionth of a step) or "NAME=V1,V2,...". Every value is checked against the
// parameter's range. Fails with a message for the user.
std::optional<params::ParseError> parse_axis(std::string_view text, Axis& axis);

// `value`, one of FROM + k·STEP of a range, rounded to 15 significant digits of the range's
// scale (the largest of |FROM|, |TO|, STEP) when that moves it by less than a millionth of a
// step: 0:0.3:0.1 runs 0.3, not the 0.30000000000000004 the binary sum gives.
double decimal(double value, double step, double scale);

// The number of cases of the axes' Cartesian product; kMostCases + 1 for any number above it.
std::int64_t case_count(const std::vector<Axis>& axes);

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
// Its cases are computed from their position in it, never listed.
struct Shard {
  int index = 1;  // 1-based
  int count = 1;
  bool contains(std::int64_t i) const { return i % count == index - 1; }
  // How many of the cases 0 .. total - 1 it holds.
  std::int64_t size(std::int64_t total) const {
    return total < index ? 0 : (total - index) / count + 1;
  }
  // The case at `position` (0-based) among its own.
  std::int64_t at(std::int64_t position) const { return index - 1 + position * count; }
};
std::optional<params::ParseError> parse_shard(std::string_view text, Shard& shard);

// The largest number of cases a sweep may have.
inline constexpr std::int64_t kMostCases = 100'000'000;

}  // namespace liftsim::sweep
