// The report pages in a real browser: each page opened headless with #selftest runs its own
// checks (plots, slider, cursor, zoom, hover...) and writes them into the DOM, with every script
// error and console complaint; a screenshot of each must not be blank.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

#include "browser.h"
#include "html/report.h"
#include "png.h"
#include "synthetic.h"

namespace liftsim::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct PageCase {
  const char* name;
  std::function<void(std::ostream&)> write;
  std::size_t rows;                   // output points of a run page, 0 for the others
  std::vector<std::string> required;  // checks the page must have run
};

const std::vector<std::string> kRunChecks = {"one plot per group",
                                             "every plotted series has every row",
                                             "plots are drawn",
                                             "the slider moves the drawn truck",
                                             "the slider moves every plot's cursor",
                                             "a plot's cursor moves the slider",
                                             "one cursor for all plots",
                                             "zoom is shared",
                                             "playback advances in time"};

void PrintTo(const PageCase& c, std::ostream* out) {
  *out << c.name;
}

std::vector<std::string> with(std::vector<std::string> list, const std::string& more) {
  list.push_back(more);
  return list;
}

const std::vector<PageCase>& page_cases() {
  static const std::vector<PageCase> cases = {
      {"RunSteady",
       [](std::ostream& out) { write_run_page(out, synthetic_run(3000, Motion::kSteady)); }, 3000,
       with(kRunChecks, "steered wheels not marked on the road")},
      {"RunTipping",
       [](std::ostream& out) { write_run_page(out, synthetic_run(4000, Motion::kTipping)); }, 4000,
       with(kRunChecks, "steered wheels marked while lifted")},
      {"RunWithoutSideView",
       [](std::ostream& out) {
         // Only some columns: plots, but nothing to draw the truck from.
         html::RunPage page = synthetic_run(50, Motion::kSteady);
         const std::vector<std::size_t> keep = {0, 7, 23, 24};  // t, Z_01.3, F_kp, M_eng
         std::vector<html::Column> columns;
         for (std::size_t j : keep) columns.push_back(page.columns[j]);
         for (std::vector<double>& row : page.rows) {
           std::vector<double> kept;
           for (std::size_t j : keep) kept.push_back(row[j]);
           row = kept;
         }
         page.columns = columns;
         write_run_page(out, page);
       },
       50,
       {"one plot per group", "every plotted series has every row", "zoom is shared",
        "a plot's cursor moves the slider", "playback advances in time"}},
      {"RunWithoutPoints",
       [](std::ostream& out) {
         html::RunPage page = synthetic_run(0, Motion::kSteady);
         page.summary = {{"verdict", "numerical_failure"}, {"outcome", "failed before the start"}};
         write_run_page(out, page);
       },
       0,
       {"a run without output points has no plots and no side view"}},
      {"SweepMap",
       [](std::ostream& out) { write_sweep_page(out, synthetic_sweep(true)); },
       0,
       {"one cell per case", "cells coloured by verdict", "the legend lists every verdict",
        "hovering a cell shows its case"}},
      {"SweepStrip",
       [](std::ostream& out) { write_sweep_page(out, synthetic_sweep(false)); },
       0,
       {"one cell per case", "cells coloured by verdict", "hovering a cell shows its case"}},
      {"Capacity",
       [](std::ostream& out) { write_capacity_page(out, synthetic_capacity()); },
       0,
       {"a table row per height", "a bar per capacity found",
        "every missing capacity has a note"}}};
  return cases;
}

std::string tail(const std::string& text, std::size_t n = 3000) {
  return text.size() > n ? "..." + text.substr(text.size() - n) : text;
}

class Browser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    browser_ = find_chromium();
    char pattern[] = "/tmp/liftsim-html-XXXXXX";
    if (::mkdtemp(pattern)) work_ = pattern;
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    if (!work_.empty()) fs::remove_all(work_, ignored);
  }
  void SetUp() override {
    if (browser_) return;
    if (std::getenv("CI")) {
      FAIL() << "no browser: install Debian's chromium or name one in LIFTSIM_CHROMIUM";
    }
    GTEST_SKIP() << "no browser: install Debian's chromium (or name one in LIFTSIM_CHROMIUM) to "
                    "run the page tests; CI fails here";
  }

  static fs::path write_page(const std::string& name, const std::function<void(std::ostream&)>& w) {
    const fs::path path = work_ / (name + ".html");
    std::ofstream out(path, std::ios::binary);
    w(out);
    return path;
  }

  // Opens the page with #selftest and returns what it wrote, after checking the browser ended well.
  static json self_test(const fs::path& page) {
    const BrowserRun run = run_headless(*browser_, work_, "file://" + page.string() + "#selftest",
                                        {"--window-size=1280,1400", "--dump-dom"});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_status, 0) << tail(run.err);
    const std::optional<json> result = selftest_result(run.out);
    if (!result || result->is_discarded()) {
      ADD_FAILURE() << "the page wrote no self-test result; the browser said:\n" << tail(run.err);
      return json::object();
    }
    return *result;
  }

  static std::optional<fs::path> browser_;
  static fs::path work_;
};

std::optional<fs::path> Browser::browser_;
fs::path Browser::work_;

class Page : public Browser, public ::testing::WithParamInterface<PageCase> {};

TEST_P(Page, PassesItsSelfTestWithoutAnError) {
  const PageCase& c = GetParam();
  const json result = self_test(write_page(c.name, c.write));
  ASSERT_TRUE(result.contains("checks")) << result.dump(2);
  EXPECT_TRUE(result["problems"].empty()) << result["problems"].dump(2);
  EXPECT_TRUE(result["resources"].empty()) << "the page fetched " << result["resources"].dump();
  std::set<std::string> run;
  for (const json& check : result["checks"]) {
    run.insert(check["name"].get<std::string>());
    EXPECT_TRUE(check["ok"].get<bool>()) << check["name"] << ": " << check["detail"];
  }
  for (const std::string& name : c.required)
    EXPECT_TRUE(run.count(name)) << "not checked: " << name;
  if (c.rows > 0) {
    EXPECT_EQ(result["facts"]["rows"], c.rows);
    ASSERT_FALSE(result["facts"]["points"].empty());
    for (const json& plot : result["facts"]["points"]) {
      for (const json& n : plot) EXPECT_EQ(n, c.rows) << result["facts"]["points"].dump();
    }
  }
}

TEST_P(Page, ScreenshotIsNotBlank) {
  const PageCase& c = GetParam();
  const fs::path page = write_page(c.name, c.write);
  const fs::path shot = work_ / (std::string(c.name) + ".png");
  const BrowserRun run = run_headless(*browser_, work_, "file://" + page.string(),
                                      {"--window-size=1280,1400", "--screenshot=" + shot.string()});
  EXPECT_FALSE(run.timed_out);
  ASSERT_TRUE(fs::exists(shot)) << tail(run.err);
  std::ifstream in(shot, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const Image image = decode_png(bytes);
  EXPECT_EQ(image.width, 1280);
  const ImageStats stats = image_stats(image);
  EXPECT_GT(stats.share_off_background, 0.05);
  EXPECT_GT(stats.colours, 50u);
  // Kept beside the test for a look.
  std::error_code ignored;
  fs::create_directories("html-screenshots", ignored);
  fs::copy_file(shot, fs::path("html-screenshots") / shot.filename(),
                fs::copy_options::overwrite_existing, ignored);
}

INSTANTIATE_TEST_SUITE_P(Pages, Page, ::testing::ValuesIn(page_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A long run: 10 000 output points of the 34 columns. The page must stay under 3 MB and be ready in
// under a second (median of three openings; the time from navigation to the plots drawn).
TEST_F(Browser, LongRunOpensWithinASecond) {
  const html::RunPage run = synthetic_run(10000, Motion::kSteady);
  const fs::path page = write_page("long", [&](std::ostream& out) { write_run_page(out, run); });
  const auto size = fs::file_size(page);
  EXPECT_LE(size, 3'000'000u);
  std::vector<double> ready, load, wall;
  for (int k = 0; k < 3; ++k) {
    const BrowserRun opened =
        run_headless(*browser_, work_, "file://" + page.string() + "#selftest",
                     {"--window-size=1280,1400", "--dump-dom"});
    const std::optional<json> result = selftest_result(opened.out);
    ASSERT_TRUE(result && result->contains("ready_ms")) << tail(opened.err);
    EXPECT_TRUE((*result)["problems"].empty()) << (*result)["problems"].dump(2);
    ready.push_back((*result)["ready_ms"].get<double>());
    load.push_back((*result)["load_ms"].get<double>());
    wall.push_back(opened.wall_seconds);
  }
  std::sort(ready.begin(), ready.end());
  std::sort(load.begin(), load.end());
  std::sort(wall.begin(), wall.end());
  std::ostringstream report;
  report << "page " << size << " bytes, " << run.rows.size() << " rows x " << run.columns.size()
         << " columns; ready after " << ready[1] << " ms (load event " << load[1]
         << " ms); browser start to exit " << wall[1] << " s (medians of 3)";
  std::cout << report.str() << "\n";
  RecordProperty("page_bytes", std::to_string(size));
  RecordProperty("ready_ms", std::to_string(ready[1]));
  EXPECT_LT(ready[1], 1000.0) << report.str();
}

}  // namespace
}  // namespace liftsim::testing
