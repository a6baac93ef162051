// The rows a run page plots: every extreme kept in bounded memory; a long run's page.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "results/page_sink.h"
#include "support/e2e.h"
#include "support/page_data.h"

// The bytes this test program holds, and the most it held since the last reset.
static std::size_t g_live = 0, g_peak = 0;
void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  g_peak = std::max(g_peak, g_live += ::malloc_usable_size(p));
  return p;
}
void operator delete(void* p) noexcept {
  if (p != nullptr) g_live -= ::malloc_usable_size(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
}

namespace liftsim::results {
namespace {

using Rows = std::vector<std::vector<double>>;

// What a page must show of each time slice: first and last time, each column's low and high.
struct Slice {
  double first = 0, last = 0;
  std::vector<double> low, high;
  bool operator==(const Slice&) const = default;
};

std::map<std::size_t, Slice> slices_of(const Rows& rows, double t0, double t1, std::size_t n) {
  std::map<std::size_t, Slice> out;
  for (const auto& r : rows) {
    const double at = std::floor((r[0] - t0) / (t1 - t0) * static_cast<double>(n));
    const auto k = static_cast<std::size_t>(std::clamp(at, 0.0, static_cast<double>(n - 1)));
    auto [it, fresh] = out.try_emplace(k, Slice{r[0], r[0], r, r});
    Slice& s = it->second;
    s.last = r[0];
    for (std::size_t j = 1; j < r.size(); ++j) {
      if (std::isnan(s.low[j]) || r[j] < s.low[j]) s.low[j] = r[j];
      if (std::isnan(s.high[j]) || r[j] > s.high[j]) s.high[j] = r[j];
    }
  }
  // A column without a number in the slice: the same mark on both sides.
  for (auto& [k, s] : out) {
    s.low[0] = s.high[0] = 0;
    for (std::vector<double>* v : {&s.low, &s.high})
      for (double& x : *v) x = std::isnan(x) ? -1e300 : x;
  }
  return out;
}

// Rows over t in [0, 10]: waves, one-row spikes, repeated times, if asked a column sometimes NaN.
Rows waves(std::size_t n, std::size_t width, bool gaps) {
  Rows rows;
  for (std::size_t i = 0; i < n; ++i) {
    std::vector<double>& r = rows.emplace_back(width);
    r[0] = 10.0 * static_cast<double>(i - (i % 97 == 0 && i > 0)) / static_cast<double>(n - 1);
    for (std::size_t j = 1; j < width; ++j) {
      r[j] = std::sin(r[0] * static_cast<double>(7 * j * j)) + (i * j % 4999 == 17 ? 50.0 : 0.0) -
             (i * (j + 3) % 7919 == 5 ? 40.0 : 0.0);
    }
    if (gaps && width > 2 && i % 1000 != 3) r[2] = std::nan("");
  }
  return rows;
}

// The sink keeps whole rows in order: all while they fit, else at most its capacity, with every
// slice's first and last row and each column's extremes; its memory does not grow with the rows.
TEST(PageSink, KeepsEveryExtremeOfEverySliceInBoundedMemory) {
  const struct {
    const char* what;
    std::size_t rows, width, max_rows;
    bool gaps;
  } cases[] = {
      {"fits", 3000, 5, 3000, false},
      {"one row too many", 3001, 5, 3000, false},
      {"slices merged", 200'000, 6, 2000, false},
      {"gaps in a column", 50'000, 4, 3000, true},
      {"a budget below one slice", 5000, 4, 1, false},
      {"the time alone", 100'000, 1, 500, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Rows rows = waves(c.rows, c.width, c.gaps);
    g_peak = g_live;
    const std::size_t before = g_live;
    PageSink sink(c.width, 0.0, 10.0, c.max_rows);
    for (const auto& r : rows) sink.on_row(r);
    const std::size_t held = g_peak - before;
    const Rows kept = sink.take_rows();
    EXPECT_EQ(sink.rows_seen(), static_cast<std::int64_t>(c.rows));
    if (c.rows <= c.max_rows) {
      EXPECT_EQ(sink.slices(), 0u);
      EXPECT_TRUE(kept == rows);
      continue;
    }
    ASSERT_GT(sink.slices(), 0u);
    EXPECT_LE(kept.size(), std::max(c.max_rows, 2 * c.width + 2));
    // Each kept row is a row of the run, in the run's order.
    std::size_t at = 0;
    for (const auto& r : kept) {
      while (at < rows.size() && !(rows[at] == r || (c.gaps && rows[at][0] == r[0]))) ++at;
      ASSERT_LT(at, rows.size()) << "a kept row that is not the run's, or out of order";
      ++at;
    }
    const auto want = slices_of(rows, 0.0, 10.0, sink.slices());
    const auto got = slices_of(kept, 0.0, 10.0, sink.slices());
    EXPECT_EQ(got.size(), want.size());
    for (const auto& [k, s] : want) EXPECT_TRUE(got.count(k) && got.at(k) == s) << "slice " << k;
    // Twice the rows the sink may keep, doubled again for vectors that grow and once more while it
    // first splits its rows into slices: never more, however many rows came.
    const std::size_t rows_held = std::max(c.max_rows, 2 * c.width + 2) + 4 * c.width + 6;
    EXPECT_LE(held, 6 * rows_held * c.width * sizeof(double) + 4096 * 2 * sizeof(std::size_t))
        << held << " bytes for " << c.rows << " rows";
  }
}

// A million output points at a 10 us step: the page stays under 10 MB, says it shows some, and
// keeps every column's extremes of the whole run (the summary's, to the page's precision).
TEST(RunPage, LongRunStaysUnderTheCapWithEveryExtreme) {
  testing::CaseDir dir;
  // Some 5 s of CPU, several times that under the sanitizers.
  const testing::RunResult r =
      testing::Started(dir.path(),
                       {"-q", "--model", "sound", "--set", "h_max=1e-5", "--html", "p.html",
                        "--summary", "s.json"},
                       {})
          .wait(std::chrono::minutes(10));
  ASSERT_EQ(r.exit_status, 1) << r.err;  // stalled
  EXPECT_LT(std::filesystem::file_size(dir / "p.html"), 10'000'000u);
  const nlohmann::json s = nlohmann::json::parse(testing::read_file(dir / "s.json"));
  const nlohmann::json data = testing::page_data(testing::read_file(dir / "p.html"));
  EXPECT_EQ(data.at("rows_total"), s.at("output_points"));
  EXPECT_GT(s.at("output_points").get<double>(), 9e5);
  EXPECT_LT(data.at("rows").get<double>(), 1e5);
  std::map<std::string, std::vector<double>> page;
  for (const auto& c : data.at("columns")) page[c.at("name")] = testing::page_column(c);
  const auto f32 = [](const nlohmann::json& v) { return double(float(v.get<double>())); };
  const auto most_abs = [](const std::vector<double>& v) {
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
  };
  EXPECT_EQ(*std::min_element(page["F_kp"].begin(), page["F_kp"].end()), f32(s["min_F_kp"]));
  EXPECT_EQ(*std::min_element(page["F_13"].begin(), page["F_13"].end()), f32(s["min_F_13"]));
  EXPECT_EQ(*std::max_element(page["F_13"].begin(), page["F_13"].end()), f32(s["max_F_13"]));
  EXPECT_EQ(*std::max_element(page["F_12"].begin(), page["F_12"].end()), f32(s["max_F_12"]));
  EXPECT_EQ(most_abs(page["Fi_3"]), f32(s["max_abs_Fi_3"]));
  EXPECT_EQ(most_abs(page["Fi_1"]), f32(s["max_abs_Fi_1"]));
  EXPECT_EQ(page["t"].back(), s.at("t_reached").get<double>());
}

}  // namespace
}  // namespace liftsim::results
