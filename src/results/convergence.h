// How sure an answer is: the same case again with a tenth of the error bound and of the largest
// step, and how each figure of the summary moved.
#pragma once

#include <string>
#include <vector>

#include "results/summary.h"

namespace liftsim::results {

// The tighter run's error bound and largest step: a tenth of those the case used.
inline constexpr double kTighter = 0.1;

Convergence compare(const Summary& base, const Summary& tight, double tol, double h_max);

}  // namespace liftsim::results
