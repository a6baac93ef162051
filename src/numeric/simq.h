// In-place Gaussian elimination with partial pivoting for a column-major square system.
#pragma once

namespace liftsim::numeric {

// Solves coef·x = rhs for an n×n `coef` stored column by column (entry (i, k), 1-based, at
// (k − 1)·n + i). On success ks = 0 and `rhs` holds the solution; `coef` is left with the scaled
// pivot rows (unit diagonal) above and the unscaled multipliers below the diagonal.
// An exactly zero pivot sets ks = 1 and returns at once, leaving both arrays partly reduced.
// order ≤ 0 does nothing and sets ks = 0. `coef` and `rhs` are separate storage.
void Simq(double* coef, double* rhs, int order, int& ks);

}  // namespace liftsim::numeric
