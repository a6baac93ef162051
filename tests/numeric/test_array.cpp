#include <gtest/gtest.h>

#include <numeric>
#include <tuple>
#include <vector>

#include "numeric/array.h"

namespace liftsim::numeric {
namespace {

using V = std::vector<double>;

// A 2x2 matrix between packed storage and the corner of a 3x3 area: mode <= 1 expands, mode >= 2
// packs, and only the corner or the first four packed values change.
TEST(Array, MovesTheCornerOfAThreeByThreeAreaEitherWay) {
  const V area = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  for (int mode : {-4, 0, 1, 2, 3, 99}) {
    V packed = {10, 20, 30, 40, -1, -1}, framed = area;
    Array(mode, 2, 2, 3, 3, packed.data(), framed.data());
    EXPECT_EQ(framed, (mode <= 1 ? V{10, 20, 3, 30, 40, 6, 7, 8, 9} : area)) << mode;
    EXPECT_EQ(packed, (mode <= 1 ? V{10, 20, 30, 40, -1, -1} : V{1, 2, 4, 5, -1, -1})) << mode;
  }
}

TEST(Array, SameStorageExpandsInPlaceAndPacksBack) {
  V v = {1, 2, 3, 4, 0, 0, 0, 0, 0};
  Array(1, 2, 2, 3, 3, v.data(), v.data());
  EXPECT_EQ(v, (V{1, 2, 3, 3, 4, 0, 0, 0, 0}));  // element 3 keeps the stale packed value
  Array(2, 2, 2, 3, 3, v.data(), v.data());
  EXPECT_EQ(v, (V{1, 2, 3, 4, 4, 0, 0, 0, 0}));
}

// Equal column lengths in the same storage (the model's call) and empty matrices change nothing.
TEST(Array, ChangesNothingWhenThereIsNothingToMove) {
  V packed0(12), framed0(12);
  std::iota(packed0.begin(), packed0.end(), 100.0), std::iota(framed0.begin(), framed0.end(), 1.0);
  for (auto [nr, nc, same] : {std::tuple{3, 3, true}, {3, 1, true}, {0, 3, false}, {3, 0, false}})
    for (int mode : {1, 2}) {
      V packed = packed0, framed = framed0;
      Array(mode, nr, nc, 3, 4, packed.data(), same ? packed.data() : framed.data());
      EXPECT_TRUE(packed == packed0 && framed == framed0) << nr << "x" << nc << " mode " << mode;
    }
}

}  // namespace
}  // namespace liftsim::numeric
