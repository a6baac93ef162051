// The one reader of numbers: accepted forms (nearest double), refused ones, the range's ends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "params/text.h"

namespace liftsim::params {
namespace {

TEST(ReadNumber, NearestDoubleForTheAcceptedFormsOnly) {
  const struct {
    NumberRead read;
    std::vector<std::string> texts;
  } cases[] = {
      {NumberRead::ok,
       {"0", "-0", "+5", "5.", ".5", "-.5", " \t1234.5 \t", "1e3", "1E+03", "2.5e-3", "007.250",
        "0.30000000000000004440892098500626", "9007199254740993", "1.7976931348623157e308",
        "4.9406564584124654e-324", "1e-320",
        // too small for a double: the nearest, zero with the text's sign or the least subnormal
        "1e-400", "-1e-400", "0.000001e-99999999999999999999", "2.4703282292062327e-324",
        "2.4703282292062328e-324"}},
      {NumberRead::too_large,
       {"1e400", "-1.7976931348623159e308", "0.001e99999999999999999999", std::string(400, '7')}},
      {NumberRead::not_a_number, {"",          " ",     ".",
                                  "+",         "+-1",   "--1",
                                  "0x10",      "0x1p3", "inf",
                                  "-infinity", "nan",   "1,000",
                                  "1 000",     "1_000", "1e",
                                  "1e+",       "e5",    "1.5.2",
                                  "12kg",      "1d3",   "\xEF\xBB\xBF+1",
                                  "1\r",       "1\n",   std::string("1\0", 2)}},
  };
  for (const auto& c : cases) {
    for (const std::string& text : c.texts) {
      SCOPED_TRACE(text);
      double value = -1.0;
      ASSERT_EQ(read_number(text, value), c.read);
      const double expected = c.read == NumberRead::ok ? std::strtod(text.c_str(), nullptr) : -1.0;
      EXPECT_EQ(value, expected) << "a refused text leaves the value alone";
      EXPECT_EQ(std::signbit(value), std::signbit(expected));
    }
  }
}

TEST(ReadWhole, DigitsWithASignWithinTheType) {
  const struct {
    const char* text;
    NumberRead read;
    int value;
  } cases[] = {
      {" +16\t", NumberRead::ok, 16},
      {"-3", NumberRead::ok, -3},
      {"0002147483647", NumberRead::ok, 2147483647},
      {"2147483648", NumberRead::too_large, 0},
      {"-99999999999999999999", NumberRead::too_large, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int value = -1;
    EXPECT_EQ(read_whole(c.text, value), c.read);
    EXPECT_EQ(value, c.read == NumberRead::ok ? c.value : -1);
  }
  for (const char* text : {"2.0", "1e3", "0x10", "+-1", "", "-", "1 000"}) {
    std::int64_t value = 0;
    EXPECT_EQ(read_whole(text, value), NumberRead::not_a_number) << text;
  }
  EXPECT_EQ(whole_problem<int>(" 2.5 ", NumberRead::not_a_number),
            "'2.5' is not a whole number (digits with an optional sign, such as 4)");
  EXPECT_EQ(whole_problem<int>("2147483648", NumberRead::too_large),
            "'2147483648' is out of range (-2147483648 to 2147483647)");
}

}  // namespace
}  // namespace liftsim::params
