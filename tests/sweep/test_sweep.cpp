// The parts of a sweep: varied values, case order, shards, the result file (resume, merge) and the
// ordered runner. Real cases on several threads are tested end to end (test_sweep_runs.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sweep/axes.h"
#include "sweep/ordered_runner.h"
#include "sweep/sweep_file.h"

namespace liftsim::sweep {
namespace {

const params::Param& param(const char* name) {
  return *params::find_param(name);
}

// No error when `message` is empty, else one that mentions it.
template <class Error>
void expect_error(const Error& error, std::string_view message) {
  if (!error || message.empty()) {
    EXPECT_EQ(!error, message.empty()) << (error ? error->message : "no error");
  } else {
    EXPECT_NE(error->message.find(message), std::string::npos) << error->message;
  }
}

TEST(Axes, ValuesAndErrors) {
  const struct {
    const char* text;
    std::vector<double> values;  // empty: an error whose message holds `message`
    const char* message;
  } cases[] = {
      {"m_4=100:300:100", {100, 200, 300}, ""},
      {"m_4 = 100 : 250 : 100", {100, 200}, ""},
      {"m_4=5:5:1", {5}, ""},
      {"m_4=1500,1000,+2e3", {1500, 1000, 2000}, ""},
      // the values a user types, not the binary sums of a decimal step; TO is reached
      {"zc_4=0:0.3:0.1", {0, 0.1, 0.2, 0.3}, ""},
      {"zc_4=-0.3:0.3:0.1", {-0.3, -0.2, -0.1, 0, 0.1, 0.2, 0.3}, ""},
      // steps too fine for 15 digits keep their binary sums
      {"zc_4=1:1.00000000000005:0.00000000000002", {1, 1 + 2e-14, 1 + 2 * 2e-14}, ""},
      {"m_4", {}, "NAME=FROM:TO:STEP"},
      {"m_5=1,2", {}, "unknown parameter 'm_5'"},
      {"stop=0,1", {}, "stop"},
      {"m_4=1:2", {}, "FROM:TO:STEP with three numbers"},
      {"m_4=1:+-2:1", {}, "'+-2' is not a number (digits with an optional sign"},
      {"m_4=1:2:0x1", {}, "'0x1' is not a number"},
      {"m_4=1:1e999:1", {}, "'1e999' is too large"},
      {"m_4=3:1:1", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1:2:0", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1:2:-1", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1,,2", {}, "'' is not a number"},
      {"m_4=1,2x", {}, "'2x' is not a number"},
      {"m_4=1,+-2", {}, "'+-2' is not a number"},
      {"m_4=1,inf", {}, "'inf' is not a number"},
      {"m_4=-5,10", {}, "outside its range"},
      {"m_4=1:1e9:1", {}, "too many values"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Axis axis;
    const auto error = parse_axis(c.text, axis);
    expect_error(error, c.message);
    if (!error) {
      EXPECT_EQ(axis.values, c.values);
      const std::string_view text = c.text;
      EXPECT_EQ(axis.param->name, text.substr(0, text.find_first_of(" =")));
    }
  }
}

// The first axis varies slowest, the last fastest; a product beyond the limit is flagged; shards
// as the user types them.
TEST(Axes, CaseOrderAndShards) {
  const CaseGrid grid(
      {{&param("zc_4"), {0, 1}}, {&param("m_4"), {10, 20, 30}}, {&param("f_fr"), {0.1, 0.2}}});
  ASSERT_EQ(grid.size(), 12);
  std::vector<double> values;
  // clang-format off
  for (const auto& [i, expected] : {std::pair<int, std::vector<double>>{0, {0, 10, 0.1}},
                                    {5, {0, 30, 0.2}}, {7, {1, 10, 0.2}}, {11, {1, 30, 0.2}}}) {
    // clang-format on
    grid.values(i, values);
    EXPECT_EQ(values, expected) << i;
  }
  const std::vector<double> k(1000, 1.0);
  EXPECT_GT(CaseGrid({{&param("m_4"), k}, {&param("zc_4"), k}, {&param("f_fr"), k}}).size(),
            kMostCases);

  // Which case a shard holds: three shards merged give the whole sweep (test_sweep_runs.cpp).
  for (const char* bad : {"0/3", "4/3", "3", "1/0", "a/3", "1/3x", "-1/3", "/3", "", "+-1/3",
                          "0x1/3", "1/2147483648"}) {
    Shard shard;
    EXPECT_TRUE(parse_shard(bad, shard)) << "'" << bad << "'";
  }
  Shard shard;
  ASSERT_FALSE(parse_shard(" +3 / 3 ", shard));
  EXPECT_EQ(shard.index, 3);
  EXPECT_EQ(shard.count, 3);
}

const std::string kHeader = "case,m_4,outcome\n";

// A result file: the header and a row for each case number.
std::string file(const std::vector<int>& cases, const std::string& header = kHeader) {
  std::string out = header;
  for (int n : cases) out += std::to_string(n) + ",1" + std::to_string(n) + ",completed\n";
  return out;
}

TEST(SweepFile, MergeFindsGapsRepeatsAndOtherHeaders) {
  const struct {
    const char* what;
    std::vector<std::string> texts;
    const char* error;  // "": merges to the file of cases 0 to 6
  } cases[] = {
      {"three shards", {file({0, 3, 6}), file({1, 4}), file({2, 5})}, ""},
      {"in any order", {file({2, 5}), file({0, 3, 6}), file({1, 4})}, ""},
      {"an empty shard", {file({0, 1, 2, 3, 4, 5, 6}), kHeader}, ""},
      // clang-format off
      {"a shard missing", {file({0, 3, 6}), file({2, 5})}, "case 1 is in none of the files"},
      {"a shard twice", {file({0, 3, 6}), file({1, 4}), file({1, 4}), file({2, 5})}, "case 1 appears twice"},
      {"another header", {file({0, 3, 6}), file({1, 4}, "case,zc_4,outcome\n")}, "b.csv: its header differs"},
      {"a cut row", {file({0, 3, 6}), file({1, 4}) + "7,1", file({2, 5})}, "b.csv: the last row is cut"},
      {"rows out of order", {file({0, 2, 1}), file({1, 3, 4, 5, 6})}, "a.csv: rows are not numbered in increasing order"},
      {"no header", {"", kHeader}, "a.csv: no header"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.texts.size(); ++i)
      names.push_back(char('a' + i) + std::string(".csv"));
    std::string merged;
    const auto error = merge_files(c.texts, names, merged);
    expect_error(error, c.error);
    EXPECT_TRUE(error || merged == file({0, 1, 2, 3, 4, 5, 6})) << merged;
  }
}

// A file to continue: the whole rows that follow the header and are the next cases of the sweep
// (of its shard); a cut last row is run again.
TEST(SweepFile, ResumeCheck) {
  const std::vector<std::int64_t> all{0, 1, 2, 3}, shard{1, 4, 7};
  const struct {
    const char* what;
    std::string text;
    const std::vector<std::int64_t>& expected;
    std::int64_t rows;  // whole rows to keep, ending at the text's last line feed
    const char* error;
  } cases[] = {
      {"header only", kHeader, all, 0, ""},
      {"whole rows", file({0, 1, 2}), all, 3, ""},
      {"a cut row", file({0, 1, 2}) + "3,13,compl", all, 3, ""},
      {"all rows", file({0, 1, 2, 3}), all, 4, ""},
      {"a shard's rows", file({1, 4}) + "7", shard, 2, ""},
      {"another header", file({0}, "case,zc_4,outcome\n"), all, 0, "header"},
      {"a cut header", kHeader.substr(0, 7), all, 0, "header"},
      {"a case skipped", file({0, 2}), all, 0, "row 3 is not the next case"},
      {"another shard's rows", file({0, 3}), shard, 0, "row 2 is not the next case"},
      {"more rows than cases", file({0, 1, 2, 3, 4}), all, 0, "row 6"},
      {"not a number", kHeader + "x,1,completed\n", all, 0, "row 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Resumable r;
    const auto error = check_resumable(c.text, kHeader, c.expected, r);
    expect_error(error, c.error);
    if (!error) {
      EXPECT_EQ(r.rows, c.rows);
      EXPECT_EQ(r.bytes, c.text.rfind('\n') + 1);
    }
  }
}

// Results come back in job order whatever the threads do, never far ahead of the last one handed
// back; a stop hands back exactly the first ones; a failing job's exception reaches the caller.
TEST(OrderedRunner, OrderStopAndFailure) {
  std::vector<std::int64_t> jobs;
  for (std::int64_t j = 0; j < 60; ++j) jobs.push_back(j * 3 + 1);
  const struct {
    const char* what;
    int threads;
    std::int64_t stop_after;  // emitted results before the stop is set; -1: never
    std::int64_t failing;     // job that throws; -1: none
  } cases[] = {{"one thread", 1, -1, -1},
               {"four threads", 4, -1, -1},
               {"stopped", 3, 10, -1},
               {"a job fails", 3, -1, 3 * 25 + 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<int> stop{0};
    std::atomic<std::int64_t> finished{0}, emitted{0}, most_ahead{0};
    std::vector<std::int64_t> got;
    auto work = [&](std::int64_t job) {
      // Later jobs often finish first.
      std::this_thread::sleep_for(std::chrono::microseconds((job * 7919) % 5 * 300));
      if (job == c.failing) throw std::runtime_error("job failed");
      const std::int64_t ahead = ++finished - emitted.load();
      std::int64_t seen = most_ahead.load();
      while (ahead > seen && !most_ahead.compare_exchange_weak(seen, ahead)) {
      }
      return "row " + std::to_string(job);
    };
    auto emit = [&](std::int64_t job, const std::string& row) {
      EXPECT_EQ(row, "row " + std::to_string(job));
      got.push_back(job);
      if (++emitted == c.stop_after) stop = 2;
    };
    std::int64_t n = -1;
    if (c.failing >= 0) {
      EXPECT_THROW(run_ordered(jobs, work, emit, {c.threads, &stop, 4}), std::runtime_error);
      n = static_cast<std::int64_t>(got.size());
      EXPECT_LE(n, 25);
    } else {
      n = run_ordered(jobs, work, emit, {c.threads, &stop, 4});
    }
    ASSERT_EQ(static_cast<std::int64_t>(got.size()), n);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), jobs.begin()));
    if (c.stop_after >= 0) {
      EXPECT_GE(n, c.stop_after);
      EXPECT_LT(n, static_cast<std::int64_t>(jobs.size()));
    } else if (c.failing < 0) {
      EXPECT_EQ(n, static_cast<std::int64_t>(jobs.size()));
    }
    EXPECT_LE(most_ahead.load(), 5 * c.threads) << "results held back";
  }
}

}  // namespace
}  // namespace liftsim::sweep
