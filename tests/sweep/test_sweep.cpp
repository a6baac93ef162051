// The parts of a sweep: varied values, case order, shards, the result file (resume, merge), the
// ordered runner and cases on several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"
#include "sweep/axes.h"
#include "sweep/case_run.h"
#include "sweep/ordered_runner.h"
#include "sweep/sweep_file.h"

namespace liftsim::sweep {
namespace {

const params::Param& param(const char* name) {
  return *params::find_param(name);
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
      {"zc_4=0.7:1:0.1", {0.7, 0.8, 0.9, 1.0}, ""},
      {"zc_4=0:1:0.3", {0, 0.3, 0.6, 0.9}, ""},
      {"zc_4=-0.3:0.3:0.1", {-0.3, -0.2, -0.1, 0, 0.1, 0.2, 0.3}, ""},
      // steps too fine for 15 digits keep their binary sums
      {"zc_4=1:1.00000000000005:0.00000000000002", {1, 1 + 2e-14, 1 + 2 * 2e-14}, ""},
      {"m_4", {}, "NAME=FROM:TO:STEP"},
      {"m_5=1,2", {}, "unknown parameter 'm_5'"},
      {"stop=0,1", {}, "stop"},
      {"m_4=1:2", {}, "FROM:TO:STEP with three finite numbers"},
      {"m_4=inf:1:1", {}, "three finite numbers"},
      {"m_4=3:1:1", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1:2:0", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1:2:-1", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1,,2", {}, "'' is not a finite number"},
      {"m_4=", {}, "'' is not a finite number"},
      {"m_4=1,nan", {}, "'nan' is not a finite number"},
      {"m_4=1,2x", {}, "'2x' is not a finite number"},
      {"m_4=-5,10", {}, "outside its range"},
      {"m_4=1:1e9:1", {}, "too many values"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Axis axis;
    const auto error = parse_axis(c.text, axis);
    if (c.values.empty()) {
      ASSERT_TRUE(error);
      EXPECT_NE(error->message.find(c.message), std::string::npos) << error->message;
    } else {
      ASSERT_FALSE(error) << error->message;
      EXPECT_EQ(axis.values, c.values);
      const std::string_view text = c.text;
      EXPECT_EQ(axis.param->name, text.substr(0, text.find_first_of(" =")));
    }
  }
}

// The first axis varies slowest, the last fastest; a product beyond the limit is flagged.
TEST(Axes, CaseOrderAndShards) {
  const CaseGrid grid(
      {{&param("zc_4"), {0, 1}}, {&param("m_4"), {10, 20, 30}}, {&param("f_fr"), {0.1, 0.2}}});
  ASSERT_EQ(grid.size(), 12);
  std::vector<std::vector<double>> nested;
  for (double a : {0, 1}) {
    for (double b : {10, 20, 30}) {
      for (double c : {0.1, 0.2}) nested.push_back({a, b, c});
    }
  }
  std::vector<double> values;
  for (std::int64_t i = 0; i < grid.size(); ++i) {
    grid.values(i, values);
    EXPECT_EQ(values, nested[static_cast<std::size_t>(i)]) << i;
  }
  const std::vector<double> thousand(1000, 1.0);
  const CaseGrid huge(
      {{&param("m_4"), thousand}, {&param("zc_4"), thousand}, {&param("f_fr"), thousand}});
  EXPECT_GT(huge.size(), kMostCases);

  // Every case in exactly one shard, whatever the number of shards.
  for (int n = 1; n <= 4; ++n) {
    for (std::int64_t i = 0; i < 11; ++i) {
      int owners = 0;
      for (int k = 1; k <= n; ++k) owners += Shard{k, n}.contains(i) ? 1 : 0;
      EXPECT_EQ(owners, 1) << i << " of " << n << " shards";
    }
  }
  for (const char* bad : {"0/3", "4/3", "3", "1/0", "a/3", "1/3x", "-1/3", "/3", ""}) {
    Shard shard;
    EXPECT_TRUE(parse_shard(bad, shard)) << "'" << bad << "'";
  }
  Shard shard;
  ASSERT_FALSE(parse_shard("3/3", shard));
  EXPECT_EQ(shard.index, 3);
  EXPECT_EQ(shard.count, 3);
}

const std::string kHeader = "case,m_4,outcome\n";

std::string rows(std::vector<int> numbers) {
  std::string out;
  for (int n : numbers) out += std::to_string(n) + ",1" + std::to_string(n) + ",completed\n";
  return out;
}

TEST(SweepFile, MergeFindsGapsRepeatsAndOtherHeaders) {
  const std::string whole = kHeader + rows({0, 1, 2, 3, 4, 5, 6});
  const struct {
    const char* what;
    std::vector<std::string> texts;
    const char* error;  // "": merges to `whole`
  } cases[] = {
      {"three shards",
       {kHeader + rows({0, 3, 6}), kHeader + rows({1, 4}), kHeader + rows({2, 5})},
       ""},
      {"in any order",
       {kHeader + rows({2, 5}), kHeader + rows({0, 3, 6}), kHeader + rows({1, 4})},
       ""},
      {"an empty shard", {kHeader + rows({0, 1, 2, 3, 4, 5, 6}), kHeader}, ""},
      {"a shard missing",
       {kHeader + rows({0, 3, 6}), kHeader + rows({2, 5})},
       "case 1 is in none of the files"},
      {"a shard twice",
       {kHeader + rows({0, 3, 6}), kHeader + rows({1, 4}), kHeader + rows({1, 4}),
        kHeader + rows({2, 5})},
       "case 1 appears twice"},
      {"another header",
       {kHeader + rows({0, 3, 6}), "case,zc_4,outcome\n" + rows({1, 4})},
       "b.csv: its header differs"},
      {"a cut row",
       {kHeader + rows({0, 3, 6}), kHeader + rows({1, 4}) + "7,1", kHeader + rows({2, 5})},
       "b.csv: the last row is cut"},
      {"rows out of order",
       {kHeader + rows({0, 2, 1}), kHeader + rows({1, 3, 4, 5, 6})},
       "a.csv: rows are not numbered in increasing order"},
      {"no header", {"", kHeader}, "a.csv: no header"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.texts.size(); ++i)
      names.push_back(std::string(1, static_cast<char>('a' + i)) + ".csv");
    std::string merged;
    const auto error = merge_files(c.texts, names, merged);
    if (*c.error == 0) {
      ASSERT_FALSE(error) << error->message;
      EXPECT_EQ(merged, whole);
    } else {
      ASSERT_TRUE(error);
      EXPECT_NE(error->message.find(c.error), std::string::npos) << error->message;
    }
  }
}

// A file to continue: the whole rows that follow the header and are the next cases of the sweep
// (of its shard); a cut last row is run again.
TEST(SweepFile, ResumeCheck) {
  const std::vector<std::int64_t> all{0, 1, 2, 3}, shard{1, 4, 7};
  const std::string three = kHeader + rows({0, 1, 2});
  const struct {
    const char* what;
    std::string text;
    const std::vector<std::int64_t>& expected;
    std::int64_t rows;
    std::size_t bytes;
    const char* error;
  } cases[] = {
      {"header only", kHeader, all, 0, kHeader.size(), ""},
      {"whole rows", three, all, 3, three.size(), ""},
      {"a cut row", three + "3,13,compl", all, 3, three.size(), ""},
      {"all rows", kHeader + rows({0, 1, 2, 3}), all, 4, kHeader.size() + rows({0, 1, 2, 3}).size(),
       ""},
      {"a shard's rows", kHeader + rows({1, 4}) + "7", shard, 2,
       kHeader.size() + rows({1, 4}).size(), ""},
      {"another header", "case,zc_4,outcome\n" + rows({0}), all, 0, 0, "header"},
      {"a cut header", kHeader.substr(0, 7), all, 0, 0, "header"},
      {"a case skipped", kHeader + rows({0, 2}), all, 0, 0, "row 3 is not the next case"},
      {"another shard's rows", kHeader + rows({0, 3}), shard, 0, 0, "row 2 is not the next case"},
      {"more rows than cases", kHeader + rows({0, 1, 2, 3, 4}), all, 0, 0, "row 6"},
      {"not a number", kHeader + "x,1,completed\n", all, 0, 0, "row 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Resumable r;
    const auto error = check_resumable(c.text, kHeader, c.expected, r);
    if (*c.error == 0) {
      ASSERT_FALSE(error) << error->message;
      EXPECT_EQ(r.rows, c.rows);
      EXPECT_EQ(r.bytes, c.bytes);
    } else {
      ASSERT_TRUE(error);
      EXPECT_NE(error->message.find(c.error), std::string::npos) << error->message;
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
  } cases[] = {
      {"one thread", 1, -1, -1},
      {"four threads", 4, -1, -1},
      {"stopped", 3, 10, -1},
      {"a job fails", 3, -1, 3 * 25 + 1},
  };
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
      EXPECT_THROW(run_ordered(jobs, work, emit, {c.threads, &stop}), std::runtime_error);
      n = static_cast<std::int64_t>(got.size());
      EXPECT_LE(n, 25);
    } else {
      n = run_ordered(jobs, work, emit, {c.threads, &stop});
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

// Cases on three threads give the rows they give one at a time: a floating-point fault in one
// case (a load below 1 kg) and an error after lift-off stay in their own rows.
TEST(OrderedRunner, CasesOnThreadsAsAlone) {
  BaseCase base;
  base.input_text = testing::example_input();
  base.overrides.set(param("t_end"), 0.3);
  const std::vector<double> loads{1000, 0.5, 2500, 1975, 0.5, 1500};
  const std::vector<std::int64_t> jobs{0, 1, 2, 3, 4, 5};
  auto work = [&](std::int64_t i) {
    const double m = loads[static_cast<std::size_t>(i)];
    return sweep_row(i, {m}, run_case(base, {{&param("m_4"), m}}));
  };
  std::vector<std::string> alone, together;
  for (std::int64_t i : jobs) alone.push_back(work(i));
  run_ordered(jobs, work, [&](std::int64_t, const std::string& row) { together.push_back(row); },
              {3, nullptr});
  EXPECT_EQ(together, alone);
  EXPECT_NE(alone[1].find(",error,numerical_failure,"), std::string::npos) << alone[1];
}

}  // namespace
}  // namespace liftsim::sweep
