// The load-capacity chart: for a load height, the largest load mass whose run is stable and the
// largest that does not tip over, over a range of masses.
#pragma once

#include <atomic>
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
  std::optional<double> mass;      // kg; none when no mass of the range qualifies, or all do
  std::optional<double> min_F_kp;  // N: the lowest steered-wheel force of the run at that mass
  // "" or what the search saw: "below_range" (no mass of the coarse scan qualifies),
  // "above_range" (the heaviest qualifies), and masses below the capacity that do not qualify,
  // as "load_slide at 200-300 kg" (the verdict changes more than once over the range); and
  // "limited by out_of_model at 555 kg" when the first mass above the capacity fails otherwise
  // than by lifting or tipping (the load leaves the forks or slides, the run fails).
  std::string note;
  // With convergence checks: the capacity found again with a tenth of the error bound and of the
  // largest step, less this one (kg); none when the tighter search found no capacity either.
  std::optional<double> shift;
};

struct CapacityRow {
  double height = 0.0;
  std::optional<double> across;  // the second parameter's value, for a chart drawn across one
  Capacity stable;  // largest mass whose verdict is stable
  Capacity no_tip;  // largest mass that neither tips over nor leaves the model nor fails
  int runs = 0;
};

struct CapacityOptions {
  bool convergence = false;  // check each capacity with a tenth of tol and h_max
  // Ends the search early, between runs and inside the one under way; the row is then not found.
  const std::atomic<int>* stop = nullptr;
};

// Searches at one height (the value of `height_param`, normally zc_4). A coarse scan of the range
// finds the largest mass of the scan that qualifies and the next one that does not; between
// them a bracketing search on the run's margin (the lowest steered-wheel force for a wheel that
// lifts, the load's travel for a load that slides) narrows to the resolution, each step a real
// run, and the two masses that end it were run: the capacity qualifies, one resolution more does
// not. A verdict that changes more than once between two masses of the scan is not seen. None
// when the stop request ended the search.
std::optional<CapacityRow> find_capacity(const BaseCase& base, const params::Param& height_param,
                                         double height, const MassRange& range,
                                         const CapacityOptions& options = {});

// What a run would refuse in any search of the range (0 < LO < HI, a resolution that gives at
// most a billion masses); the message is the command line's.
std::optional<params::ParseError> check_mass_range(const MassRange& range);

}  // namespace liftsim::sweep
