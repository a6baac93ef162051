// The dense CSV, the time grid, the run summary and the verdict, end to end on the built program,
// against what the same run hands its observers through the library.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
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

std::string text(double v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// A CSV as the program writes it: a header, rows of numbers, LF line ends.
struct Csv {
  std::vector<std::string> names;
  std::vector<std::string> lines;  // the rows' text, without the line feed
  std::vector<std::vector<double>> rows;

  std::size_t col(const std::string& name) const {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return i;
    }
    ADD_FAILURE() << "no column " << name;
    return 0;
  }
  double at(std::size_t row, const std::string& name) const { return rows[row][col(name)]; }
};

std::vector<std::string> split(std::string_view line) {
  std::vector<std::string> out;
  for (std::size_t start = 0;;) {
    const std::size_t comma = line.find(',', start);
    out.emplace_back(line.substr(start, comma - start));
    if (comma == std::string_view::npos) return out;
    start = comma + 1;
  }
}

Csv read_csv(const std::filesystem::path& path) {
  const std::string bytes = read_file(path);
  Csv csv;
  EXPECT_EQ(bytes.find('\r'), std::string::npos) << path;
  EXPECT_TRUE(!bytes.empty() && bytes.back() == '\n') << path;
  std::size_t pos = 0;
  for (bool header = true; pos < bytes.size(); header = false) {
    const std::size_t lf = bytes.find('\n', pos);
    const std::string line = bytes.substr(pos, lf - pos);
    pos = lf == std::string::npos ? bytes.size() : lf + 1;
    const std::vector<std::string> fields = split(line);
    if (header) {
      csv.names = fields;
      continue;
    }
    EXPECT_EQ(fields.size(), csv.names.size()) << line;
    std::vector<double>& row = csv.rows.emplace_back();
    for (const std::string& f : fields) {
      double v = std::numeric_limits<double>::quiet_NaN();
      const auto r = std::from_chars(f.data(), f.data() + f.size(), v);
      EXPECT_TRUE(r.ec == std::errc() && r.ptr == f.data() + f.size()) << "'" << f << "'";
      // The shortest text: no other text of fewer characters reads back as the same double.
      EXPECT_EQ(text(v), f);
      row.push_back(v);
    }
    csv.lines.push_back(line);
  }
  return csv;
}

struct Case {
  Sets sets;
  std::vector<std::string> options;  // more command-line options
};

// Runs the program on the bundled example with `c` in a fresh folder; returns the folder.
std::unique_ptr<TempDir> run_program(const Case& c, const std::vector<std::string>& outputs,
                                     RunResult* result = nullptr) {
  auto dir = std::make_unique<TempDir>();
  write_file(*dir / "dani.dat", example_input());
  std::vector<std::string> args{"-q"};
  for (const auto& [name, value] : c.sets) {
    args.push_back("--set");
    args.push_back(name + "=" + text(value));
  }
  args.insert(args.end(), c.options.begin(), c.options.end());
  args.insert(args.end(), outputs.begin(), outputs.end());
  const RunResult r = run_liftsim(dir->path(), args);
  EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 1) << r.err;
  if (result != nullptr) *result = r;
  return dir;
}

// Every output point as the run hands it to its observers.
struct Point {
  double t;
  model::StateVector y, dery;
  double F_kp, M_eng, n_e;
};

class Capture : public output::PointObserver {
 public:
  void on_point(const output::OutputPoint& p) override {
    Point& q = points.emplace_back();
    q.t = p.x;
    std::copy(p.y, p.y + model::kNdim, q.y.begin());
    std::copy(p.dery, p.dery + model::kNdim, q.dery.begin());
    q.F_kp = p.pub->F_kp;
    q.M_eng = p.pub->M_eng;
    q.n_e = p.pub->n_e;
  }
  std::vector<Point> points;
};

run::RunResult run_library(const Sets& sets, Capture& capture) {
  run::RunSpec setup;
  setup.legacy_files = false;
  setup.input_text = example_input();
  for (const auto& [name, value] : sets) setup.overrides.set(*params::find_param(name), value);
  setup.observers.push_back(&capture);
  return run::simulate(setup);
}

// The state columns by the state's own names, the accelerations by the velocity they change.
const std::pair<const char*, int> kStateColumns[] = {
    {"VX_01.3", ix::VX_013}, {"VZ_01.3", ix::VZ_013}, {"VFi_1", ix::VFi_1},  {"VFi_3", ix::VFi_3},
    {"VZ_02", ix::VZ_02},    {"X_01.3", ix::X_013},   {"Z_01.3", ix::Z_013}, {"Fi_1", ix::Fi_1},
    {"Fi_3", ix::Fi_3},      {"Z_02", ix::Z_02},      {"VX_C4", ix::VX_C4},  {"VFi_tk", ix::VFi_tk},
    {"X_C4", ix::X_C4},      {"Fi_tk", ix::Fi_tk}};
const std::pair<const char*, int> kAccelerationColumns[] = {{"AX_01.3", ix::VX_013},
                                                            {"AZ_01.3", ix::VZ_013},
                                                            {"AFi_1", ix::VFi_1},
                                                            {"AFi_3", ix::VFi_3},
                                                            {"AX_C4", ix::VX_C4}};

// The example for 2 s, and a light load high up that makes the step control give up and restart
// four times before it completes its 10 s.
const struct {
  const char* what;
  Sets sets;
  bool restarts;
} kRuns[] = {
    {"example", {{"t_end", 2.0}}, false},
    {"restarting", {{"m_4", 10.0}, {"zc_4", 2.0}}, true},
};

// Every row of the CSV reads back, bit for bit, as the values the run handed its observers at that
// output point: one row per point, the last at the time the run reached.
TEST(Csv, ReadsBackAsTheRunsOwnValues) {
  for (const auto& run : kRuns) {
    SCOPED_TRACE(run.what);
    Capture capture;
    const run::RunResult r = run_library(run.sets, capture);
    ASSERT_EQ(r.outcome, run::Outcome::completed);
    EXPECT_EQ(r.restarts > 0, run.restarts) << r.restarts;

    const auto dir = run_program({run.sets, {}}, {"--csv", "dense.csv"});
    const Csv csv = read_csv(*dir / "dense.csv");
    // The columns a user is promised, whatever else there is.
    for (const char* name : {"t", "F_13", "F_12", "F_tp", "F_kp", "M_eng", "x_k", "z_k", "n_e"}) {
      csv.col(name);
    }
    ASSERT_EQ(csv.rows.size(), capture.points.size());
    EXPECT_EQ(static_cast<std::int64_t>(csv.rows.size()), r.stats.output_calls);
    EXPECT_TRUE(same_bits(csv.rows.back()[csv.col("t")], r.t_reached));

    // (column, expected value) of one row; only the first differing value of a column is shown.
    std::map<std::string, int> differing;
    for (std::size_t i = 0; i < csv.rows.size(); ++i) {
      const Point& p = capture.points[i];
      std::vector<std::pair<std::string, double>> expected{
          {"t", p.t}, {"F_kp", p.F_kp}, {"M_eng", p.M_eng}, {"n_e", p.n_e}};
      for (const auto& [name, k] : kStateColumns) expected.emplace_back(name, p.y[k]);
      for (const auto& [name, k] : kAccelerationColumns) expected.emplace_back(name, p.dery[k]);
      for (const auto& [name, value] : expected) {
        const double got = csv.at(i, name);
        if (!same_bits(got, value) && differing[name]++ == 0) {
          ADD_FAILURE() << name << " at row " << i + 1 << " (t = " << text(p.t)
                        << "): " << text(got) << " in the CSV, " << text(value) << " in the run";
        }
      }
    }
  }
}

// The cubic with values and slopes (ya, da) at 0 and (yb, db) at h, at s·h, through its Bézier
// control points (the program writes it in the Hermite basis).
double bezier(double ya, double da, double yb, double db, double h, double s) {
  const double p[4] = {ya, ya + h * da / 3.0, yb - h * db / 3.0, yb};
  const double r = 1.0 - s;
  return r * r * r * p[0] + 3.0 * r * r * s * p[1] + 3.0 * r * s * s * p[2] + s * s * s * p[3];
}

// --grid: rows at t_start + k·DT up to the last time reached; a grid time that is an output point's
// takes that point's row; between points the state follows the cubic through the two points'
// values and derivatives.
TEST(Csv, GridRowsInterpolateBetweenOutputPoints) {
  // 10 h_max: on the output points of a run that never halves its step; 3.7 ms: between them.
  const double ten_steps = 10.0 * static_cast<double>(0.001f);
  const struct {
    const char* what;
    int run;
    double dt;
  } cases[] = {
      {"example, on its points", 0, ten_steps},
      {"example, between its points", 0, 0.0037},
      {"restarting, between its points", 1, 0.01},
  };
  // Slopes of the state columns: a position's is its velocity; a velocity's, its acceleration.
  const std::pair<const char*, const char*> slopes[] = {
      {"X_01.3", "VX_01.3"},  {"Z_01.3", "VZ_01.3"}, {"Fi_1", "VFi_1"},   {"Fi_3", "VFi_3"},
      {"Z_02", "VZ_02"},      {"X_C4", "VX_C4"},     {"Fi_tk", "VFi_tk"}, {"VX_01.3", "AX_01.3"},
      {"VZ_01.3", "AZ_01.3"}, {"VFi_1", "AFi_1"},    {"VFi_3", "AFi_3"},  {"VX_C4", "AX_C4"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Case run{kRuns[c.run].sets, {}};
    const auto dense_dir = run_program(run, {"--csv", "dense.csv"});
    const auto grid_dir = run_program(run, {"--csv", "grid.csv", "--grid", text(c.dt)});
    const Csv dense = read_csv(*dense_dir / "dense.csv");
    const Csv grid = read_csv(*grid_dir / "grid.csv");
    ASSERT_EQ(grid.names, dense.names);
    ASSERT_FALSE(dense.rows.empty());
    const std::size_t t = dense.col("t");
    const double t_start = dense.rows.front()[t], t_last = dense.rows.back()[t];

    std::size_t expected_rows = 0;
    while (t_start + static_cast<double>(expected_rows) * c.dt <= t_last) ++expected_rows;
    ASSERT_EQ(grid.rows.size(), expected_rows);

    std::size_t on_points = 0, between = 0, b = 0;
    for (std::size_t k = 0; k < grid.rows.size(); ++k) {
      const std::vector<double>& row = grid.rows[k];
      ASSERT_TRUE(same_bits(row[t], t_start + static_cast<double>(k) * c.dt)) << "row " << k;
      while (dense.rows[b][t] < row[t]) ++b;  // first output point at or after the grid time
      if (dense.rows[b][t] == row[t]) {
        ++on_points;
        EXPECT_EQ(grid.lines[k], dense.lines[b]) << "t = " << text(row[t]);
        continue;
      }
      ++between;
      const std::vector<double>&pa = dense.rows[b - 1], &pb = dense.rows[b];
      const double h = pb[t] - pa[t], s = (row[t] - pa[t]) / h;
      for (const auto& [name, slope] : slopes) {
        const std::size_t v = dense.col(name), d = dense.col(slope);
        const double want = bezier(pa[v], pa[d], pb[v], pb[d], h, s);
        const double scale =
            std::fabs(pa[v]) + std::fabs(pb[v]) + h * (std::fabs(pa[d]) + std::fabs(pb[d]));
        ASSERT_NEAR(row[v], want, 1e-12 * scale)
            << name << " at t = " << text(row[t]) << " between " << text(pa[t]) << " and "
            << text(pb[t]);
      }
    }
    if (c.dt == ten_steps) {
      EXPECT_EQ(between, 0u);
    } else {
      EXPECT_GT(between, grid.rows.size() / 2);
    }
    EXPECT_GT(on_points, 0u);  // the start point at least
  }
}

// Facts of a run recomputed from its CSV of every output point.
struct Recomputed {
  std::size_t points = 0;
  double t_reached = 0, min_F_kp = INFINITY, t_min_F_kp = 0;
  std::optional<double> lift_off_t;
  bool lifted_at_end = false;
  double max_abs_Fi_3 = -1, t_max_abs_Fi_3 = 0, max_abs_Fi_1 = 0, load_travel = 0;
  double min_F_13 = INFINITY, max_F_13 = -INFINITY, max_F_12 = -INFINITY;
};

Recomputed recompute(const Csv& csv, double lift_force) {
  Recomputed f;
  f.points = csv.rows.size();
  for (std::size_t i = 0; i < csv.rows.size(); ++i) {
    const double t = csv.at(i, "t"), F_kp = csv.at(i, "F_kp");
    f.t_reached = t;
    if (F_kp < f.min_F_kp) f.min_F_kp = F_kp, f.t_min_F_kp = t;
    f.lifted_at_end = F_kp <= lift_force;
    if (f.lifted_at_end && !f.lift_off_t) f.lift_off_t = t;
    const double Fi_3 = std::fabs(csv.at(i, "Fi_3"));
    if (Fi_3 > f.max_abs_Fi_3) f.max_abs_Fi_3 = Fi_3, f.t_max_abs_Fi_3 = t;
    f.max_abs_Fi_1 = std::max(f.max_abs_Fi_1, std::fabs(csv.at(i, "Fi_1")));
    f.load_travel = std::max(f.load_travel, std::fabs(csv.at(i, "X_C4") - csv.at(0, "X_C4")));
    f.min_F_13 = std::min(f.min_F_13, csv.at(i, "F_13"));
    f.max_F_13 = std::max(f.max_F_13, csv.at(i, "F_13"));
    f.max_F_12 = std::max(f.max_F_12, csv.at(i, "F_12"));
  }
  return f;
}

// The summary says what the CSV of the same run shows, over every output point: on a run that
// stays on its wheels, one that lifts them, and one that restarts and fails after lifting them.
TEST(Summary, EqualsARecomputationFromTheCsv) {
  const struct {
    const char* what;
    Case run;
  } cases[] = {
      {"stable", {{{"t_end", 2.0}}, {}}},
      {"wheels lifted", {{{"t_end", 2.0}, {"zc_4", 0.0}, {"m_4", 1975.0}}, {}}},
      {"lifted, then an error", {{{"t_end", 2.0}, {"m_4", 2500.0}}, {}}},
      {"lifted by a threshold", {{{"t_end", 2.0}}, {"--lift-force", "10600"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto dir = run_program(c.run, {"--csv", "dense.csv", "--summary", "summary.json"});
    const json s = json::parse(read_file(*dir / "summary.json"));
    const Recomputed f =
        recompute(read_csv(*dir / "dense.csv"), s.at("thresholds").at("lift_force"));
    EXPECT_EQ(s.at("output_points"), f.points);
    EXPECT_EQ(s.at("t_reached"), f.t_reached);
    EXPECT_EQ(s.at("min_F_kp"), f.min_F_kp);
    EXPECT_EQ(s.at("t_min_F_kp"), f.t_min_F_kp);
    EXPECT_EQ(s.at("lift_off_t"), f.lift_off_t ? json(*f.lift_off_t) : json(nullptr));
    EXPECT_EQ(s.at("lifted_at_end"), f.lifted_at_end);
    EXPECT_EQ(s.at("max_abs_Fi_3"), f.max_abs_Fi_3);
    EXPECT_EQ(s.at("t_max_abs_Fi_3"), f.t_max_abs_Fi_3);
    EXPECT_EQ(s.at("max_abs_Fi_1"), f.max_abs_Fi_1);
    EXPECT_EQ(s.at("load_travel"), f.load_travel);
    EXPECT_EQ(s.at("min_F_13"), f.min_F_13);
    EXPECT_EQ(s.at("max_F_13"), f.max_F_13);
    EXPECT_EQ(s.at("max_F_12"), f.max_F_12);
  }
}

// The verdict on real runs of the truck, with cases on each side of every boundary. The mass
// boundaries were found by sweeping m_4 over 1500..2000 kg in 25 kg steps at several heights.
TEST(Summary, VerdictOnEachSideOfEveryBoundary) {
  const Sets two_s{{"t_end", 2.0}};
  auto with = [](Sets sets, Sets more) {
    sets.insert(sets.end(), more.begin(), more.end());
    return sets;
  };
  const Sets stalls{{"t_end", 0.5}, {"tol", 1e-30}};  // no step meets the bound
  const struct {
    const char* what;
    Case run;
    const char* verdict;
    const char* outcome;
    const char* code;  // of the error, "" for none
  } cases[] = {
      {"example", {two_s, {}}, "stable", "completed", ""},
      // the steered wheels nearly lifted / lifted with the centre of mass behind the axle
      {"1950 kg on the ground",
       {with(two_s, {{"zc_4", 0}, {"m_4", 1950}}), {}},
       "stable",
       "completed",
       ""},
      {"1975 kg on the ground",
       {with(two_s, {{"zc_4", 0}, {"m_4", 1975}}), {}},
       "wheel_lift",
       "completed",
       ""},
      // lifted with the centre of mass behind / ahead of the traction axle
      {"1950 kg at 3 m",
       {with(two_s, {{"zc_4", 3}, {"m_4", 1950}}), {}},
       "wheel_lift",
       "completed",
       ""},
      {"1975 kg at 3 m",
       {with(two_s, {{"zc_4", 3}, {"m_4", 1975}}), {}},
       "tip_over",
       "completed",
       ""},
      // the statics alone (no output point counts as lifted): some load / none on the steered
      // wheels
      {"1990 kg, statics",
       {{{"t_end", 0.001}, {"m_4", 1990}}, {"--lift-force", "-1"}},
       "stable",
       "completed",
       ""},
      {"2000 kg, statics",
       {{{"t_end", 0.001}, {"m_4", 2000}}, {"--lift-force", "-1"}},
       "tip_over",
       "completed",
       ""},
      // an error after lift-off / before any output point
      {"2500 kg", {with(two_s, {{"m_4", 2500}}), {}}, "tip_over", "error", "M6205"},
      {"0.5 kg", {with(two_s, {{"m_4", 0.5}}), {}}, "numerical_failure", "error", "M6103"},
      // stalled restarts, with the wheels on the road / counted as lifted from the start
      {"stalled", {stalls, {"--max-restarts", "3"}}, "numerical_failure", "stalled", "M6110"},
      {"stalled, lifted",
       {stalls, {"--max-restarts", "3", "--lift-force", "1e9"}},
       "tip_over",
       "stalled",
       "M6110"},
      // the load's travel: 0.108 m at 50 kg; lifting does not hide a slide; tipping does (2500 kg)
      {"50 kg", {with(two_s, {{"zc_4", 0}, {"m_4", 50}}), {}}, "load_slide", "completed", ""},
      {"50 kg, limit 0.2 m",
       {with(two_s, {{"zc_4", 0}, {"m_4", 50}}), {"--slide-limit", "0.2"}},
       "stable",
       "completed",
       ""},
      {"1975 kg on the ground, limit 1 mm",
       {with(two_s, {{"zc_4", 0}, {"m_4", 1975}}), {"--slide-limit", "0.001"}},
       "load_slide",
       "completed",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto dir = run_program(c.run, {"--summary", "summary.json"});
    const json s = json::parse(read_file(*dir / "summary.json"));
    EXPECT_EQ(s.at("verdict"), c.verdict);
    EXPECT_EQ(s.at("outcome"), c.outcome);
    if (*c.code == 0) {
      EXPECT_TRUE(s.at("error").is_null());
    } else {
      EXPECT_EQ(s.at("error").at("code"), c.code);
      EXPECT_TRUE(s.at("error").at("message").is_string());
    }
    // Every field a user is promised, and the parameters that differ from a plain run.
    for (const char* field :
         {"outcome",       "error",        "t_reached",      "restarts",     "derivative_calls",
          "output_points", "F_kp_0",       "F_tp_0",         "min_F_kp",     "t_min_F_kp",
          "lift_off_t",    "max_abs_Fi_3", "t_max_abs_Fi_3", "max_abs_Fi_1", "load_travel",
          "min_F_13",      "max_F_13",     "max_F_12",       "parameters",   "verdict"}) {
      EXPECT_TRUE(s.contains(field)) << field;
    }
    json changed = json::object();
    for (const auto& [name, value] : c.run.sets) changed[name] = value;
    EXPECT_EQ(s.at("parameters"), changed);
    if (std::string_view(c.what) == "2000 kg, statics") {
      EXPECT_EQ(s.at("F_kp_0"), 0.0);
      EXPECT_TRUE(s.at("lift_off_t").is_null());
      EXPECT_TRUE(s.at("tip_t").is_null());
    }
    if (std::string_view(c.what) == "1975 kg at 3 m") {
      EXPECT_GT(s.at("F_kp_0"), 0.0);
    }
  }
}

// The thresholds at the run's own values: a load that travelled exactly the limit is held, a
// hair more is not; a smallest wheel force exactly at the lift force counts as lifted.
TEST(Summary, ThresholdsAtTheRunsOwnValues) {
  const struct {
    const char* what;
    Sets sets;
    const char* option;
    const char* fact;
    const char* at;     // verdict with the threshold at the run's value
    const char* below;  // with the next smaller double
  } cases[] = {
      {"load travel", {{"t_end", 2.0}}, "--slide-limit", "load_travel", "stable", "load_slide"},
      {"steered-wheel force",
       {{"t_end", 2.0}, {"zc_4", 0}, {"m_4", 1950}},
       "--lift-force",
       "min_F_kp",
       "wheel_lift",
       "stable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto first = run_program({c.sets, {}}, {"--summary", "summary.json"});
    const double value = json::parse(read_file(*first / "summary.json")).at(c.fact);
    ASSERT_GT(value, 0.0);
    for (const auto& [threshold, verdict] :
         {std::pair{value, c.at}, std::pair{std::nextafter(value, 0.0), c.below}}) {
      const auto dir = run_program({c.sets, {c.option, text(threshold)}}, {"--summary", "s.json"});
      const json s = json::parse(read_file(*dir / "s.json"));
      EXPECT_EQ(s.at("verdict"), verdict) << c.option << " " << text(threshold);
      EXPECT_EQ(s.at(c.fact), value);
    }
  }
}

// "--summary -": the same facts as lines on standard output, after the run's own lines.
TEST(Summary, LinesOnStandardOutputAfterTheRun) {
  RunResult r;
  const auto dir = run_program({{{"t_end", 0.01}}, {}}, {"--summary", "-"}, &r);
  EXPECT_EQ(r.exit_status, 0);
  const std::size_t stop = r.out.find("Stop - Program terminated.\r\n");
  ASSERT_NE(stop, std::string::npos) << r.out;
  const std::string lines = r.out.substr(stop + 28);
  EXPECT_EQ(lines.rfind("verdict: stable\n", 0), 0u) << lines;
  EXPECT_NE(lines.find("\noutcome: completed\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("\nparameters changed: t_end = 0.01\n"), std::string::npos) << lines;
}

}  // namespace
}  // namespace liftsim::testing
