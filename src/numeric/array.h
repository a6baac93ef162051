// Conversion of a column-major matrix between packed storage and the corner of a larger area.
#pragma once

namespace liftsim::numeric {

// Moves an nr×nc matrix between `packed` (column length nr) and the upper left corner of a
// framed fr×fc area (column length fr); elements are copied bit for bit.
// mode ≤ 1 expands packed into framed, walking backwards from the last element; mode ≥ 2 packs
// framed into packed, walking forwards. Either direction works when both name the same storage.
// Framed entries outside the corner, and packed entries beyond nr·nc, are left untouched.
// Requires nr ≤ fr and nc ≤ fc; nr ≤ 0 or nc ≤ 0 copies nothing.
void Array(int mode, int nr, int nc, int fr, int fc, double* packed, double* framed);

}  // namespace liftsim::numeric
