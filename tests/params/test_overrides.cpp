// Values set by name: NAME=VALUE texts and TOML files, what they accept, what they refuse and how
// the refusal reads.
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

// The double nearest to the decimal text, as the C library reads it.
double nearest(const char* text) {
  return std::strtod(text, nullptr);
}

TEST(ParseAssignment, ValueIsTheDoubleNearestTheText) {
  const struct {
    const char* text;
    const char* name;
    const char* number;  // the decimal text of the value
  } cases[] = {
      {"m_4=1234.5", "m_4", "1234.5"},
      {" zc_4 = 0.75 ", "zc_4", "0.75"},
      {"xc_2=0.1", "xc_2", "0.1"},
      {"xc_1=-0.999", "xc_1", "-0.999"},
      {"m_4=+5", "m_4", "5"},
      {"c_tt=2.5e5", "c_tt", "2.5e5"},
      {"h_max=1E-4", "h_max", "1E-4"},
      {"t_end=5.", "t_end", "5."},
      {"t_start=-.5", "t_start", "-.5"},
      // more digits than a double holds: rounded once, to nearest
      {"m_4=0.30000000000000004440892098500626", "m_4", "0.30000000000000004440892098500626"},
      {"m_4=9007199254740993", "m_4", "9007199254740993"},
      {"zc_4=2.2250738585072011e-308", "zc_4", "2.2250738585072011e-308"},
      {"f_fr=0", "f_fr", "0"},
      {"eta_tr=1", "eta_tr", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Overrides o;
    const auto error = parse_assignment(c.text, o);
    ASSERT_FALSE(error) << error->message;
    ASSERT_EQ(o.list().size(), 1u);
    EXPECT_EQ(o.list()[0].param, find_param(c.name));
    EXPECT_EQ(value_of(o, c.name), nearest(c.number));
  }
}

// `--set m_4=1234.5` must give the run the value a dani.dat field holding 1234.5 gives it.
TEST(ParseAssignment, SameDoubleAsTheInputField) {
  const struct {
    const char* field;  // as it stands in its record
    textio::FieldSpec format;
    const char* name;
  } cases[] = {
      {"1234.5000", {9, 4}, "m_4"},  {"   0.75000", {10, 5}, "zc_4"},
      {"  -0.8000", {9, 4}, "xp_1"}, {"   0.12345", {10, 5}, "xc_4"},
      {"  0.0001", {9, 4}, "zp_3"},  {" 1.23456E+05", {12, 5}, "c_kr"},
      {"   3.3333", {9, 4}, "J_3"},  {"   0.40100", {10, 5}, "zh_3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    std::array<double, 1> read{};
    textio::FieldFailure failure;
    ASSERT_TRUE(textio::read_fields(c.field, std::span(&c.format, 1), read, failure));
    Overrides o;
    ASSERT_FALSE(parse_assignment(std::string(c.name) + "=" + c.field, o));
    EXPECT_EQ(value_of(o, c.name), read[0]);
  }
}

TEST(ParseAssignment, LaterAssignmentsWin) {
  Overrides o;
  ASSERT_FALSE(parse_assignment("m_4=100", o));
  ASSERT_FALSE(parse_assignment("zc_4=0.5", o));
  ASSERT_FALSE(parse_assignment("m_4=200", o));
  EXPECT_EQ(o.list().size(), 2u);
  EXPECT_EQ(value_of(o, "m_4"), 200.0);

  Overrides later;
  ASSERT_FALSE(parse_assignment("zc_4=0.75", later));
  ASSERT_FALSE(parse_assignment("J_3=350", later));
  o.add(later);
  EXPECT_EQ(o.list().size(), 3u);
  EXPECT_EQ(value_of(o, "m_4"), 200.0);
  EXPECT_EQ(value_of(o, "zc_4"), 0.75);
  EXPECT_EQ(value_of(o, "J_3"), 350.0);
}

// Each refusal names what is wrong; the message must hold every fragment listed, and nothing is
// set.
TEST(ParseAssignment, Refusals) {
  const struct {
    const char* text;
    std::vector<std::string> fragments;
  } cases[] = {
      // unknown names, with the nearest names suggested
      {"m4=100", {"unknown parameter 'm4'", "did you mean m_4", "liftsim params"}},
      {"M_4=100", {"unknown parameter 'M_4'", "did you mean m_4"}},
      {"zc4=0.5", {"'zc4'", "did you mean zc_4"}},
      {"t_strat=1", {"'t_strat'", "did you mean t_start"}},
      {"wheelbase=1", {"unknown parameter 'wheelbase'"}},
      // not a number
      {"m_4=abc", {"value 'abc' for m_4 is not a number"}},
      {"m_4=", {"for m_4 is not a number"}},
      {"m_4=12kg", {"'12kg'", "not a number"}},
      {"m_4=1,5", {"'1,5'", "not a number"}},
      {"m_4=0x10", {"'0x10'", "not a number"}},
      {"m_4=+-5", {"'+-5'", "not a number"}},
      // not finite
      {"m_4=inf", {"value 'inf' for m_4 is not a finite number"}},
      {"zc_4=nan", {"'nan'", "not a finite number"}},
      {"m_4=1e999", {"'1e999'", "not a finite number"}},
      // outside the parameter's range, with the range and unit
      {"m_4=0", {"value 0 for m_4", "> 0", "kg"}},
      {"m_1=-210", {"value -210 for m_1", "> 0", "kg"}},
      {"J_tk=0", {"J_tk", "> 0"}},
      {"c_tt=-1", {"value -1 for c_tt", "> 0"}},
      {"R_t=0", {"R_t", "> 0", "(m)"}},
      {"L_b=-0.9", {"L_b", "> 0"}},
      {"h_max=0", {"h_max", "> 0", "(s)"}},
      {"tol=-0.004", {"tol", "> 0"}},
      {"f_fr=-0.15", {"value -0.15 for f_fr", ">= 0"}},
      {"eta_tr=1.25", {"value 1.25 for eta_tr", "<= 1"}},
      {"eta_tr=0", {"eta_tr", "> 0"}},
      // not settable, or not an assignment
      {"stop=1", {"stop", "cannot be set"}},
      {"m_4", {"'m_4' is not an assignment NAME=VALUE"}},
      {"=5", {"names no parameter"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Overrides o;
    const auto error = parse_assignment(c.text, o);
    ASSERT_TRUE(error);
    for (const std::string& f : c.fragments) {
      EXPECT_NE(error->message.find(f), std::string::npos) << error->message;
    }
    EXPECT_TRUE(o.empty());
  }
}

TEST(ParseAssignment, NearestNamesBestFirst) {
  EXPECT_EQ(nearest_names("m_5").size(), 3u);
  EXPECT_EQ(nearest_names("zc_4x").front(), "zc_4");
  EXPECT_EQ(nearest_names("ETA_tr").front(), "eta_tr");
  EXPECT_EQ(nearest_names("hmax").front(), "h_max");
  EXPECT_TRUE(nearest_names("completely_different").empty());
  for (std::string_view near : nearest_names("stpo")) EXPECT_NE(near, "stop") << "not settable";
}

std::string toml_error(const std::string& text) {
  Overrides o;
  const auto error = parse_toml(text, "case.toml", o);
  return error ? error->message : "(accepted)";
}

TEST(ParseToml, AssignmentsCommentsAndIntegers) {
  Overrides o;
  const auto error = parse_toml(
      "# a case\n"
      "m_4 = 1234.5\n"
      "\n"
      "zc_4 = 0.75   # load height\n"
      "J_3 = 350\n"
      "c_kr = 4.2e5\n"
      "t_end = 5\n"
      "xp_1 = -0.8\r\n"
      "m_1 = 1_000.25\n",
      "case.toml", o);
  ASSERT_FALSE(error) << error->message;
  EXPECT_EQ(o.list().size(), 7u);
  EXPECT_EQ(value_of(o, "m_4"), 1234.5);
  EXPECT_EQ(value_of(o, "zc_4"), 0.75);
  EXPECT_EQ(value_of(o, "J_3"), 350.0);
  EXPECT_EQ(value_of(o, "c_kr"), 420000.0);
  EXPECT_EQ(value_of(o, "t_end"), 5.0);
  EXPECT_EQ(value_of(o, "xp_1"), -0.8);
  EXPECT_EQ(value_of(o, "m_1"), 1000.25);

  Overrides empty;
  EXPECT_FALSE(parse_toml("# nothing set\n", "case.toml", empty));
  EXPECT_TRUE(empty.empty());
}

// Every refusal names the file and the line of the offending assignment.
TEST(ParseToml, RefusalsNameTheLine) {
  const struct {
    std::string text;
    std::vector<std::string> fragments;
  } cases[] = {
      {"m_4 = 100\nm4 = 3\n", {"case.toml:2: ", "unknown parameter 'm4'", "m_4"}},
      {"# comment\nm_4 = 'heavy'\n", {"case.toml:2: ", "m_4", "not a number"}},
      {"m_4 = true\n", {"case.toml:1: ", "m_4", "not a number"}},
      {"m_4 = [1, 2]\n", {"case.toml:1: ", "not a number"}},
      {"\n\nm_4 = inf\n", {"case.toml:3: ", "m_4", "not a finite number"}},
      {"zc_4 = nan\n", {"case.toml:1: ", "not a finite number"}},
      {"m_4 = 100\n\n\nf_fr = -0.1\n", {"case.toml:4: ", "f_fr", "-0.1", ">= 0"}},
      {"m_4 = 0\n", {"case.toml:1: ", "m_4", "> 0"}},
      {"stop = 1\n", {"case.toml:1: ", "cannot be set"}},
      {"m_4 = 1\nzc_4 = \n", {"case.toml:2"}},  // no value
      {"m_4 = 1\nm_4 = 2\n", {"case.toml:2"}},  // defined twice
      {"m_4 = 1\nthis is not toml\n", {"case.toml:2"}},
      {"[truck]\nm_4 = 1\n", {"case.toml:1: ", "truck", "not a number"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string message = toml_error(c.text);
    for (const std::string& f : c.fragments) {
      EXPECT_NE(message.find(f), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace liftsim::params
