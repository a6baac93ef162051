// The page writer alone: its data block, text kept as text, refused data (browsers: test_browser).
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>
#include <string>

#include "html/report.h"
#include "support/e2e.h"
#include "support/page_data.h"

namespace liftsim::html {
namespace {

using nlohmann::json;
using testing::count;
using testing::page_data;
const double kInf = std::numeric_limits<double>::infinity();

// A run of `rows` points, a 3 x 2 stability map with an empty cell, a capacity table with a gap.
RunPage small_run(std::size_t rows) {
  RunPage p;
  p.title = "run";
  p.columns = {{"t", "s", "time", "time"},
               {"X_01.3", "m", "positions", "traction axle"},
               {"F_kp", "N", "forces", "steered wheels on the road"}};
  for (std::size_t i = 0; i < rows; ++i) p.rows.push_back({0.01 * i, std::sin(i) / 3, 0.1 * i});
  p.summary = {{"verdict", "stable"}, {"outcome", "completed"}};
  return p;
}

SweepPage small_sweep() {
  SweepPage p{"sweep", {}, {}, {"m_4", "kg", {500, 1000, 1500}}, SweepAxis{"zc_4", "m", {0, 3}}, {}};
  for (std::size_t i = 0; i < 5; ++i) p.cases.push_back({i % 3, i / 3, "stable", {}});
  return p;
}

CapacityPage small_capacity() {
  CapacityPage p;
  p.title = "capacity";
  p.rows = {{0, std::nullopt, 2100, 2500, ""},
            {1, std::nullopt, 1900, 2300, ""},
            {2, std::nullopt, std::nullopt, 2000, "below_range"}};
  return p;
}

void write_page(std::ostream& out, const RunPage& p) {
  write_run_page(out, p);
}
void write_page(std::ostream& out, const SweepPage& p) {
  write_sweep_page(out, p);
}
void write_page(std::ostream& out, const CapacityPage& p) {
  write_capacity_page(out, p);
}
template <class Page>
std::string html(const Page& p) {
  std::ostringstream out;
  write_page(out, p);
  return out.str();
}

// Under floating-point traps, a page of awkward values is written without setting one off; time
// comes back as binary64, the rest as binary32 rounds it, non-finite as such; metadata keep every
// digit, non-finite numbers there become null.
TEST(Writer, RunDataRoundTripWithoutATrap) {
  RunPage run = small_run(301);  // 301 x 8 and 301 x 4 bytes: both paddings of base64
  // clang-format off
  const double awkward[] = {1e300, -kInf, std::numeric_limits<double>::denorm_min(), -1e-40, -0.0,
                            0x1.fffffefffffffp+127, 0x1.ffffffp+127, std::nan("")};
  // clang-format on
  for (std::size_t i = 0; i < std::size(awkward); ++i) run.rows[7 + i][1 + i % 2] = awkward[i];
  run.truck.zh_1 = 0.456;
  run.summary["min_F_kp"] = std::nan("");
  run.case_params = {{"f_fr", 0.1 + 0.2, "", "set"}, {"m_4", kInf, "kg", "dani.dat"}};
  CapacityPage capacity = small_capacity();
  capacity.rows[1].capacity_stable = std::nan("");
  feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  const json data = page_data(html(run));
  const json capacity_data = page_data(html(capacity));
  fedisableexcept(FE_ALL_EXCEPT);

  EXPECT_EQ(data["kind"], "run");
  EXPECT_EQ(data["rows"], 301);
  EXPECT_EQ(data["rows_total"], 301);  // every row shown
  EXPECT_TRUE(data["csv"].is_null());
  EXPECT_EQ(data["case"][0]["value"].get<double>(), 0.1 + 0.2);
  EXPECT_TRUE(data["case"][1]["value"].is_null());
  EXPECT_TRUE(data["summary"]["min_F_kp"].is_null());
  EXPECT_EQ(data["truck"]["zh_1"].get<double>(), 0.456);
  EXPECT_TRUE(capacity_data["rows"][1]["capacity_stable"].is_null());
  EXPECT_TRUE(capacity_data["rows"][2]["capacity_stable"].is_null());
  EXPECT_EQ(capacity_data["rows"][2]["note"], "below_range");
  ASSERT_EQ(data["columns"].size(), run.columns.size());
  for (std::size_t j = 0; j < run.columns.size(); ++j) {
    const json& c = data["columns"][j];
    EXPECT_EQ(c["name"], run.columns[j].name);
    EXPECT_EQ(c["group"], run.columns[j].group);
    EXPECT_EQ(c["type"], j == 0 ? "f64" : "f32");
    ASSERT_EQ(testing::base64_decode(c["data"]).size(), run.rows.size() * (j == 0 ? 8 : 4));
    const std::vector<double> values = testing::page_column(c);
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
      const double v = j == 0 ? run.rows[i][j] : static_cast<float>(run.rows[i][j]);
      ASSERT_EQ(std::bit_cast<std::uint64_t>(values[i]), std::bit_cast<std::uint64_t>(v))
          << c["name"] << " row " << i;
    }
  }
}

// The rows that fit a budget of column data take no more than it, and not much less.
TEST(Writer, RowBudget) {
  for (const std::size_t columns : {1u, 3u, 34u}) {
    for (const std::size_t budget : {1000u, 300'000u}) {
      RunPage p = small_run(0);
      p.columns.resize(columns, {"c", "", "", ""});
      for (std::size_t j = 1; j < columns; ++j) p.columns[j].name = "c" + std::to_string(j);
      p.rows.assign(run_rows_within(columns, budget), std::vector<double>(columns, 1.0));
      std::size_t bytes = 0;
      const json shown = page_data(html(p));
      for (const json& c : shown["columns"]) bytes += c["data"].get<std::string>().size();
      const std::size_t row = (8 + 4 * (columns - 1)) * 4 / 3 + 1;
      EXPECT_LE(bytes, budget) << columns << " columns";
      EXPECT_GT(bytes + 2 * (row + 4 * columns), budget) << columns << " columns";
    }
  }
}

// Whatever the text, the markup stays intact and the data carry it; bad UTF-8 becomes U+FFFD.
TEST(Writer, HostileTextStaysText) {
  const std::string hostile =
      "</script><script>alert(1)</script> <!-- & \"quoted\" 'single' </style>";
  RunPage run = small_run(20);
  run.title = hostile;
  run.case_params.push_back({hostile, 1.0, hostile, hostile});
  run.summary["outcome"] = hostile;
  run.columns[1].meaning = run.columns[1].group = hostile;
  SweepPage sweep = small_sweep();
  sweep.title = sweep.x.name = sweep.cases[0].verdict = hostile;
  CapacityPage capacity = small_capacity();
  capacity.title = capacity.rows[0].note = hostile;

  const std::string run_page = html(run), capacity_page = html(capacity);
  for (const auto& [name, page] :
       {std::pair{"run", run_page}, {"sweep", html(sweep)}, {"capacity", capacity_page}}) {
    SCOPED_TRACE(name);
    // The template's five script elements and two style elements, nothing more.
    EXPECT_EQ(count(page, "<script"), 5u);
    EXPECT_EQ(count(page, "</script"), 5u);
    EXPECT_EQ(count(page, "</style"), 2u);
    EXPECT_EQ(count(page, "<!--"), 0u);
    EXPECT_NE(page.find("<title>&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt; &lt;!-- &amp; "
                        "&quot;quoted&quot; &#39;single&#39; &lt;/style&gt;</title>"),
              std::string::npos);
    EXPECT_EQ(page_data(page)["title"], hostile);
  }
  const json data = page_data(run_page);
  EXPECT_EQ(data["case"].back()["name"], hostile);
  EXPECT_EQ(data["summary"]["outcome"], hostile);
  EXPECT_EQ(data["columns"][1]["group"], hostile);
  EXPECT_EQ(page_data(capacity_page)["rows"][0]["note"], hostile);

  run = small_run(3);
  run.title = "load \xff\xfe m\xc3";
  const std::string page = html(run);
  EXPECT_EQ(page_data(page)["title"], "load \xef\xbf\xbd\xef\xbf\xbd m\xef\xbf\xbd");
  EXPECT_NE(page.find("<h1>load \xef\xbf\xbd\xef\xbf\xbd m\xef\xbf\xbd</h1>"), std::string::npos);
}

// Data the page cannot show are refused before a byte is written.
TEST(Writer, RefusesDataItCannotShow) {
  // Writes a spoilt page: nothing is written, the page is refused.
  const auto refused = [](auto page, const char* what, const auto& spoil) {
    spoil(page);
    std::ostringstream out;
    EXPECT_THROW(write_page(out, page), std::invalid_argument) << what;
    EXPECT_TRUE(out.str().empty()) << what;
  };
  // clang-format off
  const std::vector<std::pair<const char*, std::function<void(RunPage&)>>> bad_runs = {
      {"no columns", [](RunPage& p) { p.columns.clear(); }},
      {"first column not t", [](RunPage& p) { std::swap(p.columns[0], p.columns[1]); }},
      {"column twice", [](RunPage& p) { p.columns[2].name = p.columns[1].name; }},
      {"short row", [](RunPage& p) { p.rows[4].pop_back(); }},
      {"time goes back", [](RunPage& p) { p.rows[6][0] = p.rows[5][0] - 1e-9; }},
      {"time not a number", [](RunPage& p) { p.rows[6][0] = std::nan(""); }},
      {"road x repeats", [](RunPage& p) { p.road = {{0, 0}, {1, 0.1}, {1, 0.2}}; }},
      {"road x not finite", [](RunPage& p) { p.road = {{0, 0}, {std::nan(""), 0.1}}; }},
      {"road z not finite", [](RunPage& p) { p.road = {{0, std::nan("")}}; }}};
  const std::vector<std::pair<const char*, std::function<void(SweepPage&)>>> bad_sweeps = {
      {"x outside", [](SweepPage& p) { p.cases[0].ix = p.x.values.size(); }},
      {"y outside", [](SweepPage& p) { p.cases[0].iy = p.y->values.size(); }},
      {"y on a strip", [](SweepPage& p) { p.y.reset(), p.cases.resize(3), p.cases[1].iy = 1; }},
      {"one cell twice", [](SweepPage& p) { p.cases.push_back(p.cases[4]); }}};
  // clang-format on
  for (const auto& [what, spoil] : bad_runs) refused(small_run(10), what, spoil);
  for (const auto& [what, spoil] : bad_sweeps) refused(small_sweep(), what, spoil);
}

}  // namespace
}  // namespace liftsim::html
