#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "textio/input_fields.h"

namespace liftsim::textio {
namespace {

const std::vector<FieldSpec> kF94{{9, 4}};
const std::vector<FieldSpec> kF105x2{{10, 5}, {10, 5}};
const std::vector<FieldSpec> kE125{{12, 5}};
const std::vector<FieldSpec> kWide{{40, 0}};

struct Good {
  std::string record;
  const std::vector<FieldSpec>* fields;
  std::vector<double> expected;
};

TEST(ReadFields, ConvertsValidFields) {
  const double min_sub = std::numeric_limits<double>::denorm_min();
  const std::vector<Good> cases = {
      {"   12.5  ", &kF94, {12.5}},
      {"1 2.5", &kF94, {12.5}},
      {"\t12.5\t", &kF94, {12.5}},
      {"1\t2", &kF94, {0.0012}},
      {"15", &kF94, {0.0015}},
      {"-15", &kF94, {-0.0015}},
      {"15.", &kF94, {15.0}},
      {"12345", &kF94, {1.2345}},
      {"-.5", &kF94, {-0.5}},
      {"1.5E3", &kF94, {1500.0}},
      {"1.5e3", &kF94, {1500.0}},
      {"1.5D3", &kF94, {1500.0}},
      {"1.5d3", &kF94, {1500.0}},
      {"1.5+3", &kF94, {1500.0}},
      {"1.5E+3", &kF94, {1500.0}},
      {"1.5-3", &kF94, {0.0015}},
      {"1E2", &kF94, {0.01}},  // exponent applied on top of the implied decimals
      {" 0.12000E+06", &kE125, {120000.0}},
      {"  1.23456E+05", &kE125, {1.23456}},  // the 13th character is cut off
      {"123456.789", &kF94, {123456.78}},
      {"     2.5 load mass", &kF94, {2.5}},
      {"3.7", &kF94, {3.7}},
      {"3.7\r", &kF94, {3.7}},
      {"", &kF94, {0.0}},
      {"\r", &kF94, {0.0}},
      {"+", &kF94, {0.0}},
      {".", &kF94, {0.0}},
      {"3.7", &kF105x2, {3.7, 0.0}},
      {"1.5,2.5", &kF105x2, {1.5, 2.5}},
      {"      -0.3      0.75", &kF105x2, {-0.3, 0.75}},
      {"1,5", &kF94, {0.0001}},
      {",5", &kF105x2, {0.0, 0.00005}},
      {"1234567890,5", &kF105x2, {12345.6789, 0.0}},  // the comma opens the second field
      {"1.5\r2.5", &kF105x2, {1.5, 0.0}},
      {"1\r.5      2.5", &kF105x2, {0.00001, 0.0}},
      {"1.5\r\x1a", &kF105x2, {1.5, 0.0}},
      {"     12.5\x1a", &kF94, {12.5}},  // Ctrl-Z past the field
      {"1E-400", &kF94, {0.0}},
      {"0E999999999999999999999", &kWide, {0.0}},
      {"1E000000000000000000000000003", &kWide, {1000.0}},
      {"1E-99999999999999999999999", &kWide, {0.0}},
      {"1.7976931348623157E308", &kWide, {std::numeric_limits<double>::max()}},
      {"2.5E-324", &kWide, {min_sub}},
      {"2E-324", &kWide, {0.0}},
      {"1E-310", &kWide, {1e-310}},
      {"00000000000000000000000000000012.5", &kWide, {12.5}},
      {"123456789012345678901234567890123456789",
       &kWide,
       {123456789012345678901234567890123456789.0}},
  };
  for (const Good& c : cases) {
    SCOPED_TRACE("record <" + c.record + ">");
    std::vector<double> values(c.fields->size(), -99.0);
    FieldFailure failure;
    ASSERT_TRUE(read_fields(c.record, *c.fields, values, failure));
    EXPECT_EQ(failure.error, FieldError::none);
    for (std::size_t k = 0; k < values.size(); ++k) EXPECT_EQ(values[k], c.expected[k]);
  }
}

TEST(ReadFields, KeepsTheSignOfZeroAndOfUnderflow) {
  for (const std::string record : {"-", "-.", "-0", "-1E-400"}) {
    SCOPED_TRACE(record);
    double value = 1.0;
    FieldFailure failure;
    ASSERT_TRUE(read_fields(record, kF94, {&value, 1}, failure));
    EXPECT_EQ(value, 0.0);
    EXPECT_TRUE(std::signbit(value));
  }
}

struct Bad {
  std::string record;
  const std::vector<FieldSpec>* fields;
  FieldError error;
  int index, first, last;
  std::string text;
  char offending;
};

TEST(ReadFields, ReportsTheFailingFieldAndWhereItStands) {
  using enum FieldError;
  const std::vector<Bad> cases = {
      {"1.5E", &kF94, bad_character, 0, 1, 4, "1.5E", 'E'},
      {"1.5E+", &kF94, bad_character, 0, 1, 5, "1.5E+", 'E'},
      {"1.5+", &kF94, bad_character, 0, 1, 4, "1.5+", '+'},
      {"1.2.3", &kF94, bad_character, 0, 1, 5, "1.2.3", '.'},
      {"abc", &kF94, bad_character, 0, 1, 3, "abc", 'a'},
      {"   abc   comment", &kF94, bad_character, 0, 1, 9, "   abc   ", 'a'},
      {"1.5E3x", &kF94, bad_character, 0, 1, 6, "1.5E3x", 'x'},
      {"1-2-3", &kF94, bad_character, 0, 1, 5, "1-2-3", '-'},
      {"E5", &kF94, bad_character, 0, 1, 2, "E5", 'E'},
      {"12\xc0", &kF94, bad_character, 0, 1, 3, "12\xc0", '\xc0'},
      {std::string("1\0"
                   "2",
                   3),
       &kF94, bad_character, 0, 1, 3,
       std::string("1\0"
                   "2",
                   3),
       '\0'},
      {"       1.5       abc", &kF105x2, bad_character, 1, 11, 20, "       abc", 'a'},
      {"1.5,x", &kF105x2, bad_character, 1, 5, 5, "x", 'x'},
      {"1.5x,2", &kF105x2, bad_character, 0, 1, 4, "1.5x", 'x'},
      {"1E400", &kF94, too_large, 0, 1, 5, "1E400", '\0'},
      {"-1.8E308", &kWide, too_large, 0, 1, 8, "-1.8E308", '\0'},
      {"1E99999999999999999999999", &kWide, too_large, 0, 1, 25, "1E99999999999999999999999", '\0'},
      {"12\x1a", &kF94, end_of_file, 0, 1, 3, "12\x1a", '\x1a'},
      {"ab\x1a", &kF94, end_of_file, 0, 1, 3, "ab\x1a", '\x1a'},
      {"1.5       \x1a", &kF105x2, end_of_file, 1, 11, 11, "\x1a", '\x1a'},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE("record <" + c.record + ">");
    std::vector<double> values(c.fields->size());
    FieldFailure failure;
    ASSERT_FALSE(read_fields(c.record, *c.fields, values, failure));
    EXPECT_EQ(failure.error, c.error);
    EXPECT_EQ(failure.field_index, c.index);
    EXPECT_EQ(failure.first_column, c.first);
    EXPECT_EQ(failure.last_column, c.last);
    EXPECT_EQ(failure.text, c.text);
    EXPECT_EQ(failure.offending, c.offending);
  }
}

// Every byte in every position of a short record: the reader must neither misbehave nor report
// columns outside the record.
TEST(ReadFields, AnyBytesAreHandledSafely) {
  const std::vector<FieldSpec> fields{{3, 1}, {2, 0}, {4, 2}};
  for (int b = 0; b < 256; ++b) {
    for (std::size_t at = 0; at < 6; ++at) {
      std::string record = "1.5E2+";
      record[at] = static_cast<char>(b);
      std::vector<double> values(fields.size());
      FieldFailure failure;
      if (read_fields(record, fields, values, failure)) continue;
      ASSERT_GE(failure.first_column, 1);
      ASSERT_LE(failure.first_column, failure.last_column);
      ASSERT_LE(failure.last_column, static_cast<int>(record.size()));
      EXPECT_EQ(failure.text, record.substr(failure.first_column - 1,
                                            failure.last_column - failure.first_column + 1));
    }
  }
}

TEST(ReadFields, RejectsTooFewValueSlots) {
  double value = 0.0;
  FieldFailure failure;
  EXPECT_THROW(read_fields("1 2", kF105x2, {&value, 1}, failure), std::invalid_argument);
}

}  // namespace
}  // namespace liftsim::textio
