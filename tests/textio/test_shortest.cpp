// The fast shortest text of a double equals std::to_chars: at layout boundaries and at random.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "textio/fpe.h"
#include "textio/shortest.h"

namespace liftsim::textio {
namespace {

std::string fast(double v) {
  char buf[kShortestRoom];
  return std::string(buf, write_shortest(buf, v));
}

std::string reference(double v) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

TEST(Shortest, ChosenAndRandomValuesAsToChars) {
  const double inf = std::numeric_limits<double>::infinity();
  // clang-format off
  const double cases[] = {
      0.0, inf, std::numeric_limits<double>::quiet_NaN(), 1.0, 0.1, 0.5, 9.5, 10.0, 100.0,
      1e5, 1e6, 123456.0, 1234567.0, 12345678.0, 1e15, 1e16, 0x1p53, std::nextafter(0x1p53, 0.0),
      1e23, 1.7976931348623157e308, 0.001, 0.0001, 0.00012, 1.2e-5, 1e-5, 0.00012345678901234,
      5e-324, 2.2250738585072014e-308, 1e-100, 1e100, 1.5e-99, 1.5e99, 10540.864012087355};
  // clang-format on
  for (double v : cases) {
    EXPECT_EQ(fast(v), reference(v)) << reference(v);
    EXPECT_EQ(fast(-v), reference(-v)) << reference(-v);
  }
  // Where a run writes, invalid operations trap: the text of a NaN must not raise one.
  std::string nan_text;
  auto write_nan = [&] {
    char buf[kShortestRoom];
    char* end = write_shortest(buf, std::numeric_limits<double>::quiet_NaN());
    nan_text = std::string(buf, end);
  };
  EXPECT_FALSE(run_with_fp_traps(write_nan).has_value());
  EXPECT_EQ(nan_text, "nan");
  // Then many random ones.
  std::mt19937_64 rng(20261207);
  std::uniform_int_distribution<int> decade(-14, 12);
  long mismatches = 0;
  for (int i = 0; i < 400000; ++i) {
    // any bit pattern; a physical magnitude with 53 random bits; a few decimals; m · 10^k
    const std::uint64_t bits = rng();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    const double physical =
        std::ldexp(static_cast<double>(rng() >> 11), -53) * std::pow(10.0, decade(rng));
    const double decimals =
        static_cast<double>(static_cast<std::int64_t>(rng() % 100000000)) / 1000;
    const double pow10 = std::pow(10.0, decade(rng)) * static_cast<double>(rng() % 1000);
    for (double v : {any, physical, -physical, decimals, pow10}) {
      if (fast(v) != reference(v) && ++mismatches < 10) ADD_FAILURE() << reference(v);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace liftsim::textio
