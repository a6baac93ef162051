#include <gtest/gtest.h>

#include <vector>

#include "numeric/array.h"

namespace liftsim::numeric {
namespace {

std::vector<double> iota(int count, double first) {
  std::vector<double> v(count);
  for (int i = 0; i < count; ++i) v[i] = first + i;
  return v;
}

// A 2×2 matrix between packed storage and the corner of a 3×3 area, for modes selecting each
// direction.
class ArrayModes : public ::testing::TestWithParam<int> {};

TEST_P(ArrayModes, MovesTheCornerOfAThreeByThreeArea) {
  const int mode = GetParam();
  std::vector<double> packed = {10, 20, 30, 40, -1, -1};
  std::vector<double> framed = iota(9, 1);
  Array(mode, 2, 2, 3, 3, packed.data(), framed.data());
  if (mode <= 1) {
    EXPECT_EQ(framed, (std::vector<double>{10, 20, 3, 30, 40, 6, 7, 8, 9}));
    EXPECT_EQ(packed, (std::vector<double>{10, 20, 30, 40, -1, -1}));
  } else {
    EXPECT_EQ(packed, (std::vector<double>{1, 2, 4, 5, -1, -1}));
    EXPECT_EQ(framed, iota(9, 1));
  }
}

INSTANTIATE_TEST_SUITE_P(BothDirections, ArrayModes, ::testing::Values(-4, 0, 1, 2, 3, 99));

TEST(Array, SameStorageExpandsInPlaceAndPacksBack) {
  // The packed 2×2 matrix sits at the front of the storage that becomes the 3×3 area.
  std::vector<double> v = {1, 2, 3, 4, 0, 0, 0, 0, 0};
  Array(1, 2, 2, 3, 3, v.data(), v.data());
  // (1,1), (2,1) stay; (1,2), (2,2) move to 4 and 5; element 3 keeps the stale packed value.
  EXPECT_EQ(v, (std::vector<double>{1, 2, 3, 3, 4, 0, 0, 0, 0}));
  Array(2, 2, 2, 3, 3, v.data(), v.data());
  EXPECT_EQ(v, (std::vector<double>{1, 2, 3, 4, 4, 0, 0, 0, 0}));
}

// Calls that must leave both vectors as they are: equal column lengths in the same storage (the
// model's call), and an empty matrix.
TEST(Array, ChangesNothingWhenThereIsNothingToMove) {
  struct Dims {
    int nr, nc, fr;
    bool same;
  };
  for (Dims d : {Dims{3, 3, 3, true}, Dims{3, 1, 3, true}, Dims{0, 3, 3, false},
                 Dims{3, 0, 3, false}, Dims{0, 0, 3, false}}) {
    for (int mode : {1, 2}) {
      std::vector<double> packed = iota(12, 100);
      std::vector<double> framed = iota(12, 1);
      Array(mode, d.nr, d.nc, d.fr, 4, packed.data(), d.same ? packed.data() : framed.data());
      EXPECT_EQ(packed, iota(12, 100)) << d.nr << "x" << d.nc << " mode " << mode;
      EXPECT_EQ(framed, iota(12, 1)) << d.nr << "x" << d.nc << " mode " << mode;
    }
  }
}

}  // namespace
}  // namespace liftsim::numeric
