// Values set by name from NAME=VALUE texts and TOML files: what they accept and how they refuse.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "params/overrides.h"
#include "params/table.h"
#include "textio/input_fields.h"

namespace liftsim::params {
namespace {

double value_of(const Overrides& o, std::string_view name) {
  return o.find(*find_param(name)).value_or(-12345.678);
}

// The value is the double a dani.dat field holding that text gives the run (how numbers are read:
// test_text.cpp); the ends of a range are inside it.
TEST(ParseAssignment, ValueIsTheDoubleNearestTheText) {
  const struct {
    const char* name;
    const char* number;
    textio::FieldFormat field;  // width 0: no input field to compare with
  } cases[] = {
      {"m_4", "1234.5000", {9, 4}},
      {"zc_4", "   0.75000", {10, 5}},
      {"c_kr", " 1.23456E+05", {12, 5}},
      {"f_fr", "0", {}},
      {"eta_tr", "1", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    Overrides o;
    const auto error = parse_assignment(std::string(" ") + c.name + " = " + c.number, o);
    ASSERT_FALSE(error) << error->message;
    ASSERT_EQ(o.list().size(), 1u);
    EXPECT_EQ(value_of(o, c.name), std::strtod(c.number, nullptr));
    if (c.field.w == 0) continue;
    std::array<double, 1> read{};
    textio::FieldFailure failure;
    ASSERT_TRUE(textio::read_fields(c.number, std::span(&c.field, 1), read, failure));
    EXPECT_EQ(value_of(o, c.name), read[0]);
  }
}

TEST(ParseAssignment, LaterAssignmentsWin) {
  Overrides o, later;
  for (const char* text : {"m_4=100", "zc_4=0.5", "m_4=200"})
    ASSERT_FALSE(parse_assignment(text, o));
  EXPECT_EQ(o.list().size(), 2u);
  EXPECT_EQ(value_of(o, "m_4"), 200.0);
  for (const char* text : {"zc_4=0.75", "J_3=350"}) ASSERT_FALSE(parse_assignment(text, later));
  o.add(later);
  EXPECT_EQ(o.list().size(), 3u);
  EXPECT_EQ(value_of(o, "m_4"), 200.0);
  EXPECT_EQ(value_of(o, "zc_4"), 0.75);
}

// Each refusal (a TOML one naming the line) holds every fragment listed, and nothing is set.
TEST(Overrides, Refusals) {
  const struct {
    bool toml;
    std::string text;
    std::vector<std::string> fragments;
  } cases[] = {
      // unknown names, with the nearest names suggested
      {false, "m4=100", {"unknown parameter 'm4'", "did you mean m_4", "liftsim params"}},
      {false, "M_4=100", {"unknown parameter 'M_4'", "did you mean m_4"}},
      {false, "t_strat=1", {"'t_strat'", "did you mean t_start"}},
      // numbers too large for the one reader (a text that is no number: tests/cli)
      {false, "m_4=1e999", {"'1e999' is too large"}},
      {false, "m_4=" + std::string(400, '7'), {"'" + std::string(60, '7') + "...' is too large"}},
      {false,
       std::string(100, 'x') + "=1",
       {"unknown parameter '" + std::string(60, 'x') + "...'"}},
      // outside the parameter's range, with the range and unit
      {false, "m_1=-210", {"value -210 for m_1", "> 0", "kg"}},
      {false, "h_max=0", {"h_max", "> 0", "(s)"}},
      {false, "f_fr=-0.15", {"value -0.15 for f_fr", ">= 0"}},
      {false, "eta_tr=1.25", {"value 1.25 for eta_tr", "<= 1"}},
      {false, "stop=1", {"stop", "cannot be set"}},
      {false, "m_4", {"'m_4' is not an assignment NAME=VALUE"}},
      {false, "=5", {"names no parameter"}},
      {true, "m_4 = 100\nm4 = 3\n", {"case.toml:2: ", "unknown parameter 'm4'", "m_4"}},
      {true, "# comment\nm_4 = 'heavy'\n", {"case.toml:2: ", "m_4", "not a number"}},
      {true, "m_4 = true\n", {"case.toml:1: ", "m_4", "not a number"}},
      {true, "\n\nm_4 = inf\n", {"case.toml:3: ", "m_4", "not a finite number"}},
      {true, "m_4 = 100\n\n\nf_fr = -0.1\n", {"case.toml:4: ", "f_fr", "-0.1", ">= 0"}},
      {true, "m_4 = 1\nm_4 = 2\n", {"case.toml:2"}},  // defined twice
      {true, "m_4 = 1\nthis is not toml\n", {"case.toml:2"}},
      {true, "[truck]\nm_4 = 1\n", {"case.toml:1: ", "truck", "not a number"}},
      {true, "\nm_4 = in\n", {"case.toml:2: ", "saw 'in '"}},  // toml++ quotes the line end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Overrides o;
    const auto error = c.toml ? parse_toml(c.text, "case.toml", o) : parse_assignment(c.text, o);
    ASSERT_TRUE(error);
    for (const std::string& f : c.fragments)
      EXPECT_NE(error->message.find(f), std::string::npos) << error->message;
    EXPECT_EQ(error->message.find_first_of("\r\n"), std::string::npos) << "one line";
    EXPECT_TRUE(c.toml || o.empty());
  }
  // Suggestions come best first and never name what cannot be set.
  EXPECT_EQ(nearest_names("m_5").size(), 3u);
  EXPECT_EQ(nearest_names("ETA_tr").front(), "eta_tr");
  EXPECT_EQ(nearest_names("hmax").front(), "h_max");
  EXPECT_TRUE(nearest_names("completely_different").empty());
  for (std::string_view near : nearest_names("stpo")) EXPECT_NE(near, "stop");
}

}  // namespace
}  // namespace liftsim::params
