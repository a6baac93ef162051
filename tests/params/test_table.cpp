// The parameter table against the reference list: names, units, built-in values, and where each
// value stands in dani.dat, checked by reading a file whose every field holds a different number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "params/reference.h"
#include "params/table.h"
#include "run/input.h"

namespace liftsim::params {
namespace {

using testing::reference_params;

TEST(ParamTable, EveryNameWithUnitBuiltInAndRecord) {
  std::set<std::string_view> named;
  for (const auto& ref : reference_params()) {
    SCOPED_TRACE(ref.name);
    named.insert(ref.name);
    const Param* p = find_param(ref.name);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->name, ref.name);
    EXPECT_EQ(p->unit, ref.unit);
    EXPECT_FALSE(p->meaning.empty());
    EXPECT_TRUE(p->settable);
    // Compared as doubles: the widened single-precision literal, not the decimal one.
    EXPECT_EQ(p->built_in, ref.built_in);
    EXPECT_EQ(p->record, ref.record);
    // A default run's case before reading: the built-ins, and zero where dani.dat supplies it.
    EXPECT_EQ(get(*p, built_in_case()), ref.built_in.value_or(0.0));
  }
  // Nothing else but the integrator's stop flag, which has a record and cannot be set.
  for (const Param& p : all_params()) {
    if (named.count(p.name) == 0) {
      EXPECT_EQ(p.name, "stop");
      EXPECT_FALSE(p.settable);
      EXPECT_EQ(p.record, 37);
    }
  }
  EXPECT_EQ(all_params().size(), reference_params().size() + 1);
  EXPECT_EQ(find_param("M_4"), nullptr) << "names are case-sensitive";
  EXPECT_EQ(find_param(""), nullptr);
}

// The field layout of dani.dat: E12.5 records, pairs of F10.5, and F9.4 for all others.
textio::FieldSpec layout(int record) {
  static const std::set<int> e12{15, 16, 17, 18, 19, 26, 27};
  static const std::set<int> pairs{7, 8, 9, 10, 24, 25};
  if (e12.count(record)) return {12, 5};
  if (pairs.count(record)) return {10, 5};
  return {9, 4};
}

// A distinct value for every field, exactly representable and different from every built-in.
double distinct(int record, int field) {
  return record * 1.5 + field * 0.125 + 0.0625;
}

std::string input_with_distinct_values() {
  std::string text = "heading\r\n\r\n";
  for (int r = 3; r <= kInputRecords; ++r) {
    const textio::FieldSpec f = layout(r);
    char line[64];
    if (f.w == 12) {
      std::snprintf(line, sizeof line, "%12.5E comment\r\n", distinct(r, 0));
    } else if (f.w == 10) {
      std::snprintf(line, sizeof line, "%10.5f%10.5f comment\r\n", distinct(r, 0), distinct(r, 1));
    } else {
      std::snprintf(line, sizeof line, "%9.4f comment\r\n", distinct(r, 0));
    }
    text += line;
  }
  return text;
}

struct ReadOutcome {
  CaseValues values = built_in_case();
  run::InputNotes notes;
  std::vector<int> echoed_after;
  std::vector<std::string_view> echoed_params;
};

ReadOutcome read(const std::string& text, const Overrides& overrides = {}) {
  ReadOutcome out;
  std::size_t position = 0;
  run::read_case(
      run::memory_source(text, position), "dani.dat", overrides, out.values,
      [&out](const EchoBlock& b, const CaseValues&) {
        out.echoed_after.push_back(b.after_record);
        for (int i = 0; i < b.count; ++i) out.echoed_params.push_back(b.params[i]);
      },
      &out.notes);
  return out;
}

TEST(ParamTable, RecordsMapAsTheInputLayout) {
  const std::string text = input_with_distinct_values();
  const ReadOutcome r = read(text);
  std::size_t ignored = 0;
  for (const auto& ref : reference_params()) {
    if (ref.record == 0) continue;
    SCOPED_TRACE(ref.name);
    const Param& p = *find_param(ref.name);
    const double in_file = distinct(ref.record, ref.field);
    EXPECT_EQ(get(p, r.values), ref.built_in.value_or(in_file));
    const auto note = std::find_if(r.notes.ignored.begin(), r.notes.ignored.end(),
                                   [&p](const run::IgnoredValue& v) { return v.param == &p; });
    if (ref.built_in) {
      ++ignored;
      ASSERT_NE(note, r.notes.ignored.end()) << "a replaced value is noted";
      EXPECT_EQ(note->record, ref.record);
      EXPECT_EQ(note->read, in_file);
      EXPECT_EQ(note->used, *ref.built_in);
    } else {
      EXPECT_EQ(note, r.notes.ignored.end());
    }
  }
  EXPECT_EQ(r.notes.ignored.size(), ignored + 1) << "the stop flag is replaced as well";
  EXPECT_TRUE(r.notes.implied_points.empty());

  // The report blocks follow their groups and together echo records 3 to 37 in file order.
  EXPECT_EQ(r.echoed_after, (std::vector<int>{6, 10, 15, 19, 21, 23, 25, 27, 32, 37}));
  std::vector<std::string_view> in_file_order;
  for (const Record& rec : records()) {
    EXPECT_EQ(rec.field.w, rec.number <= 2 ? 0 : layout(rec.number).w) << rec.number;
    EXPECT_EQ(rec.fields, rec.number <= 2 ? 0 : layout(rec.number).w == 10 ? 2 : 1) << rec.number;
    for (int k = 0; k < rec.fields; ++k) {
      if (rec.number <= 37) in_file_order.push_back(rec.params[k]);
    }
  }
  EXPECT_EQ(records().size(), static_cast<std::size_t>(kInputRecords));
  EXPECT_EQ(r.echoed_params, in_file_order);
}

}  // namespace
}  // namespace liftsim::params
