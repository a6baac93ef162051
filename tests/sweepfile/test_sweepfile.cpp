// Result files: the head reads back as the same study, rows field by field and refused when not as
// written here; files to continue and shards to merge are checked line by line in bounded memory.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "support/e2e.h"
#include "sweepfile/format.h"
#include "sweepfile/stored.h"

namespace liftsim::sweepfile {
namespace {

using liftsim::testing::TempDir;

sweep::Axis axis(const char* text) {
  sweep::Axis a;
  EXPECT_FALSE(sweep::parse_axis(text, a)) << text;
  return a;
}

Study sweep_study(sweep::Shard shard = {}) {
  Study s;
  s.version = "9.9";
  s.axes = {axis("zc_4=0:1:0.5"), axis("m_4=500,1000")};
  s.shard = shard;
  return s;
}

sweep::BaseFacts facts() {
  sweep::BaseCase base;
  base.overrides.set(*params::find_param("t_end"), 2);
  params::CaseValues values = params::built_in_case(), plain = values;
  values.prmt[1] = 2;
  return sweep::base_facts(base, values, plain, {params::find_param("m_4")});
}

std::string join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l;
  return text;
}

// Case `index` of the study as a row: a completed stable run, or an error with `message`.
sweep::SweepRow row(const Study& s, std::int64_t index, const std::string& message = {}) {
  sweep::SweepRow r;
  r.index = index;
  sweep::CaseGrid(s.axes).values(index, r.values);
  r.summary.t_reached = 0.25 * static_cast<double>(index);
  r.summary.facts.points = 3;
  r.summary.facts.min_F_kp = 1e4 + 0.1 * static_cast<double>(index);
  r.summary.derivative_calls = 2019;
  r.verdict = results::Verdict::stable;
  if (!message.empty()) {
    r.summary.outcome = run::Outcome::error;
    r.summary.error = textio::RunError{textio::ErrorCode::F6414, textio::Statement::open, "", message};
    r.verdict.reset();
  }
  return r;
}

std::string rows(const Study& s, const std::vector<int>& indices) {
  std::string text;
  for (int i : indices) text += row_text(sweep_values(row(s, i)));
  return text;
}

// The head states the study and reads back as it; rows read back, messages on one line, quoted.
TEST(Format, HeadAndRowsReadBack) {
  const Study written = sweep_study({2, 3});
  const std::vector<std::string> head = head_lines(written, facts());
  const std::string text = join(head);
  for (const char* line : {"# liftsim 9.9 sweep\n", "# model: sound\n", "# vary: zc_4=0:1:0.5\n",
                           "# vary: m_4=500,1000\n", "# set: t_end = 2 s\n", "# road: flat\n",
                           "# shard: 2/3\n",
                           "\ncase,zc_4,m_4,outcome,verdict,t_reached,min_F_kp,t_min_F_kp,"
                           "lift_off_t,max_abs_Fi_3,load_travel,restarts,derivative_calls,error,"
                           "message\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
  std::vector<std::string> lines;
  for (const std::string& l : head) lines.push_back(l.substr(0, l.size() - 1));
  Study read;
  ASSERT_FALSE(parse_head(lines, read));
  EXPECT_EQ(read.kind, Kind::sweep);
  EXPECT_EQ(read.version, "9.9");
  EXPECT_EQ(read.shard.index, 2);
  ASSERT_EQ(read.axes.size(), 2u);
  EXPECT_EQ(read.axes[0].values, written.axes[0].values);

  const RowReader reader(read);
  for (const std::string message : {"", "plain", "a, comma and \"quotes\"", "two\nlines\x01 \xff"}) {
    SCOPED_TRACE(message);
    const std::string line = row_text(sweep_values(row(read, 4, message)));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    ReadRow back;
    ASSERT_FALSE(reader.read(std::string_view(line).substr(0, line.size() - 1), back)) << line;
    EXPECT_EQ(row_text(sweep_values(back.sweep)), line);
    EXPECT_EQ(back.sweep.verdict.has_value(), message.empty());
  }
}

// Anything in a row that this program would not write is refused, saying what.
TEST(Format, RowsRefusedFieldByField) {
  const Study study = sweep_study();
  const RowReader reader(study);
  const std::string good = rows(study, {3});
  ReadRow r;
  ASSERT_FALSE(reader.read(good.substr(0, good.size() - 1), r));
  auto with = [&](std::string_view from, std::string_view to) {
    std::string line = good.substr(0, good.size() - 1);
    return line.replace(line.find(from), from.size(), to);
  };
  const struct {
    std::string line;
    const char* says;
  } cases[] = {
      {"1", "1 fields, not the 15"},
      {with("3,", "4,"), "zc_4 is 0.5, not the 1 of case 4"},
      {with("3,", "6,"), "case number '6' is not one of the 6 cases"},
      {with("3,", "x,"), "case number 'x'"},
      {with("0.5,", "0.50,"), "not written as liftsim writes"},
      {with("completed", "done"), "outcome 'done'"},
      {with("stable", "steady"), "verdict 'steady'"},
      {with("stable", ""), "no verdict"},
      {with(",2019,", ",2019,F9999"), "error 'F9999'"},
      {with(",2019,", ",-1,"), "derivative_calls '-1'"},
      {with("completed", "\"completed"), "quotes do not pair up"},
      {with(",2019,,", ",2019,,oops"), "not written as liftsim writes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const auto bad = reader.read(c.line, r);
    ASSERT_TRUE(bad);
    EXPECT_NE(bad->find(c.says), std::string::npos) << *bad;
  }
}

int file_of(const std::string& text) {
  const int fd = ::memfd_create("result", 0);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

// A file to continue: the head must be this study's (a cut head starts over), the rows the
// shard's first ones in order; a cut last row is run again.
TEST(Stored, ResumeCheck) {
  const Study all = sweep_study(), shard = sweep_study({2, 4});
  const std::string head = join(head_lines(all, facts()));
  const std::string shard_head = join(head_lines(shard, facts()));
  // Line n of the rows: n + the head's lines (the header being the last of them).
  auto line = [&](int n) {
    return "line " + std::to_string(std::count(head.begin(), head.end(), '\n') + n);
  };
  const struct {
    const char* what;
    const Study& study;
    std::string text;
    std::int64_t rows;  // rows kept; -1: refused
    std::string says;
  } cases[] = {
      {"nothing", all, "", 0, ""},
      {"a cut head", all, head.substr(0, 40), 0, ""},
      {"the head only", all, head, 0, ""},
      {"whole rows", all, head + rows(all, {0, 1, 2}), 3, ""},
      {"a cut row", all, head + rows(all, {0, 1}) + "2,0.5,50", 2, ""},
      {"a shard's rows", shard, shard_head + rows(shard, {1, 5}), 2, ""},
      {"another shard's rows", shard, shard_head + rows(shard, {0}), -1, "case 0 is not the next case"},
      {"a case skipped", all, head + rows(all, {0, 2}), -1, line(2) + ": case 2 is not the next case of this sweep (case 1 is)"},
      {"more rows than cases", all, head + rows(all, {0, 1, 2, 3, 4, 5, 0}), -1, line(7) + ":"},
      {"another shard's head", all, shard_head, -1, line(0) + " differs"},
      {"another study", all, head.substr(0, head.find("# set")) + "# set: none\n", -1, "line 6 differs"},
      {"a file of before", all, "case,zc_4,m_4,outcome\n", -1, "line 1 differs"},
      {"a bad row", all, head + "1\n", -1, line(1) + ": it has 1 fields"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int fd = file_of(c.text);
    Resumable kept;
    std::int64_t seen = 0;
    const auto bad = read_resumable(fd, head_lines(c.study, facts()), c.study,
                                    [&](ReadRow&) { ++seen; }, kept);
    ::close(fd);
    if (c.rows < 0) {
      ASSERT_TRUE(bad);
      EXPECT_NE(bad->find(c.says), std::string::npos) << *bad;
      continue;
    }
    ASSERT_FALSE(bad) << *bad;
    EXPECT_EQ(kept.rows, c.rows);
    EXPECT_EQ(seen, c.rows);
    EXPECT_EQ(kept.bytes, c.text.size() < head.size() ? 0 : c.text.rfind('\n') + 1);
  }
}

// Shards merge into the whole study's file in case order; heads that differ (beyond the shard
// line), gaps, repeats, cut or disordered rows and missing cases are refused, naming the file.
TEST(Stored, MergeStreamsShardsInCaseOrder) {
  TempDir dir;
  int files = 0;
  auto shard_file = [&](int k, int n, const std::vector<int>& cases, std::string edit = {}) {
    const Study s = sweep_study({k, n});
    std::string text = join(head_lines(s, facts())) + rows(s, cases);
    if (edit == "other") {
      text.replace(text.find("# set: t_end = 2 s"), 18, "# set: t_end = 3 s");
    } else {
      text += edit;
    }
    const std::string name = "s" + std::to_string(k) + "of" + std::to_string(n) + "-" +
                             std::to_string(++files) + ".csv";
    liftsim::testing::write_file(dir / name, text);
    return (dir / name).string();
  };
  const std::string a = shard_file(1, 3, {0, 3}), b = shard_file(2, 3, {1, 4}), c = shard_file(3, 3, {2, 5});
  const std::string whole = join(head_lines(sweep_study(), facts())) + rows(sweep_study(), {0, 1, 2, 3, 4, 5});
  const struct {
    const char* what;
    std::vector<std::string> files;
    std::optional<std::int64_t> cases;
    const char* says;  // "": merges to the whole file
  } cases[] = {
      {"three shards", {a, b, c}, std::nullopt, ""},
      {"in any order, counted", {c, a, b}, 6, ""},
      {"the whole file alone", {shard_file(1, 1, {0, 1, 2, 3, 4, 5})}, std::nullopt, ""},
      {"a shard missing", {a, c}, std::nullopt, "case 1 is in none of the files"},
      {"a shard twice", {a, b, b, c}, std::nullopt, "case 1 appears twice"},
      {"a shard cut short at its end", {a, b, shard_file(3, 3, {2})}, std::nullopt, "hold 5 of the study's 6"},
      {"a cut row", {a, shard_file(2, 3, {1, 4}, "7,1"), c}, std::nullopt, "last row is cut"},
      {"a row twice in a file", {a, shard_file(2, 3, {1, 1, 4}), c}, std::nullopt, "not in case order"},
      {"another base case", {a, shard_file(2, 3, {1, 4}, "other"), c}, std::nullopt, "line 6 differs"},
      {"a case of another shard", {a, shard_file(2, 3, {1, 3}), c}, std::nullopt, "does not belong to its shard 2/3"},
      {"a wrong count", {a, b, c}, 7, "--cases 7, but the files' study has 6"},
      {"no file", {(dir / "none.csv").string()}, std::nullopt, "cannot read"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    std::string merged;
    const auto bad = merge_files(k.files, k.cases, [&](std::string_view bytes) { merged += bytes; });
    if (*k.says == 0) {
      ASSERT_FALSE(bad) << *bad;
      EXPECT_EQ(merged, whole);
    } else {
      ASSERT_TRUE(bad);
      EXPECT_NE(bad->find(k.says), std::string::npos) << *bad;
    }
  }
}

}  // namespace
}  // namespace liftsim::sweepfile
