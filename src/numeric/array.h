// Conversion of a column-major matrix between packed storage and the corner of a larger area.
#pragma once

namespace liftsim::numeric {

// mode ≤ 1: expand `packed` (column length nr) into `framed` (column length fr), backwards;
// mode ≥ 2: pack `framed` into `packed`, forwards. The two may be the same storage.
void Array(int mode, int nr, int nc, int fr, int fc, double* packed, double* framed);

}  // namespace liftsim::numeric
