// The bundled example's input, compiled into the library: a run or a listing can start from the
// example's values without a file.
#pragma once

#include <string_view>

namespace liftsim::examples {

std::string_view dani_dat();  // the bytes of examples/dani.dat

}  // namespace liftsim::examples
