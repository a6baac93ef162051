// The run summary written out: JSON for tools, short lines with units for people.
#pragma once

#include <string>

#include "results/summary.h"

namespace liftsim::results {

// One JSON object (pretty-printed, ending in a line feed). Times in s, forces in N, angles in
// rad, lengths in m; absent values are null.
std::string summary_json(const Summary& s);

// The same facts as lines "name: value unit".
std::string summary_lines(const Summary& s);

}  // namespace liftsim::results
