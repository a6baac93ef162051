// Reading dani.dat: which values the records give and which are built in. Values set by name, the
// report blocks, the reader's notes and its failures are tested end to end (tests/cli, tests/e2e).
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>

#include "run/input.h"
#include "support/example_state.h"

namespace liftsim::run {
namespace {

// Every record holds a value of its own (record r: r + 0.25, and r + 0.5 in the second field of a
// pair): the load and the observation points are taken, every other value is the built-in one.
TEST(Input, TakesTheLoadAndThePointsAndBuildsInTheRest) {
  std::string input = "heading\n\n";
  for (int r = 3; r <= 43; ++r) {
    char line[32];
    const bool pair = (r >= 7 && r <= 10) || r == 24 || r == 25;
    const int n = std::snprintf(line, sizeof line, pair ? "%10.5f" : "%9.4f", r + 0.25);
    if (pair) std::snprintf(line + n, sizeof line - n, "%10.5f", r + 0.5);
    input += line + std::string("\n");
  }
  const params::CaseValues v = testing::example_values(input);
  EXPECT_EQ(v.obs.xp, (std::array{38.25, 40.25, 42.25}));
  EXPECT_EQ(v.obs.zp, (std::array{39.25, 41.25, 43.25}));
  // Everything else as in the example, whose records hold the built-in values.
  params::CaseValues example = testing::example_values();
  std::tie(example.par.m_4, example.par.xc_4, example.par.zc_4) = std::tuple(6.25, 10.25, 10.5);
  using Raw = std::array<double, sizeof(model::Par) / sizeof(double)>;
  EXPECT_EQ(std::bit_cast<Raw>(v.par), std::bit_cast<Raw>(example.par));
  EXPECT_EQ(v.prmt, example.prmt);
  // Fractions are single-precision constants widened.
  const std::pair<double, float> fractions[] = {{v.par.f_t, 0.012f}, {v.par.f_k, 0.012f},
                                                {v.par.f_fr, 0.15f}, {v.prmt[2], 0.001f},
                                                {v.prmt[3], 0.004f}, {v.par.g, 9.81f}};
  for (auto [value, built_in] : fractions) EXPECT_EQ(value, double{built_in}) << built_in;
}

}  // namespace
}  // namespace liftsim::run
