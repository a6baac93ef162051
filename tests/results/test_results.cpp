// The CSV, the grid, the summary and the verdict end to end, against what the run's observers get.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "output/step_output.h"
#include "params/overrides.h"
#include "run/simulation.h"
#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace ix = model::ix;
using json = nlohmann::json;
using Sets = std::vector<std::pair<std::string, double>>;

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// A CSV as the program writes it: a header, numbers in their shortest round-trip text, LF ends.
struct Csv : CsvText {
  std::vector<std::vector<double>> values;
  double at(std::size_t row, const std::string& name) const { return values[row][col(name)]; }
};

Csv read_csv(const std::filesystem::path& path) {
  const std::string bytes = read_file(path);
  EXPECT_TRUE(bytes.ends_with('\n') && bytes.find('\r') == std::string::npos) << path;
  Csv csv{split_csv(bytes), {}};
  for (const auto& fields : csv.rows) {
    EXPECT_EQ(fields.size(), csv.names.size());
    std::vector<double>& row = csv.values.emplace_back();
    for (const std::string& f : fields) {
      double v = NAN;
      std::from_chars(f.data(), f.data() + f.size(), v);
      EXPECT_EQ(text(v), f);
      row.push_back(v);
    }
  }
  return csv;
}

// Runs the program on the bundled example with `sets` and `options` in a fresh folder.
std::unique_ptr<CaseDir> run_program(const Sets& sets, const Args& options,
                                     RunResult* result = nullptr) {
  auto dir = std::make_unique<CaseDir>();
  Args args{"-q"};
  for (const auto& [name, value] : sets) args = args + Args{"--set", name + "=" + text(value)};
  const RunResult r = run_liftsim(dir->path(), args + options);
  EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 1) << r.err;
  if (result != nullptr) *result = r;
  return dir;
}

// The state's columns in the order of its components.
const char* const kState[] = {"VX_01.3", "VZ_01.3", "VFi_1", "VFi_3", "VZ_02",  "X_01.3", "Z_01.3",
                              "Fi_1",    "Fi_3",    "Z_02",  "VX_C4", "VFi_tk", "X_C4",   "Fi_tk"};

// Every output point as the observers get it: state, derivative and the CSV's columns.
struct Capture : output::PointObserver {
  struct Point {
    model::StateVector y, dery;
    std::vector<std::pair<std::string, double>> columns;
  };
  std::vector<Point> points;
  void on_point(const output::OutputPoint& p) override {
    Point& q = points.emplace_back();
    std::copy(p.y, p.y + model::kNdim, q.y.begin());
    std::copy(p.dery, p.dery + model::kNdim, q.dery.begin());
    // clang-format off
    q.columns = {{"t", p.x}, {"F_kp", p.pub->F_kp}, {"M_eng", p.pub->M_eng}, {"n_e", p.pub->n_e},
                 {"AX_01.3", p.dery[ix::VX_013]}, {"AZ_01.3", p.dery[ix::VZ_013]},
                 {"AFi_1", p.dery[ix::VFi_1]}, {"AFi_3", p.dery[ix::VFi_3]}, {"AX_C4", p.dery[ix::VX_C4]}};
    // clang-format on
    for (int k = 0; k < model::kNdim; ++k) q.columns.emplace_back(kState[k], p.y[k]);
  }
};

// The cubic Hermite through (ya, da) at 0 and (yb, db) at h, at s·h, by its Bézier control points.
double bezier(double ya, double da, double yb, double db, double h, double s) {
  const double p[4] = {ya, ya + h * da / 3.0, yb - h * db / 3.0, yb};
  const double r = 1.0 - s;
  return r * r * r * p[0] + 3.0 * r * r * s * p[1] + 3.0 * r * s * s * p[2] + s * s * s * p[3];
}

// Every CSV row reads back bit for bit as the run's values at that output point; --grid rows at
// t_start + k·DT take an output point's row where they meet one, else the cubic between the two.
// On the example and on a light load high up that restarts four times.
TEST(Csv, ReadsBackAsTheRunsOwnValuesAndInterpolatesOnTheGrid) {
  const double ten_steps = 10.0 * static_cast<double>(0.001f);  // 10 h_max: on the output points
  const struct {
    const char* what;
    Sets sets;
    bool restarts;
    std::vector<double> grids;
  } runs[] = {{"example", {{"t_end", 2.0}}, false, {ten_steps, 0.0037}},
              {"restarting", {{"m_4", 10.0}, {"zc_4", 2.0}}, true, {0.01}}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.what);
    Capture capture;
    run::RunPlan setup;
    setup.legacy_files = false;
    setup.input_text = example_input();
    setup.observers.push_back(&capture);
    for (const auto& [name, value] : run.sets)
      setup.overrides.set(*params::find_param(name), value);
    const run::RunResult r = run::simulate(setup);
    ASSERT_EQ(r.outcome, run::Outcome::completed);
    EXPECT_EQ(r.restarts > 0, run.restarts) << r.restarts;
    const auto& points = capture.points;

    const Csv dense = read_csv(*run_program(run.sets, {"--csv", "dense.csv"}) / "dense.csv");
    ASSERT_EQ(dense.values.size(), points.size());
    EXPECT_EQ(static_cast<std::int64_t>(dense.values.size()), r.stats.output_calls);
    const std::size_t t = dense.col("t");
    EXPECT_TRUE(same_bits(dense.values.back()[t], r.t_reached));
    std::map<std::string, int> differing;  // only a column's first differing value is shown
    for (std::size_t i = 0; i < dense.values.size(); ++i) {
      for (const auto& [name, value] : points[i].columns) {
        const double got = dense.at(i, name);
        if (!same_bits(got, value) && differing[name]++ == 0) {
          ADD_FAILURE() << name << " at row " << i + 1 << " (t = " << text(dense.values[i][t])
                        << "): " << text(got) << " in the CSV, " << text(value) << " in the run";
        }
      }
    }

    const double t_start = dense.values.front()[t], t_last = dense.values.back()[t];
    for (const double dt : run.grids) {
      SCOPED_TRACE("--grid " + text(dt));
      const auto dir = run_program(run.sets, {"--csv", "grid.csv", "--grid", text(dt)});
      const Csv grid = read_csv(*dir / "grid.csv");
      ASSERT_EQ(grid.names, dense.names);
      std::size_t expected_rows = 0;
      while (t_start + static_cast<double>(expected_rows) * dt <= t_last) ++expected_rows;
      ASSERT_EQ(grid.values.size(), expected_rows);
      std::size_t on_points = 0, b = 0;
      for (std::size_t k = 0; k < grid.values.size(); ++k) {
        const double tk = grid.values[k][t];
        ASSERT_TRUE(same_bits(tk, t_start + static_cast<double>(k) * dt)) << "row " << k;
        while (dense.values[b][t] < tk) ++b;  // first output point at or after the grid time
        if (dense.values[b][t] == tk) {
          ++on_points;
          EXPECT_EQ(grid.lines[k], dense.lines[b]) << "t = " << text(tk);
          continue;
        }
        const auto &pa = points[b - 1], &pb = points[b];
        const double ta = dense.values[b - 1][t], h = dense.values[b][t] - ta, s = (tk - ta) / h;
        for (int i = 0; i < model::kNdim; ++i) {
          const double scale = std::fabs(pa.y[i]) + std::fabs(pb.y[i]) +
                               h * (std::fabs(pa.dery[i]) + std::fabs(pb.dery[i]));
          ASSERT_NEAR(grid.at(k, kState[i]), bezier(pa.y[i], pa.dery[i], pb.y[i], pb.dery[i], h, s),
                      1e-12 * scale)
              << kState[i] << " at t = " << text(tk);
        }
      }
      // Every row on an output point with a step of 10 h_max; otherwise most rows between points.
      EXPECT_TRUE(dt == ten_steps ? on_points == grid.values.size()
                                  : on_points < grid.values.size() / 2)
          << on_points << " of " << grid.values.size() << " rows on output points";
    }
  }
}

// The CSV's bytes as pinned: every output point, a grid, a few columns of a restarting run.
TEST(Csv, BytesAsPinned) {
  const struct {
    Sets sets;
    Args options;
    const char* digest;
  } cases[] = {
      // clang-format off
      {{}, {}, "6796211 e31a4fa43c611f32a01d6a3ac8d25cdd538bd902ac4ac7ae8aefb5c64d073024"},
      {{{"t_end", 2.0}}, {"--grid", "0.0037"}, "365521 ec47f9c94677a6c69c3f0d249e7f5abf310be1fc3c85d73dd92a4ea05e55ecf2"},
      {{{"m_4", 10.0}, {"zc_4", 2.0}}, {"--columns", "F_kp,X_C4,n_e"}, "3513433 5da7e5ce1dbdf5d7a4d150d0a536433ad9d03890ed1540e96ddc1f900c90b649"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    EXPECT_EQ(fingerprint(*run_program(c.sets, Args{"--csv", "x.csv"} + c.options) / "x.csv"), c.digest);
  }
}

// The facts of a run recomputed from its CSV up to the decision (that point included for a
// tip-over, excluded when the state left the model); null without points.
json recompute(const Csv& csv, double lift_force, const json& summary) {
  json f = {{"output_points", 0}, {"lifted_at_end", false}};
  auto most = [&](const char* key, double v, bool larger, const char* t_key = "", double t = 0) {
    if (f[key].is_null() || (larger ? v > f[key].get<double>() : v < f[key].get<double>())) {
      f[key] = v;
      if (*t_key) f[t_key] = t;
    }
  };
  for (const char* key : {"lift_off_t", "min_F_kp", "t_min_F_kp", "max_abs_Fi_3", "t_max_abs_Fi_3",
                          "max_abs_Fi_1", "load_travel", "travel", "min_F_13", "max_F_13",
                          "max_F_12"})
    f[key] = nullptr;
  const json& oom = summary.at("out_of_model");
  const json& tip = summary.at("tip_t");
  for (std::size_t i = 0; i < csv.values.size(); ++i) {
    const double t = csv.at(i, "t"), F_kp = csv.at(i, "F_kp");
    if ((!oom.is_null() && t >= oom.at("t").get<double>()) ||
        (!tip.is_null() && t > tip.get<double>()))
      break;
    f["output_points"] = i + 1;
    most("min_F_kp", F_kp, false, "t_min_F_kp", t);
    f["lifted_at_end"] = F_kp <= lift_force;
    if (F_kp <= lift_force && f["lift_off_t"].is_null()) f["lift_off_t"] = t;
    most("max_abs_Fi_3", std::fabs(csv.at(i, "Fi_3")), true, "t_max_abs_Fi_3", t);
    most("max_abs_Fi_1", std::fabs(csv.at(i, "Fi_1")), true);
    most("load_travel", std::fabs(csv.at(i, "X_C4") - csv.at(0, "X_C4")), true);
    most("travel", std::fabs(csv.at(i, "X_01.3") - csv.at(0, "X_01.3")), true);
    most("min_F_13", csv.at(i, "F_13"), false);
    most("max_F_13", csv.at(i, "F_13"), true);
    most("max_F_12", csv.at(i, "F_12"), true);
  }
  return f;
}

// The verdict on each side of every boundary (masses found by sweeping m_4 in 25 kg steps), and
// the summary's facts equal to the same run's CSV up to the decision.
TEST(Summary, VerdictOnEachSideOfEveryBoundaryAndFactsOfTheCsv) {
  auto on = [](double zc_4, double m_4) { return Sets{{"zc_4", zc_4}, {"m_4", m_4}}; };
  auto statics = [](double m_4) { return Sets{{"t_end", 0.001}, {"m_4", m_4}}; };
  const Sets stalls{{"t_end", 0.5}, {"tol", 1e-30}};  // no step meets the bound
  const Args unlifted{"--lift-force", "-1"}, limited{"--work-limit", "50000"};
  // Rolling backwards over a 1 m drop 1 m behind the traction axle.
  const Args drop{"--road", std::string(LIFTSIM_TEST_DATA) + "/drop-1m.csv"};
  const struct {
    const char* what;
    Sets sets;  // t_end is 2 s unless set here
    Args options;
    const char* verdict;
    std::string outcome;  // and the error's code, if any
  } cases[] = {
      {"example", {}, {}, "stable", "completed"},
      {"example, sound", {}, {"--model", "sound"}, "stable", "completed"},
      // the steered wheels nearly lifted / lifted with the centre of mass behind the axle
      {"1950 kg on the ground", on(0, 1950), {}, "stable", "completed"},
      {"1975 kg on the ground", on(0, 1975), {}, "wheel_lift", "completed"},
      {"lifted by a threshold", {}, {"--lift-force", "10600"}, "wheel_lift", "completed"},
      // lifted with the centre of mass behind / ahead of the traction wheels, pitching forward
      {"1950 kg at 3 m", on(3, 1950), {}, "wheel_lift", "completed"},
      {"1975 kg at 3 m", on(3, 1975), {}, "tip_over", "completed"},
      {"1975 kg at 3 m, ended when decided", on(3, 1975), {"--stop-when-decided"}, "tip_over",
       "decided"},
      // the statics alone (no output point counts as lifted): some / no load on the steered wheels
      {"1990 kg, statics", statics(1990), unlifted, "stable", "completed"},
      {"2000 kg, statics", statics(2000), unlifted, "tip_over", "completed"},
      // an error after lift-off / before any output point
      {"2500 kg", {{"m_4", 2500}}, {}, "tip_over", "error M6205"},
      {"0.5 kg", {{"m_4", 0.5}}, {}, "numerical_failure", "error M6103"},
      // the work used up, with the wheels on the road / counted as lifted from the start
      {"stalled", stalls, limited, "numerical_failure", "stalled M6110"},
      {"stalled, lifted", stalls, limited + Args{"--lift-force", "1e9"}, "tip_over",
       "stalled M6110"},
      // the load's travel: 0.07 m at 50 kg; lifting does not hide a slide; tipping does (2500 kg)
      {"50 kg", on(0, 50), {}, "load_slide", "completed"},
      {"50 kg, limit 0.2 m", on(0, 50), {"--slide-limit", "0.2"}, "stable", "completed"},
      {"1975 kg, limit 1 mm", on(0, 1975), {"--slide-limit", "0.001"}, "load_slide", "completed"},
      // the steered wheel over the drop, more than its radius above the road: outside the model
      {"over a drop", {{"t_end", 6.0}}, drop, "out_of_model", "completed"},
      {"over a drop, ended when decided", {{"t_end", 6.0}}, drop + Args{"--stop-when-decided"},
       "out_of_model", "decided"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sets sets = c.sets;
    if (sets.empty() || sets[0].first != "t_end") sets.insert(sets.begin(), {"t_end", 2.0});
    const auto dir = run_program(sets, c.options + Args{"--csv", "d.csv", "--summary", "s.json"});
    const json s = json::parse(read_file(*dir / "s.json"));
    EXPECT_EQ(s.at("verdict"), c.verdict);
    const json& error = s.at("error");
    EXPECT_EQ(s.at("outcome").get<std::string>() +
                  (error.is_null() ? "" : " " + error.at("code").get<std::string>()),
              c.outcome);
    EXPECT_TRUE(error.is_null() || error.at("message").is_string());
    // The parameters that differ from a plain run, and every fact the CSV shows.
    json changed = json::object();
    for (const auto& [name, value] : sets) changed[name] = value;
    EXPECT_EQ(s.at("parameters"), changed);
    const json facts =
        recompute(read_csv(*dir / "d.csv"), s.at("thresholds").at("lift_force"), s);
    for (const auto& [key, value] : facts.items()) EXPECT_EQ(s.at(key), value) << key;
    // Tipped in the statics: no load on the steered wheels, and no time of tipping.
    if (std::string_view(c.what) == "2000 kg, statics") {
      EXPECT_EQ(s.at("F_kp_0"), 0.0);
      EXPECT_TRUE(s.at("tip_t").is_null());
    }
    if (std::string_view(c.what).starts_with("over a drop")) {
      EXPECT_EQ(s.at("out_of_model").at("quantity"), "steered wheel height above the road");
      EXPECT_EQ(s.at("decided_t"), s.at("out_of_model").at("t"));
    }
  }
}

// A summary says what was run: values from dani.dat (2000 kg at 0.2 m), those set, model, road...
TEST(Summary, SaysWhatWasRun) {
  CaseDir dir(replace_record(replace_record(example_input(), 6, "2000.0000"), 10,
                             "   0.0      0.2"));
  ASSERT_EQ(run_liftsim(dir.path(), {"-q", "--set", "t_end=0.01", "--summary", "s.json"}).exit_status,
            0);
  const json c = json::parse(read_file(dir / "s.json")).at("case");
  std::map<std::string, std::pair<double, std::string>> values;
  for (const json& v : c.at("values")) values[v.at("name")] = {v.at("value"), v.at("source")};
  EXPECT_EQ(values.at("m_4"), std::pair(2000.0, std::string("dani.dat")));
  EXPECT_EQ(values.at("zc_4"), std::pair(0.2, std::string("dani.dat")));
  EXPECT_EQ(values.at("t_end"), std::pair(0.01, std::string("set")));
  EXPECT_TRUE(values.count("xp_1") && !values.count("m_1"));
  EXPECT_EQ(c.at("road").get<std::string>() + "|" + c.at("drive").get<std::string>() + "|" +
                c.at("brake").get<std::string>(),
            "flat|engine law|none");
}

// The summary is the same whatever else the run writes (a CSV, on a grid or not, a page).
TEST(Summary, TheSameWithOrWithoutFilesGridOrPage) {
  const Args drop{"--road", std::string(LIFTSIM_TEST_DATA) + "/drop-1m.csv"};
  for (const Args& c : {Args{"--model", "sound"}, Args{"--set", "m_4=1975", "--set", "zc_4=3"},
                        drop + Args{"--stop-when-decided"}}) {
    SCOPED_TRACE(::testing::PrintToString(c));
    const std::string alone =
        read_file(*run_program({{"t_end", 6.0}}, c + Args{"--summary", "s.json"}) / "s.json");
    for (const Args& more : {Args{"--csv", "d.csv"}, Args{"--csv", "g.csv", "--grid", "0.01"},
                             Args{"--html", "p.html", "--grid", "0.05"}})
      EXPECT_EQ(read_file(*run_program({{"t_end", 6.0}}, c + more + Args{"--summary", "s.json"}) /
                          "s.json"),
                alone)
          << ::testing::PrintToString(more);
  }
}

// --convergence reports the tighter run's verdict and each figure's change (1961 kg: it turns).
TEST(Summary, ConvergenceReportsTheTighterRunsVerdictAndEveryFiguresChange) {
  const struct {
    Sets sets;
    const char* tight_verdict;
    bool holds;
  } cases[] = {
      {{{"t_end", 2.0}}, "stable", true},
      {{{"t_end", 2.0}, {"zc_4", 0}, {"m_4", 1961}}, "stable", false},
  };
  for (const auto& c : cases) {
    const auto dir = run_program(c.sets, {"--convergence", "--summary", "s.json"});
    const json s = json::parse(read_file(*dir / "s.json"));
    const json& conv = s.at("convergence");
    EXPECT_EQ(conv.at("verdict"), c.tight_verdict);
    EXPECT_EQ(conv.at("verdict_holds"), c.holds);
    EXPECT_EQ(conv.at("verdict_holds"), s.at("verdict") == conv.at("verdict"));
    EXPECT_EQ(conv.at("tol"), double{0.004f} * 0.1);
    EXPECT_EQ(conv.at("h_max"), double{0.001f} * 0.1);
    const json& min_F_kp = conv.at("figures").at("min_F_kp");
    EXPECT_EQ(min_F_kp.at("value"), s.at("min_F_kp"));
    EXPECT_EQ(min_F_kp.at("change").get<double>(),
              min_F_kp.at("tight").get<double>() - min_F_kp.at("value").get<double>());
  }
}

// A threshold equal to the run's own value counts on the limit's side, the next double does not.
// "--summary -" writes lines on standard output alone, the progress going to standard error.
TEST(Summary, ThresholdsAtTheRunsOwnValuesAndLinesOnStandardOutput) {
  const struct {
    Sets sets;
    const char* option;
    const char* fact;
    const char* at;     // verdict with the threshold at the run's value
    const char* below;  // with the next smaller double
  } cases[] = {
      {{{"t_end", 2.0}}, "--slide-limit", "load_travel", "stable", "load_slide"},
      // clang-format off
      {{{"t_end", 2.0}, {"zc_4", 0}, {"m_4", 1950}}, "--lift-force", "min_F_kp", "wheel_lift", "stable"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    const auto first = run_program(c.sets, {"--summary", "summary.json"});
    const double value = json::parse(read_file(*first / "summary.json")).at(c.fact);
    ASSERT_GT(value, 0.0);
    for (const auto& [threshold, verdict] :
         {std::pair{value, c.at}, std::pair{std::nextafter(value, 0.0), c.below}}) {
      const auto dir = run_program(c.sets, {c.option, text(threshold), "--summary", "s.json"});
      const json s = json::parse(read_file(*dir / "s.json"));
      EXPECT_EQ(s.at("verdict"), verdict) << c.option << " " << text(threshold);
      EXPECT_EQ(s.at(c.fact), value);
    }
  }
  // The lines follow the progress lines on standard output and end as they do, in CR LF.
  RunResult r;
  run_program({{"t_end", 0.01}}, {"--summary", "-"}, &r);
  EXPECT_TRUE(r.err.ends_with("Stop - Program terminated.\r\n")) << r.err;
  const std::string& lines = r.out;
  EXPECT_TRUE(lines.starts_with("verdict: stable\r\n")) << lines;
  EXPECT_NE(lines.find("\noutcome: completed\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("\nparameters changed: t_end = 0.01\r\n"), std::string::npos) << lines;
  EXPECT_EQ(count(r.out, "\n"), count(r.out, "\r\n")) << r.out;
}

}  // namespace
}  // namespace liftsim::testing
