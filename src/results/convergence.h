// How sure an answer is: the same case again with a tenth of the error bound and of the largest
// step, and how each figure of the summary moved.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/summary.h"
#include "run/simulation.h"
#include "textio/run_error.h"

namespace liftsim::results {

// The tighter run's error bound and largest step: a tenth of those the case used.
inline constexpr double kTighter = 0.1;

Convergence compare(const Summary& base, const Summary& tight, double tol, double h_max);

// Runs the case of `plan` again, touching no file, with a tenth of the error bound and of the
// largest step that `ran` used, summed up under the same verdict options, and sets
// `summary.convergence` from the comparison. A stop request that ends the tighter run comes back
// as its error, and the summary is left without a convergence.
std::optional<textio::RunError> add_convergence(const run::RunPlan& plan, const run::RunResult& ran,
                                                Thresholds thresholds, bool stop_when_decided,
                                                Summary& summary);

}  // namespace liftsim::results
