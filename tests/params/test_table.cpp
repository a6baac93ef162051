// The parameter table against the reference list: names, units, built-in values, and where each
// value stands in dani.dat, checked by reading a file whose every field holds a different number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "params/reference.h"
#include "params/table.h"
#include "run/input.h"

namespace liftsim::params {
namespace {

using namespace liftsim::testing;

TEST(ParamTable, EveryNameWithUnitBuiltInAndRecord) {
  const auto places = input_places();
  for (const auto& ref : kNamesAndUnits) {
    SCOPED_TRACE(ref.name);
    const Param* p = find_param(ref.name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->unit, ref.unit);
    EXPECT_FALSE(p->meaning.empty());
    EXPECT_TRUE(p->settable);
    EXPECT_EQ(p->record, places.count(ref.name) ? places.at(ref.name).first : 0);
    EXPECT_EQ(p->built_in.has_value(), kFromInput.count(ref.name) == 0);
    // Compared as doubles: the widened single-precision literal, not the decimal one.
    const double built_in = p->built_in.value_or(0.0);
    if (kFractionalBuiltIns.count(ref.name)) {
      EXPECT_EQ(built_in, kFractionalBuiltIns.at(ref.name));
    } else {
      EXPECT_EQ(built_in, std::floor(built_in));
    }
    EXPECT_EQ(get(*p, built_in_case()), built_in);
  }
  // Nothing else but the integrator's stop flag, which has a record and cannot be set.
  ASSERT_EQ(all_params().size(), std::size(kNamesAndUnits) + 1);
  const Param* stop = find_param("stop");
  ASSERT_NE(stop, nullptr);
  EXPECT_FALSE(stop->settable);
  EXPECT_EQ(stop->record, 37);
  EXPECT_EQ(find_param("M_4"), nullptr) << "names are case-sensitive";
}

// A distinct value for every field, exactly representable and different from every built-in.
double distinct(int record, int field) {
  return record * 1.5 + field * 0.125 + 0.0625;
}

// dani.dat with distinct values: E12.5 records, pairs of F10.5, and F9.4 for all others.
std::string input_with_distinct_values() {
  std::string text = "heading\r\n\r\n";
  for (int r = 3; r <= kInputRecords; ++r) {
    char line[64];
    if ((r >= 15 && r <= 19) || r == 26 || r == 27) {
      std::snprintf(line, sizeof line, "%12.5E comment\r\n", distinct(r, 0));
    } else if (kPairRecords.count(r)) {
      std::snprintf(line, sizeof line, "%10.5f%10.5f comment\r\n", distinct(r, 0), distinct(r, 1));
    } else {
      std::snprintf(line, sizeof line, "%9.4f comment\r\n", distinct(r, 0));
    }
    text += line;
  }
  return text;
}

TEST(ParamTable, RecordsMapAsTheInputLayout) {
  const std::string text = input_with_distinct_values();
  CaseValues values = built_in_case();
  run::InputNotes notes;
  std::vector<int> echoed_after;
  std::vector<std::string_view> echoed;
  std::size_t position = 0;
  run::read_case(
      run::memory_source(text, position), "dani.dat", {}, values,
      [&](const EchoBlock& b, const CaseValues&) {
        echoed_after.push_back(b.after_record);
        for (int i = 0; i < b.count; ++i) echoed.push_back(b.params[i]);
      },
      &notes);
  std::size_t ignored = 0;
  std::vector<std::string_view> in_file_order;
  for (const auto& [name, place] : input_places()) {
    SCOPED_TRACE(name);
    const Param& p = *find_param(name);
    const double in_file = distinct(place.first, place.second);
    EXPECT_EQ(get(p, values), p.built_in.value_or(in_file));
    const auto note = std::find_if(notes.ignored.begin(), notes.ignored.end(),
                                   [&p](const run::IgnoredValue& v) { return v.param == &p; });
    ASSERT_EQ(note != notes.ignored.end(), p.built_in.has_value()) << "a replaced value is noted";
    if (p.built_in) {
      ++ignored;
      EXPECT_EQ(note->record, place.first);
      EXPECT_EQ(note->read, in_file);
      EXPECT_EQ(note->used, *p.built_in);
    }
  }
  EXPECT_EQ(notes.ignored.size(), ignored + 1) << "the stop flag is replaced as well";
  EXPECT_TRUE(notes.implied_points.empty());

  // The report blocks follow their groups and together echo records 3 to 37 in file order.
  EXPECT_EQ(echoed_after, (std::vector<int>{6, 10, 15, 19, 21, 23, 25, 27, 32, 37}));
  for (const Record& rec : records()) {
    EXPECT_EQ(rec.fields, rec.number <= 2 ? 0 : kPairRecords.count(rec.number) ? 2 : 1);
    for (int k = 0; k < rec.fields && rec.number <= 37; ++k) in_file_order.push_back(rec.params[k]);
  }
  EXPECT_EQ(records().size(), static_cast<std::size_t>(kInputRecords));
  EXPECT_EQ(echoed, in_file_order);
}

}  // namespace
}  // namespace liftsim::params
