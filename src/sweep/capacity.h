// The load-capacity chart: for a load height, the largest load mass that stays stable and the
// largest that does not tip, found by bisection over a mass range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sweep/case_run.h"

namespace liftsim::sweep {

// The masses searched are lo + k·resolution, k = 0, 1, ... up to the last one not above hi.
struct MassRange {
  double lo = 1.0;
  double hi = 5000.0;
  double resolution = 1.0;
};

struct Capacity {
  std::optional<double> mass;  // kg; none when the range does not bracket a change
  std::string note;            // "", "below_range" (not even lo qualifies), "above_range"
};

struct CapacityRow {
  double height = 0.0;
  Capacity stable;  // largest mass whose verdict is stable
  Capacity no_tip;  // largest mass whose verdict is not tip_over
  int runs = 0;
};

// Searches at one height (the value of `height_param`, normally zc_4); assumes each verdict
// changes once inside the range.
CapacityRow find_capacity(const BaseCase& base, const params::Param& height_param, double height,
                          const MassRange& range);

// "case,<height name>,capacity_stable,capacity_no_tip,stable_note,no_tip_note,runs".
std::string capacity_header(const params::Param& height_param);
std::string capacity_row(std::int64_t index, const CapacityRow& row);

}  // namespace liftsim::sweep
