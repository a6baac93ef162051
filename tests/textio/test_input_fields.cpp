// Cutting and converting the fixed-width numeric fields of input records.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "textio/input_fields.h"

namespace liftsim::textio {
namespace {

const std::vector<FieldFormat> kF94{{9, 4}}, kF105x2{{10, 5}, {10, 5}}, kE125{{12, 5}},
    kW40{{40, 0}};

TEST(ReadFields, ConvertsValidFields) {
  // clang-format off
  const struct { std::string record; const std::vector<FieldFormat>& fields; std::vector<double> v; }
  cases[] = {
      {"   12.5  ", kF94, {12.5}},
      {"1 2.5", kF94, {12.5}},
      {"15", kF94, {0.0015}},
      {"-15", kF94, {-0.0015}},
      {"15.", kF94, {15.0}},
      {"1.5E3", kF94, {1500.0}},
      {"1.5d3", kF94, {1500.0}},
      {"1.5+3", kF94, {1500.0}},
      {"1.5-3", kF94, {0.0015}},
      {"1E2", kF94, {0.01}},  // exponent on top of the implied decimals
      {"", kF94, {0.0}},
      {".", kF94, {0.0}},
      {"3.7", kF105x2, {3.7, 0.0}},
      {"123456.789", kF94, {123456.78}},
      {"1,5", kF94, {0.0001}},
      {"     2.5 load mass", kF94, {2.5}},
      {"1.5,2.5", kF105x2, {1.5, 2.5}},
      {"1234567890,5", kF105x2, {12345.6789, 0.0}},  // the comma opens the second field
      {"1\r.5      2.5", kF105x2, {0.00001, 0.0}},   // a CR empties the later fields
      {"  1.23456E+05", kE125, {1.23456}},             // the 13th character is cut off
      {"     12.5\x1a", kF94, {12.5}},                 // Ctrl-Z past the field
      {"1E-400", kF94, {0.0}},
      {"2.5E-324", kW40, {std::numeric_limits<double>::denorm_min()}},
      {"1E000000000000000000000000003", kW40, {1000.0}},
      {"123456789012345678901234567890123456789", kW40, {1.2345678901234568e38}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE("record <" + c.record + ">");
    std::vector<double> values(c.fields.size(), -99.0);
    FieldFailure failure;
    ASSERT_TRUE(read_fields(c.record, c.fields, values, failure));
    EXPECT_EQ(values, c.v);
  }
}

TEST(ReadFields, ReportsTheFailingFieldAndWhereItStands) {
  using enum FieldError;
  // clang-format off
  const struct { std::string record; const std::vector<FieldFormat>& fields; FieldError error;
                 int index, first, last; char offending; } cases[] = {
      {"1.5E", kF94, bad_character, 0, 1, 4, 'E'},
      {"1.2.3", kF94, bad_character, 0, 1, 5, '.'},
      {"abc", kF94, bad_character, 0, 1, 3, 'a'},
      {"   abc   comment", kF94, bad_character, 0, 1, 9, 'a'},
      {"       1.5       abc", kF105x2, bad_character, 1, 11, 20, 'a'},
      {"1.5,x", kF105x2, bad_character, 1, 5, 5, 'x'},
      {"1E400", kF94, too_large, 0, 1, 5, '\0'},
      {"1E99999999999999999999999", kW40, too_large, 0, 1, 25, '\0'},
      {"12\x1a", kF94, end_of_file, 0, 1, 3, '\x1a'},
      {"1.5       \x1a", kF105x2, end_of_file, 1, 11, 11, '\x1a'},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE("record <" + c.record + ">");
    std::vector<double> values(c.fields.size());
    FieldFailure failure;
    ASSERT_FALSE(read_fields(c.record, c.fields, values, failure));
    EXPECT_EQ(failure.error, c.error);
    EXPECT_EQ(failure.field_index, c.index);
    EXPECT_EQ(failure.first_column, c.first);
    EXPECT_EQ(failure.last_column, c.last);
    EXPECT_EQ(failure.text, c.record.substr(c.first - 1, c.last - c.first + 1));
    EXPECT_EQ(failure.offending, c.offending);
  }
}

}  // namespace
}  // namespace liftsim::textio
