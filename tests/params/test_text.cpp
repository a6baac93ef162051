// The one reader of numbers: the forms it accepts (the double nearest to the text, as the C
// library rounds it), the forms it refuses, and the ends of the double range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "params/text.h"

namespace liftsim::params {
namespace {

TEST(ReadNumber, AcceptedFormsReadAsTheNearestDouble) {
  for (const char* text :
       {"0", "-0", "+5", "5.", ".5", "-.5", " \t1234.5 \t", "1e3", "1E+03", "2.5e-3", "-7E-0",
        "007.250", "0.30000000000000004440892098500626", "9007199254740993",
        "1.7976931348623157e308", "4.9406564584124654e-324", "1e-320",
        // halfway between zero and the smallest subnormal and just above: the nearest of the two
        "2.4703282292062328e-324"}) {
    SCOPED_TRACE(text);
    double value = -1.0;
    ASSERT_EQ(read_number(text, value), NumberRead::ok);
    const double expected = std::strtod(text, nullptr);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(std::signbit(value), std::signbit(expected));
  }
}

TEST(ReadNumber, TooSmallIsSignedZeroTooLargeAndOtherFormsAreRefused) {
  const struct {
    const char* text;
    NumberRead read;
    double value;  // for ok
  } cases[] = {
      {"1e-400", NumberRead::ok, 0.0},
      {"-1e-400", NumberRead::ok, -0.0},
      {"0.000001e-99999999999999999999", NumberRead::ok, 0.0},
      {"2.4703282292062327e-324", NumberRead::ok, 0.0},
      {"1e400", NumberRead::too_large, 0},
      {"-1.7976931348623159e308", NumberRead::too_large, 0},
      {"0.001e99999999999999999999", NumberRead::too_large, 0},
      {"1000000e-6e", NumberRead::not_a_number, 0},
      {"", NumberRead::not_a_number, 0},
      {" ", NumberRead::not_a_number, 0},
      {".", NumberRead::not_a_number, 0},
      {"+", NumberRead::not_a_number, 0},
      {"+-1", NumberRead::not_a_number, 0},
      {"--1", NumberRead::not_a_number, 0},
      {"0x10", NumberRead::not_a_number, 0},
      {"0x1p3", NumberRead::not_a_number, 0},
      {"inf", NumberRead::not_a_number, 0},
      {"-infinity", NumberRead::not_a_number, 0},
      {"nan", NumberRead::not_a_number, 0},
      {"1,000", NumberRead::not_a_number, 0},
      {"1 000", NumberRead::not_a_number, 0},
      {"1_000", NumberRead::not_a_number, 0},
      {"1e", NumberRead::not_a_number, 0},
      {"1e+", NumberRead::not_a_number, 0},
      {"e5", NumberRead::not_a_number, 0},
      {"1.5.2", NumberRead::not_a_number, 0},
      {"12kg", NumberRead::not_a_number, 0},
      {"1d3", NumberRead::not_a_number, 0},
      {"\xEF\xBB\xBF+1", NumberRead::not_a_number, 0},
      {"1\r", NumberRead::not_a_number, 0},
      {"1\n", NumberRead::not_a_number, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double value = -1.0;
    EXPECT_EQ(read_number(c.text, value), c.read);
    if (c.read == NumberRead::ok) {
      EXPECT_EQ(value, c.value);
      EXPECT_EQ(std::signbit(value), std::signbit(c.value));
    } else {
      EXPECT_EQ(value, -1.0) << "a refused text leaves the value alone";
    }
  }
  double value = 0;
  EXPECT_EQ(read_number(std::string_view("1\0", 2), value), NumberRead::not_a_number);
}

TEST(ReadWhole, DigitsWithASignWithinTheType) {
  const struct {
    const char* text;
    NumberRead read;
    std::int64_t value;
  } cases[] = {
      {"4", NumberRead::ok, 4},
      {" +16\t", NumberRead::ok, 16},
      {"-3", NumberRead::ok, -3},
      {"0002147483647", NumberRead::ok, 2147483647},
      {"-2147483648", NumberRead::ok, -2147483648LL},
      {"2147483648", NumberRead::too_large, 0},
      {"-99999999999999999999", NumberRead::too_large, 0},
      {"2.0", NumberRead::not_a_number, 0},
      {"1e3", NumberRead::not_a_number, 0},
      {"0x10", NumberRead::not_a_number, 0},
      {"+-1", NumberRead::not_a_number, 0},
      {"", NumberRead::not_a_number, 0},
      {"-", NumberRead::not_a_number, 0},
      {"1 000", NumberRead::not_a_number, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int value = -1;
    EXPECT_EQ(read_whole(c.text, value), c.read);
    EXPECT_EQ(value, c.read == NumberRead::ok ? c.value : -1);
  }
  std::int64_t large = 0;
  EXPECT_EQ(read_whole("9223372036854775807", large), NumberRead::ok);
  EXPECT_EQ(large, INT64_MAX);
  EXPECT_EQ(whole_problem<int>(" 2.5 ", NumberRead::not_a_number),
            "'2.5' is not a whole number (digits with an optional sign, such as 4)");
  EXPECT_EQ(whole_problem<int>("2147483648", NumberRead::too_large),
            "'2147483648' is out of range (-2147483648 to 2147483647)");
}

}  // namespace
}  // namespace liftsim::params
