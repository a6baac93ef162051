// Field texts and console records at their edges (the program's own formats: the golden runs).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/format.h"

namespace liftsim::textio {
namespace {

TEST(RealFields, E12_5AndF9_4) {
  const auto up = [](double v) { return std::nextafter(v, INFINITY); };
  // clang-format off
  const struct { double value; const char *e12_5, *f9_4; } cases[] = {
      {1.0, "  .10000E+01", "   1.0000"},
      {-0.5, " -.50000E+00", "   -.5000"},
      {0.0, "  .00000E+00", "    .0000"},
      {-0.0, "  .00000E+00", "    .0000"},
      {0.999996, "  .10000E+01", "   1.0000"},
      {0.00005, "  .50000E-04", "    .0001"},
      {-0.00004, " -.40000E-04", "    .0000"},
      {1234.5678, "  .12346E+04", "1234.5678"},
      {1.0e100, "  .10000+101", "*********"},
      {-1.0e-100, " -.10000E-99", "    .0000"},
      // Rounding looks only at the digit after the last one kept, in the 17-digit expansion
      // (not at the exact binary value): 0.123455 is 0.12345499999... but expands to ...500.
      {0.123455, "  .12346E+00", "    .1235"},
      {std::nextafter(0.123455, 0.0), "  .12345E+00", "    .1235"},
      {99.99995, "  .10000E+03", "  99.9999"},  // expanded 99.999949999999998
      {up(99.99995), "  .10000E+03", " 100.0000"},
      {-9.99996, " -.10000E+02", " -10.0000"},
      {-0.00005, " -.50000E-04", "   -.0001"},
      // the widest F texts that fit, and the first values that do not
      {9999.9999, "  .10000E+05", "9999.9999"},
      {up(9999.99995), "  .10000E+05", "*********"},
      {-999.9999, " -.10000E+04", "-999.9999"},
      {-999.99995, " -.10000E+04", "*********"},
      // three-digit exponents, also reached by a carry
      {9.99995e98, "  .10000+100", "*********"},
      {DBL_TRUE_MIN, "  .49407-323", "    .0000"},
      {std::nan(""), "         NaN", "      NaN"},
      {-INFINITY, "        -Inf", "     -Inf"},
  };
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(e_field(c.value, 12, 5), c.e12_5) << c.value;
    EXPECT_EQ(f_field(c.value, 9, 4), c.f9_4) << c.value;
  }
}

TEST(ListDirected, IntegerAndReal) {
  // clang-format off
  const struct { std::int32_t count; double value; const char* record; } cases[] = {
      {500, 1.25, "         500        1.250000000000000"},
      {0, 0.0, "           0   0.000000000000000E+000"},
      {INT32_MIN, -2.5, " -2147483648       -2.500000000000000"},
      {2, 100.0 / 3.0, "           2       33.333333333333340"},  // zeros after 16 digits
      {3, -9999999.999999998, "           3 -9999999.999999998000000"},
      {4, 0.9999999999999999, "           4   9.999999999999999E-001"},
      {5, 1.0e7, "           5   1.000000000000000E+007"},
  };
  // clang-format on
  for (const auto& c : cases) {
    std::string record;
    append_list_directed(record, c.count, c.value);
    EXPECT_EQ(record, c.record) << c.value;
  }
}

// Items that do not match the format are a fault of the calling code: nothing is written.
TEST(FormatRender, MismatchedItemsThrowAndLeaveOutputAlone) {
  const Format f("('x',I2,E12.5)");
  for (const std::vector<Item>& items : {std::vector<Item>{1, 2.0, 3.0}, {1.0, 2.0}, {1, 2}}) {
    std::string out = "before";
    EXPECT_THROW(f.render(out, items), std::invalid_argument);
    EXPECT_EQ(out, "before");
  }
}

}  // namespace
}  // namespace liftsim::textio
