// The parts of a sweep: values, case order, shards, the ordered runner, the checks before a study
// and the stop request (real cases end to end: test_sweep_runs.cpp; result files: tests/sweepfile).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <functional>
#include <thread>
#include <vector>

#include <sched.h>

#include "sweep/axes.h"
#include "sweep/ordered_runner.h"
#include "sweep/study.h"
#include "support/e2e.h"

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
      {"m_4=3:1:1", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1:2:0", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1:2:-1", {}, "FROM <= TO and STEP > 0"},
      {"m_4=1,,2", {}, "'' is not a number"},
      {"m_4=1,2x", {}, "'2x' is not a number"},
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
      // A file states the axis by its text, which gives the same values again.
      Axis again;
      ASSERT_FALSE(parse_axis(axis_text(axis), again)) << axis_text(axis);
      EXPECT_EQ(again.values, axis.values) << axis_text(axis);
      EXPECT_EQ(axis_text(Axis{axis.param, axis.values}).find(' '), std::string::npos);
    }
  }
}

// The first axis varies slowest, the last fastest; shards as the user types them.
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
  // A shard's cases from their position in it, never listed: every case in exactly one shard.
  for (const std::int64_t total : {0, 1, 7, 9}) {
    std::vector<int> seen(static_cast<std::size_t>(total));
    for (int k = 1; k <= 3; ++k) {
      const Shard s{k, 3};
      for (std::int64_t p = 0; p < s.size(total); ++p) {
        ASSERT_TRUE(s.contains(s.at(p)) && s.at(p) < total) << k << " " << p;
        ++seen[static_cast<std::size_t>(s.at(p))];
      }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), total) << total;
  }
  EXPECT_EQ((Shard{1, 1000}).size(kMostCases), kMostCases / 1000);
}

// Results come back in job order, never far ahead of the last handed back; a stop or a job that
// gives up hands back exactly the first ones; a failing job's exception reaches the caller.
TEST(OrderedRunner, OrderStopAndFailure) {
  const struct {
    const char* what;
    int threads;
    std::int64_t stop_after;  // emitted results before the stop is set; -1: never
    std::int64_t failing;     // job that throws; -1: none
    std::int64_t giving_up;   // job that gives up; -1: none
  } cases[] = {{"one thread", 1, -1, -1, -1},
               {"four threads", 4, -1, -1, -1},
               {"more threads than jobs", 100, -1, -1, -1},
               {"stopped", 3, 10, -1, -1},
               {"a job fails", 3, -1, 25, -1},
               {"a job gives up", 3, -1, -1, 17}};
  constexpr std::int64_t kJobs = 60;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<int> stop{0};
    std::atomic<std::int64_t> finished{0}, emitted{0}, most_ahead{0};
    std::vector<std::int64_t> got;
    auto work = [&](std::int64_t job) -> std::optional<std::string> {
      // Later jobs often finish first.
      std::this_thread::sleep_for(std::chrono::microseconds((job * 7919) % 5 * 300));
      if (job == c.failing) throw std::runtime_error("job failed");
      if (job == c.giving_up) return std::nullopt;
      const std::int64_t ahead = ++finished - emitted.load();
      std::int64_t seen = most_ahead.load();
      while (ahead > seen && !most_ahead.compare_exchange_weak(seen, ahead)) {
      }
      return "row " + std::to_string(job);
    };
    auto emit = [&](std::int64_t job, std::string& row) {
      EXPECT_EQ(row, "row " + std::to_string(job));
      got.push_back(job);
      if (++emitted == c.stop_after) stop = 2;
    };
    std::int64_t n = -1;
    if (c.failing >= 0) {
      EXPECT_THROW(run_ordered<std::string>(kJobs, work, emit, {c.threads, &stop, 4}),
                   std::runtime_error);
      n = static_cast<std::int64_t>(got.size());
      EXPECT_LE(n, c.failing);
    } else {
      n = run_ordered<std::string>(kJobs, work, emit, {c.threads, &stop, 4});
    }
    ASSERT_EQ(static_cast<std::int64_t>(got.size()), n);
    for (std::int64_t i = 0; i < n; ++i) EXPECT_EQ(got[static_cast<std::size_t>(i)], i);
    if (c.stop_after >= 0) {
      EXPECT_GE(n, c.stop_after);
      EXPECT_LT(n, kJobs);
    } else if (c.giving_up >= 0) {
      EXPECT_EQ(n, c.giving_up);
    } else if (c.failing < 0) {
      EXPECT_EQ(n, kJobs);
    }
    EXPECT_LE(most_ahead.load(), 5 * std::min(c.threads, 60)) << "results held back";
  }
}

// The default thread count is the CPUs this process may use, at most the rows and the most.
TEST(OrderedRunner, ThreadsFromTheAffinityMask) {
  cpu_set_t all;
  ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  const int on_one = usable_cpus();
  const int default_threads = thread_count(0, 1000);
  ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(on_one, 1);
  EXPECT_EQ(default_threads, 1);
  EXPECT_EQ(usable_cpus(), CPU_COUNT(&all));
  EXPECT_EQ(thread_count(8, 3), 3);
  EXPECT_EQ(thread_count(8, 0), 1);
  EXPECT_EQ(thread_count(kMostThreads, 1'000'000), kMostThreads);
}

SweepPlan example_sweep(std::vector<const char*> vary) {
  SweepPlan plan;
  plan.base.input_text = liftsim::testing::example_input();
  for (const char* v : vary) {
    plan.axes.emplace_back();
    EXPECT_FALSE(parse_axis(v, plan.axes.back())) << v;
  }
  return plan;
}

// What a sweep or a chart refuses before it runs a case, with the command line's messages.
TEST(Study, ChecksBeforeAnyCase) {
  liftsim::testing::TempDir dir;
  const struct {
    const char* what;
    std::function<void(SweepPlan&)> change;
    const char* message;  // "": accepted
  } cases[] = {
      {"as it is", [](SweepPlan&) {}, ""},
      {"no axis", [](SweepPlan& s) { s.axes.clear(); }, "--vary NAME=... is needed"},
      {"an axis twice", [](SweepPlan& s) { s.axes.push_back(s.axes[0]); }, "m_4 is varied twice"},
      {"too many cases",
       [](SweepPlan& s) {
         s.axes[0].values.assign(20'000, 1000.0);
         s.axes.push_back({&param("zc_4"), std::vector<double>(10000, 0.5)});
       },
       "more than 100000000 cases"},
      {"1024 threads", [](SweepPlan& s) { s.threads = kMostThreads; }, ""},
      {"1025 threads", [](SweepPlan& s) { s.threads = kMostThreads + 1; }, "--jobs 1025: use 1 to 1024"},
      {"-1 threads", [](SweepPlan& s) { s.threads = -1; }, "--jobs -1"},
      {"a shard 4/3", [](SweepPlan& s) { s.shard = {4, 3}; }, "--shard 4/3 is not K/N"},
      {"a slide limit below 0", [](SweepPlan& s) { s.base.thresholds.slide_limit = -1; }, "--slide-limit"},
      {"an end before the start", [](SweepPlan& s) { s.base.overrides.set(param("t_end"), -1); }, "t_end = -1 s"},
      {"a save folder in none", [&](SweepPlan& s) { s.save_dir = (dir / "no/such").string(); }, "does not exist"},
      {"a new save folder", [&](SweepPlan& s) { s.save_dir = (dir / "new").string(); }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SweepPlan plan = example_sweep({"m_4=1000,2000"});
    c.change(plan);
    expect_error(check_sweep(plan), c.message);
  }
  CapacityPlan capacity;
  ASSERT_FALSE(parse_axis("m_4=1000", capacity.heights));
  expect_error(check_capacity(capacity), "capacity searches m_4");
  ASSERT_FALSE(parse_axis("zc_4=0,1", capacity.heights));
  expect_error(check_capacity(capacity), "");
  capacity.mass = {10, 5, 1};
  expect_error(check_capacity(capacity), "--mass LO:HI needs 0 < LO < HI");
}

// The stop request reaches the cases under way, endless ones too: the study ends at once.
TEST(Study, StopReachesTheCasesUnderWay) {
  for (const bool chart : {false, true}) {
    SCOPED_TRACE(chart ? "capacity" : "sweep");
    std::atomic<int> stop{0};
    SweepPlan sweep = example_sweep({"m_4=1000,1001,1002,1003"});
    // A step too small to get anywhere and no work limit: the runs never end by themselves.
    sweep.base.overrides.set(param("h_max"), 1e-300);
    sweep.base.work.derivative_calls = 0;
    sweep.threads = 2;
    sweep.stop = &stop;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = 2;
    });
    std::int64_t rows = 0;
    StudyEnd end;
    if (chart) {
      CapacityPlan capacity;
      capacity.base = sweep.base;
      ASSERT_FALSE(parse_axis("zc_4=0,1,2", capacity.heights));
      capacity.threads = 2;
      capacity.stop = &stop;
      end = run_capacity(capacity, 0, [&](std::int64_t, CapacityRow&) { ++rows; });
    } else {
      end = run_sweep(sweep, 0, [&](SweepRow&) { ++rows; });
    }
    stopper.join();
    EXPECT_TRUE(end.stopped);
    EXPECT_FALSE(end.error);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(end.done, 0);
  }
}

}  // namespace
}  // namespace liftsim::sweep
