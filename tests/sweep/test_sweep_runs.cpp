// Sweeps, charts, shards, merge end to end: any thread count, equal to single runs, Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
RunResult liftsim(const CaseDir& dir, const Args& args) {
  return run_liftsim(dir.path(), quiet(args));
}

// A capacity search of many runs on one thread: a minute or more under the sanitizers.
RunResult liftsim_slow(const CaseDir& dir, const Args& args) {
  return Started(dir.path(), Args{"-q"} + args, {}).wait(std::chrono::minutes(10));
}

// A row's field as the JSON summary writes it: empty is null.
json as_json(const std::string& field) {
  if (field.empty()) return nullptr;
  double v = 0;
  const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
  if (r.ec != std::errc() || r.ptr != field.data() + field.size()) return field;
  return v;
}

// The single run of the example with `sets`: its summary and the files it leaves but its input.
struct Single {
  json summary;
  std::map<std::string, std::string> files;
};
Single single_run(const std::vector<std::pair<std::string, std::string>>& sets,
                  const Args& more = {}) {
  CaseDir dir;
  Args args = more;
  for (const auto& [name, value] : sets) args = args + Args{"--set", name + "=" + value};
  const RunResult r = liftsim(dir, args + Args{"--csv", "case.csv", "--summary", "summary.json"});
  EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 1) << r.err;
  fs::remove(dir / "dani.dat");
  return {json::parse(read_file(dir / "summary.json")), files_in(dir.path())};
}

// A sweep over every outcome on 1-3 threads: the same bytes; rows and --save files as single runs.
TEST(SweepRuns, SameFileForAnyJobsAndRowsAndFilesOfTheSingleRuns) {
  const struct {
    const char* what;
    Args base;  // the options of the sweep and of each single run
    Args vary;
    std::size_t cases;
  } sweeps[] = {
      // clang-format off
      {"heights and loads", {"--set", "t_end=2", "--model", "sound", "--stop-when-decided"},
       {"--vary", "zc_4=0,3", "--vary", "m_4=0.5,50,1950,1975,2500"}, 10},
      {"legacy", {"--set", "t_end=2", "--model", "legacy", "--stop-when-decided"},
       {"--vary", "zc_4=3", "--vary", "m_4=1950,1975"}, 2},
      {"stalled", {"--set", "t_end=0.5", "--set", "tol=1e-30", "--work-limit", "50000", "--model", "sound",
                   "--stop-when-decided"},
       {"--vary", "m_4=1000,1500"}, 2},
      // clang-format on
  };
  std::map<std::string, int> outcomes;
  for (const auto& s : sweeps) {
    SCOPED_TRACE(s.what);
    CaseDir dir;
    std::string first;
    for (const std::string jobs : {"1", "2", "3"}) {
      const Args save{"-j", jobs, "--save", "cases-" + jobs};
      const RunResult r = liftsim(dir, Args{"sweep"} + s.base + s.vary + save);
      ASSERT_EQ(r.exit_status, 0) << r.err;
      const std::string file = read_file(dir / "sweep.csv");
      if (first.empty()) first = file;
      EXPECT_EQ(file, first) << "--jobs " << jobs;
    }
    const CsvText rows = split_csv(first);
    ASSERT_EQ(rows.rows.size(), s.cases);
    for (std::size_t i = 0; i < s.cases; ++i) {
      const auto row = [&](const char* name) { return rows.at(i, name); };
      SCOPED_TRACE("case " + row("case"));
      EXPECT_EQ(row("case"), std::to_string(i));
      ++outcomes[row("outcome")];
      std::vector<std::pair<std::string, std::string>> sets;
      for (std::size_t a = 1; a < s.vary.size(); a += 2) {
        const std::string name = s.vary[a].substr(0, s.vary[a].find('='));
        sets.emplace_back(name, row(name.c_str()));
      }
      const Single single = single_run(sets, s.base);
      for (const char* field :
           {"outcome", "verdict", "t_reached", "min_F_kp", "t_min_F_kp", "lift_off_t",
            "max_abs_Fi_3", "load_travel", "restarts", "derivative_calls"})
        EXPECT_EQ(as_json(row(field)), single.summary.at(field)) << field;
      const json& error = single.summary.at("error");
      EXPECT_EQ(as_json(row("error")), error.is_null() ? error : error.at("code"));
      EXPECT_EQ(single.files.size(), run_file_names().size() - 1 + 2);  // CSV, summary; no input
      char name[32];
      std::snprintf(name, sizeof name, "case-%05zu", i);
      for (const char* jobs : {"1", "2", "3"})
        EXPECT_EQ(files_in(dir / (std::string("cases-") + jobs) / name), single.files) << jobs;
    }
  }
  EXPECT_EQ(outcomes, (std::map<std::string, int>{
                          {"completed", 7}, {"decided", 3}, {"error", 2}, {"stalled", 2}}));
}

// Ending runs once decided (the sweeps' default) keeps every verdict and saves work, either model.
TEST(SweepRuns, EndingWhenDecidedKeepsEveryVerdict) {
  for (const char* model : {"sound", "legacy"}) {
    SCOPED_TRACE(model);
    CaseDir dir;
    const Args sweep{"sweep", "--model", model, "--work-limit", "200000", "--vary",
                     "m_4=1,50,300,1900,1975,2100,3500", "--vary", "zc_4=0,1.5,3", "-j", "2"};
    ASSERT_EQ(liftsim(dir, sweep + Args{"-o", "decided.csv"}).exit_status, 0);
    ASSERT_EQ(liftsim(dir, sweep + Args{"-o", "full.csv", "--no-stop-when-decided"}).exit_status, 0);
    const CsvText decided = split_csv(read_file(dir / "decided.csv"));
    const CsvText full = split_csv(read_file(dir / "full.csv"));
    ASSERT_EQ(decided.rows.size(), full.rows.size());
    std::map<std::string, int> verdicts;
    for (std::size_t i = 0; i < full.rows.size(); ++i) {
      SCOPED_TRACE(full.lines[i]);
      EXPECT_EQ(decided.at(i, "verdict"), full.at(i, "verdict"));
      ++verdicts[full.at(i, "verdict")];
      if (decided.at(i, "outcome") == "decided") {
        EXPECT_LT(std::stol(decided.at(i, "derivative_calls")),
                  std::stol(full.at(i, "derivative_calls")));
      }
    }
    EXPECT_GE(verdicts.size(), 2u);
    EXPECT_TRUE(verdicts.count("tip_over")) << ::testing::PrintToString(verdicts);
  }
}

Args resumed_sweep() {
  return {"sweep", "--set", "t_end=2", "--vary", "zc_4=0:4.5:0.5", "--vary", "m_4=1500,1900"};
}

// Ctrl-C: the file holds the head and the first whole rows, the status is 128 + SIGINT; --resume
// finishes it (also cut inside a row, or missing) to the uninterrupted file; another study's file
// or foreign rows are refused and left as they are. The cases touch no file of the folder.
TEST(SweepRuns, ResumeAfterSigintOrACutRowGivesTheUninterruptedFile) {
  CaseDir dir;
  const std::string earlier = "an earlier run's report\r\n";  // the cases write no run file
  write_file(dir / "result.rez", earlier);
  ASSERT_EQ(liftsim(dir, resumed_sweep() + Args{"-j", "2", "-o", "whole.csv"}).exit_status, 0);
  const std::string whole = read_file(dir / "whole.csv");
  const std::size_t head = whole.find('\n', whole.find("\ncase,") + 1) + 1;
  auto rows_in = [&](const std::string& text) { return count(text.substr(head), "\n"); };

  Started sweep(dir.path(), Args{"-q"} + resumed_sweep() + Args{"-j", "2"}, {});
  wait_until([&] {
    const std::string text = read_file(dir / "sweep.csv");
    return text.size() > head && rows_in(text) >= 3;
  });
  ::kill(sweep.pid(), SIGINT);
  const RunResult stopped = sweep.wait();
  ASSERT_EQ(stopped.exit_status, 130) << stopped.err;
  const std::string cut = read_file(dir / "sweep.csv");
  const std::size_t rows = rows_in(cut);
  EXPECT_GE(rows, 3u);
  EXPECT_LT(rows, 20u) << "the sweep ended before the signal";
  EXPECT_EQ(cut, whole.substr(0, cut.size()));
  EXPECT_EQ(cut.back(), '\n');
  const std::string message = "SIGINT stopped the run after " + std::to_string(rows) + " of 20 cases";
  EXPECT_NE(stopped.err.find(message), std::string::npos) << stopped.err;
  EXPECT_NE(stopped.err.find("--resume"), std::string::npos) << stopped.err;

  auto edited = [&](const std::string& from, const std::string& to) {
    std::string text = whole;
    return text.replace(text.find(from), from.size(), to);
  };
  const struct {
    const char* what;
    std::string file;  // "none": no file
    int status;
  } cases[] = {
      {"interrupted", cut, 0},
      {"cut inside a row", whole.substr(0, past(whole, "\n", 16) + 9), 0},
      {"none", "none", 0},
      {"a row of <script>", whole.substr(0, head) + "<script>\n", 2},
      {"other axes", edited("m_4=1500,1900", "m_4=1000:2000:50"), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.file == "none") {
      fs::remove(dir / "sweep.csv");
    } else {
      write_file(dir / "sweep.csv", c.file);
    }
    const RunResult r = liftsim(dir, resumed_sweep() + Args{"-j", "2", "--resume"});
    EXPECT_EQ(r.exit_status, c.status) << r.err;
    EXPECT_EQ(read_file(dir / "sweep.csv"), c.status == 0 ? whole : c.file);
    EXPECT_TRUE(c.status == 0 || r.err.find("--resume: sweep.csv: line") != std::string::npos)
        << r.err;
  }
  EXPECT_EQ(files_in(dir.path()).size(), 4u);  // dani.dat, result.rez, whole.csv and sweep.csv
  EXPECT_EQ(read_file(dir / "result.rez"), earlier);
}

// The capacity chart answers at every height under either model, each answer holding on single
// runs (capacity stable or not tipping, one resolution more not); the legacy model's light loads
// make the verdict change more than once, which the note says; ranges with no change say so.
TEST(Capacity, AnAnswerAtEveryHeightThatSingleRunsConfirm) {
  const Args braking{"--set", "v_0=2.5", "--drive", "off", "--brake",
                     std::string(LIFTSIM_TEST_DATA) + "/brake-ramp.csv"};
  const struct {
    const char* model;
    Args vary;         // the heights, and the load centres of a plate
    Args scenario;     // for the chart and each single run
    const char* mass;  // "": the default range
    const char* resolution;
    std::size_t rows;
    const char* stable_note;  // a capacity is expected unless the note says a range end (null:
                              // one is expected, whatever lighter loads do)
    const char* no_tip_note;
  } cases[] = {
      {"sound", {"--vary", "zc_4=0,3"}, {}, "", "1", 2, "", ""},
      {"legacy", {"--vary", "zc_4=0"}, {}, "", "1", 1, "load_slide at 313 kg; out_of_model at 1 kg",
       "out_of_model at 1 kg"},
      {"legacy", {"--vary", "zc_4=3"}, {}, "", "1", 1, "out_of_model at 1 kg",
       "out_of_model at 1 kg"},
      {"sound", {"--vary", "zc_4=0"}, {}, "1000:1500", "100", 1, "above_range", "above_range"},
      {"sound", {"--vary", "zc_4=0"}, {}, "2000:2500", "100", 1, "below_range", "below_range"},
      // braking from 2.5 m/s: a plate of load centre and height (the higher load slides at once)
      {"sound", {"--vary", "zc_4=0.5", "--vary", "x_load=0.4,0.6"}, braking, "100:4000", "5", 2,
       nullptr, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + ::testing::PrintToString(c.vary) + " " + c.mass);
    CaseDir dir;
    Args args = Args{"capacity", "--model", c.model} + c.vary + c.scenario +
                Args{"--resolution", c.resolution, "-j", "2"};
    if (*c.mass) args = args + Args{"--mass", c.mass};
    const RunResult r = liftsim_slow(dir, args);
    ASSERT_EQ(r.exit_status, 0) << r.err;
    const CsvText csv = split_csv(read_file(dir / "capacity.csv"));
    ASSERT_EQ(csv.rows.size(), c.rows);
    for (std::size_t i = 0; i < csv.rows.size(); ++i) {
      const auto row = [&](const char* name) { return csv.at(i, name); };
      SCOPED_TRACE("zc_4 = " + row("zc_4"));
      if (c.stable_note) {
        EXPECT_EQ(row("stable_note"), c.stable_note);
      }
      EXPECT_EQ(row("no_tip_note"), c.no_tip_note);
      EXPECT_GT(std::stoi(row("runs")), 0);
      if (c.stable_note && std::string_view(c.stable_note).ends_with("_range")) {
        EXPECT_EQ(row("capacity_stable") + row("capacity_no_tip"), "");
        continue;
      }
      const double step = std::stod(c.resolution);
      auto verdict = [&](const std::string& mass, double more) {
        std::vector<std::pair<std::string, std::string>> sets{
            {"zc_4", row("zc_4")}, {"m_4", text(std::stod(mass) + more)}};
        if (c.vary.size() > 2) sets.emplace_back("x_load", row("x_load"));
        return single_run(sets, Args{"--model", c.model, "--stop-when-decided"} + c.scenario)
            .summary.at("verdict")
            .get<std::string>();
      };
      EXPECT_EQ(verdict(row("capacity_stable"), 0), "stable");
      EXPECT_NE(verdict(row("capacity_stable"), step), "stable");
      const std::string at = verdict(row("capacity_no_tip"), 0);
      const std::string above = verdict(row("capacity_no_tip"), step);
      EXPECT_TRUE(at == "stable" || at == "wheel_lift" || at == "load_slide") << at;
      EXPECT_FALSE(above == "stable" || above == "wheel_lift" || above == "load_slide") << above;
    }
  }
  // With --convergence each capacity is searched again at a tenth of tol and h_max, and the row
  // says how far it moved.
  CaseDir dir;
  ASSERT_EQ(liftsim_slow(dir, {"capacity", "--model", "legacy", "--vary", "zc_4=0", "--mass",
                               "1800:2100", "--convergence"})
                .exit_status,
            0);
  const CsvText csv = split_csv(read_file(dir / "capacity.csv"));
  EXPECT_EQ(csv.names.back(), "shift_no_tip");
  EXPECT_EQ(csv.at(0, "shift_stable") + " " + csv.at(0, "shift_no_tip"), "2 13");
}

// Each critical slope holds on braked single runs (stands just below, tips just above); --require.
TEST(TiltTest, CriticalSlopesThatSingleRunsConfirm) {
  CaseDir dir;
  const RunResult r = liftsim_slow(
      dir, {"tilt-test", "--vary", "zc_4=0.5,3", "--require", "20", "--html", "tilt.html"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const std::string file = read_file(dir / "tilt.csv");
  EXPECT_NE(file.find("\n# drive: off; brake: holds from the start"), std::string::npos);
  const CsvText csv = split_csv(file);
  ASSERT_EQ(csv.rows.size(), 2u);
  EXPECT_EQ(csv.at(0, "pass") + csv.at(1, "pass"), "yesno");
  for (std::size_t i = 0; i < csv.rows.size(); ++i) {
    const auto row = [&](const char* name) { return csv.at(i, name); };
    SCOPED_TRACE("zc_4 = " + row("zc_4"));
    const double critical = std::stod(row("critical_slope"));
    EXPECT_NEAR(critical, std::stod(row("rigid_slope")), 2.0);
    auto verdict = [&](double slope) {
      return single_run({{"zc_4", row("zc_4")}, {"slope", text(slope)}, {"f_fr", "10"}},
                        {"--model", "sound", "--drive", "off", "--brake", "hold",
                         "--stop-when-decided"})
          .summary.at("verdict")
          .get<std::string>();
    };
    EXPECT_EQ(verdict(critical - 0.1), "stable");
    EXPECT_EQ(verdict(critical + 0.1), "tip_over");
    EXPECT_EQ(row("below_verdict") + " " + row("above_verdict"), "stable tip_over");
  }
  EXPECT_GT(std::filesystem::file_size(dir / "tilt.html"), 1000u);
}

// Without --vary a tilt test or a chart is of the base case's own height, given as the axis.
TEST(TiltTest, WithoutAnAxisTheBaseCaseHeight) {
  for (const char* command : {"tilt-test", "capacity"}) {
    SCOPED_TRACE(command);
    CaseDir dir;
    auto with = [&](const Args& extra) {
      const RunResult r =
          liftsim_slow(dir, Args{command, "--set", "zc_4=2.5", "--set", "t_end=1"} + extra);
      EXPECT_EQ(r.exit_status, 0) << r.err;
      return r.out;
    };
    EXPECT_EQ(with({"-o", "-"}), with({"--vary", "zc_4=2.5", "-o", "-"}));
  }
}

// Three shards of a capacity chart (the third has no height) run by GNU parallel and merged give
// the unsharded file byte for byte. Sweeps are sharded so by the README's recipe test
// (docs.parallel_recipe) and by a Slurm job array in tests/cluster.
TEST(Shards, ThreeShardsUnderGnuParallelMergeToTheUnshardedFile) {
  if (std::system("command -v parallel > /dev/null 2>&1") != 0) {
    if (std::getenv("CI") != nullptr) FAIL() << "GNU parallel is not installed; CI must have it";
    GTEST_SKIP() << "GNU parallel is not installed (Debian: apt-get install parallel)";
  }
  const Args chart{"capacity", "--set", "t_end=1", "--vary", "zc_4=0,3", "--mass", "1900:2000",
                   "--resolution", "25"};
  CaseDir dir;
  const RunResult whole = liftsim(dir, chart + Args{"-j", "1", "-o", "whole.csv"});
  ASSERT_EQ(whole.exit_status, 0) << whole.err;
  std::string shell = "cd '" + dir.path().string() + "' && parallel --will-cite '" +
                      std::getenv("LIFTSIM_EXE") + "' -q";
  for (const std::string& a : chart) shell += " '" + a + "'";
  ASSERT_EQ(std::system((shell + " -j 1 --shard {}/3 -o shard{}.csv ::: 1 2 3").c_str()), 0);
  const RunResult merged =
      liftsim(dir, {"merge", "shard1.csv", "shard2.csv", "shard3.csv", "-o", "merged.csv"});
  ASSERT_EQ(merged.exit_status, 0) << merged.err;
  EXPECT_EQ(read_file(dir / "merged.csv"), read_file(dir / "whole.csv"));
}

}  // namespace
}  // namespace liftsim::testing
