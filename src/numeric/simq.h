// In-place Gaussian elimination with partial pivoting for a column-major square system.
#pragma once

namespace liftsim::numeric {

// Solves coef·x = rhs for an n×n `coef` stored column by column ((k−1)·n + i, 1-based);
// `rhs` receives the solution. ks = 1 (and an immediate return) at an exactly zero pivot.
void Simq(double* coef, double* rhs, int order, int& ks);

}  // namespace liftsim::numeric
