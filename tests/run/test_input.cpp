// Reading dani.dat: which values the records give and which are built in, values set by name, the
// report blocks after their groups, and what the reader notes about the values it read.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "run/input.h"
#include "support/e2e.h"
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

// A value set by name wins over the record and over the built-in value, also in the report block
// of its group. A built-in value that the file contradicts, and a number whose field's implied
// decimal point moved it, are noted unless a value set by name replaces them.
TEST(Input, ValuesSetByNameAndNotesOnTheValuesRead) {
  const struct {
    std::vector<std::pair<int, std::string>> records;
    std::vector<std::pair<const char*, double>> sets;
    double m_1, m_4, xp_1;
    double plain_m_4;  // without the values set by name
    std::vector<std::string> notes;
  } cases[] = {
      {{}, {}, 210.0, 1000.0, -0.8, 1000.0, {}},
      {{{3, " 250.0000"}, {6, "     1000"}, {38, "      -25,0"}},
       {},
       210.0,
       0.1,
       -0.0025,
       0.1,
       {"3 m_1 = 250 ignored for 210", "6 m_4 '1000' = 0.1", "38 xp_1 '-25' = -0.0025"}},
      {{{3, " 250.0000"}, {6, "     1000"}},
       {{"m_1", 300.0}, {"m_4", 1500.0}, {"m_1", 320.0}},
       320.0,
       1500.0,
       -0.8,
       0.1,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.notes.size());
    std::string input = testing::example_input();
    for (const auto& [n, text] : c.records) input = testing::replace_record(input, n, text);
    params::Overrides overrides;
    for (auto [name, value] : c.sets) overrides.set(*params::find_param(name), value);
    params::CaseValues v = params::built_in_case();
    InputNotes notes;
    std::vector<std::pair<int, double>> echoed;  // block and the load mass it showed
    std::size_t position = 0;
    read_case(
        memory_source(input, position), "dani.dat", overrides, v,
        [&](const params::EchoBlock& b, const params::CaseValues& now) {
          echoed.emplace_back(b.after_record, now.par.m_4);
        },
        &notes);
    EXPECT_EQ(std::tuple(v.par.m_1, v.par.m_4, v.obs.xp[0], notes.plain.par.m_4),
              std::tuple(c.m_1, c.m_4, c.xp_1, c.plain_m_4));
    std::vector<std::pair<int, double>> blocks;
    for (int after : {6, 10, 15, 19, 21, 23, 25, 27, 32, 37}) blocks.emplace_back(after, c.m_4);
    EXPECT_EQ(echoed, blocks);
    std::vector<std::string> noted;
    char line[96];
    for (const IgnoredValue& n : notes.ignored) {
      std::snprintf(line, sizeof line, "%d %s = %g ignored for %g", n.record,
                    std::string(n.param->name).c_str(), n.read, n.used);
      noted.emplace_back(line);
    }
    for (const ImpliedPoint& n : notes.implied_points) {
      std::snprintf(line, sizeof line, "%d %s '%s' = %g", n.record,
                    std::string(n.param->name).c_str(), n.text.c_str(), n.value);
      noted.emplace_back(line);
    }
    EXPECT_EQ(noted, c.notes);
  }
}

// A failing record ends the reading with the READ report for the file's name as given, after the
// report blocks of the groups read before it.
TEST(Input, FailureNamesTheFileAfterTheBlocksBeforeIt) {
  const std::string input = testing::replace_record(testing::example_input(), 22, "   0.0x12");
  std::size_t position = 0;
  params::CaseValues v = params::built_in_case();
  int blocks = 0;
  try {
    read_case(memory_source(input, position), "cases/truck 2.dat", {}, v,
              [&](const params::EchoBlock&, const params::CaseValues&) { ++blocks; });
    FAIL() << "no failure";
  } catch (const textio::RunFailure& failure) {
    EXPECT_EQ(
        failure.error(),
        (textio::RunError{textio::ErrorCode::F6103, textio::Statement::read, "cases/truck 2.dat",
                          "invalid character 'x' in record 22, columns 1-9 (traction wheel "
                          "rolling friction f_t)"}));
  }
  EXPECT_EQ(blocks, 5);
}

}  // namespace
}  // namespace liftsim::run
