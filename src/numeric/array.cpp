#include "numeric/array.h"

#include <cstddef>
#include <cstring>

namespace liftsim::numeric {

namespace {

// One element, bit for bit (a signalling NaN stays signalling). In shared storage an element may
// be copied onto itself, so the copy must allow overlap.
inline void copy_element(double* to, const double* from) {
  std::memmove(to, from, sizeof(double));
}

}  // namespace

void Array(int mode, int nr, int nc, int fr, int /*fc*/, double* packed, double* framed) {
  // Positions are 1-based, as the element numbers of the two layouts.
  const std::ptrdiff_t gap = static_cast<std::ptrdiff_t>(fr) - nr;
  // With equal column lengths in one storage every element would be copied onto itself.
  if (gap == 0 && packed == framed) return;
  if (mode <= 1) {
    // Expansion: from the last element backwards, so a framed matrix may overwrite the packed one
    // in the same storage.
    std::ptrdiff_t p = static_cast<std::ptrdiff_t>(nr) * nc + 1;
    std::ptrdiff_t q = static_cast<std::ptrdiff_t>(fr) * nc + 1;
    for (int c = 1; c <= nc; ++c) {
      q = q - gap;
      for (int r = 1; r <= nr; ++r) {
        p = p - 1;
        q = q - 1;
        copy_element(&framed[q - 1], &packed[p - 1]);
      }
    }
  } else {
    // Packing: from the first element forwards.
    std::ptrdiff_t p = 0;
    std::ptrdiff_t q = 0;
    for (int c = 1; c <= nc; ++c) {
      for (int r = 1; r <= nr; ++r) {
        p = p + 1;
        q = q + 1;
        copy_element(&packed[p - 1], &framed[q - 1]);
      }
      q = q + gap;
    }
  }
}

}  // namespace liftsim::numeric
