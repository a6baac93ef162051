// Real pages in a headless browser: their own #selftest passes, screenshots not blank, under 3 MB.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
// The browser named by LIFTSIM_CHROMIUM, else Debian's chromium.
std::optional<std::string> find_chromium() {
  if (const char* named = std::getenv("LIFTSIM_CHROMIUM"); named && *named) return named;
  for (std::string name : {"chromium", "chromium-browser"})
    if (std::system(("command -v " + name + " > /dev/null 2>&1").c_str()) == 0) return name;
  return std::nullopt;
}

struct Opened {
  bool ok = false;  // the browser ended by itself with status 0
  std::string out, err;
};

// Runs the browser headless on `url` with a fresh profile; `timeout` ends its whole process group.
Opened open_headless(const std::string& browser, const fs::path& work, const std::string& url,
                     const std::string& extra) {
  static int runs = 0;
  const fs::path base = work / ("browser-" + std::to_string(++runs));
  const std::string command =
      "timeout -k 5 90 '" + browser +
      "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --hide-scrollbars --window-size=1280,1400 --user-data-dir='" +
      base.string() + "-profile' " + extra + " '" + url + "' < /dev/null > '" + base.string() +
      ".out' 2> '" + base.string() + ".err'";
  Opened r{std::system(command.c_str()) == 0, read_file(base.string() + ".out"),
           read_file(base.string() + ".err")};
  if (r.err.size() > 3000) r.err = "..." + r.err.substr(r.err.size() - 3000);
  std::error_code ignored;
  fs::remove_all(base.string() + "-profile", ignored);
  return r;
}

struct ImageStats {
  std::size_t width = 0, colours = 0;
  double share_off_background = 0.0;  // of the pixels not in the commonest colour
};

ImageStats screenshot_stats(const std::string& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::vector<std::uint8_t> px;
  if (png_image_begin_read_from_memory(&image, png.data(), png.size())) {
    image.format = PNG_FORMAT_RGB;
    px.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) px.clear();
  }
  if (px.empty()) return ADD_FAILURE() << "not a PNG: " << image.message, ImageStats{};
  std::map<std::uint32_t, std::size_t> counts;
  for (std::size_t p = 0; p < px.size(); p += 3) ++counts[px[p] << 16 | px[p + 1] << 8 | px[p + 2]];
  std::size_t most = 0;
  for (const auto& [colour, n] : counts) most = std::max(most, n);
  return {image.width, counts.size(),
          1.0 - static_cast<double>(most * 3) / static_cast<double>(px.size())};
}

struct PageCase {
  const char* name;
  Args args;                        // the command, without the --html that writes page.html
  std::vector<std::string> checks;  // of its own the page must have run
};

void PrintTo(const PageCase& c, std::ostream* out) {
  *out << c.name;
}

// The checks of a run page with plots and the side view, and the one on its steered wheels.
std::vector<std::string> run_checks(const std::string& wheels) {
  return {"one plot per group",
          "every plotted series has every row",
          "plots are drawn",
          "the slider moves the drawn truck",
          "the slider moves every plot's cursor",
          "a plot's cursor moves the slider",
          "one cursor for all plots",
          "zoom is shared",
          "playback advances in time",
          wheels};
}

// Each command writes page.html besides.
const PageCase kPages[] = {
    // clang-format off
    {"DefaultRun", {"--csv", "page.csv"}, run_checks("steered wheels not marked on the road")},
    {"TippingRun", {"--set", "m_4=2500", "--set", "t_end=2", "--csv", "page.csv"},
     run_checks("steered wheels marked while lifted")},
    // A light load that creeps: more output points than the page carries.
    {"DownsampledRun", {"--set", "m_4=10", "--set", "t_end=4.5", "--csv", "page.csv"},
     run_checks("steered wheels marked while lifted") + Args{"the page says it shows a downsampled view"}},
    // Only some columns: plots, but nothing to draw the truck from.
    {"RunWithoutSideView", {"--set", "t_end=2", "--columns", "t,Z_01.3,F_kp,M_eng", "--csv", "page.csv"},
     {"one plot per group", "every plotted series has every row", "zoom is shared",
      "a plot's cursor moves the slider", "playback advances in time"}},
    // A floating-point fault before the first output point.
    {"RunWithoutPoints", {"--set", "m_4=0.5", "--csv", "page.csv"},
     {"a run without output points has no plots and no side view"}},
    {"SweepMap", {"sweep", "--set", "t_end=1", "--vary", "zc_4=0,3", "--vary", "m_4=0.5,50,1950,2500"},
     {"one cell per case", "cells coloured by verdict", "the legend lists every verdict",
      "hovering a cell shows its case"}},
    {"SweepStrip", {"sweep", "--set", "t_end=1", "--vary", "m_4=500:3000:250"},
     {"one cell per case", "cells coloured by verdict", "hovering a cell shows its case"}},
    // One height brackets its stable capacity, neither its capacity against tipping.
    {"Capacity", {"capacity", "--set", "t_end=1", "--vary", "zc_4=0,3", "--mass", "1900:1960", "--resolution", "20"},
     {"a table row per height", "a bar per capacity found", "every missing capacity has a note"}},
    // Drawn across the load centre: the plate, a line per height.
    {"CapacityPlate", {"capacity", "--set", "t_end=1", "--vary", "zc_4=0,3", "--vary", "x_load=0.4,0.6",
                       "--mass", "1500:2500", "--resolution", "50"},
     {"a table row per height", "a line per height on the plate"}},
    {"TiltTest", {"tilt-test", "--vary", "zc_4=0.5,3", "--require", "20"},
     {"a table row per height", "a bar per critical slope found"}},
    // clang-format on
};

class Page : public ::testing::TestWithParam<PageCase> {};

TEST_P(Page, PassesItsSelfTestAndShowsSomething) {
  const PageCase& c = GetParam();
  CaseDir dir;
  const RunResult written =
      run_liftsim(dir.path(), Args{"-q"} + c.args + Args{"--html", "page.html"});
  ASSERT_TRUE(written.exit_status == 0 || written.exit_status == 1) << written.err;
  const fs::path page = dir / "page.html";
  EXPECT_LE(fs::file_size(page), 3'000'000u);

  const std::optional<std::string> browser = find_chromium();
  if (!browser && std::getenv("CI"))
    FAIL() << "no browser: install Debian's chromium or name one in LIFTSIM_CHROMIUM";
  if (!browser)
    GTEST_SKIP() << "no browser: install Debian's chromium (or name one in LIFTSIM_CHROMIUM) to "
                    "run the page tests; CI fails here";
  // Plotted points per series: as many as the CSV of the same run has rows, or as the page
  // carries of them.
  std::optional<std::size_t> rows;
  if (fs::exists(dir / "page.csv")) {
    const std::string csv = read_file(dir / "page.csv");
    rows = std::count(csv.begin(), csv.end(), '\n') - 1;
  }
  const Opened tested =
      open_headless(*browser, dir.path(), "file://" + page.string() + "#selftest", "--dump-dom");
  EXPECT_TRUE(tested.ok) << tested.err;
  const std::string open = "id=\"liftsim-selftest\">";
  const std::size_t from = tested.out.find(open), to = tested.out.find("</script>", from);
  ASSERT_NE(from, std::string::npos) << "no self-test result; the browser said:\n" << tested.err;
  const json result = json::parse(tested.out.substr(from + open.size(), to - from - open.size()));
  EXPECT_TRUE(result.at("problems").empty()) << result["problems"].dump(2);
  EXPECT_TRUE(result.at("resources").empty()) << "the page fetched " << result["resources"];
  std::set<std::string> run;
  for (const json& check : result.at("checks")) {
    run.insert(check["name"].get<std::string>());
    EXPECT_TRUE(check["ok"].get<bool>()) << check["name"] << ": " << check["detail"];
  }
  for (const std::string& name : c.checks) EXPECT_TRUE(run.count(name)) << "not run: " << name;
  if (rows && *rows > 0) {
    EXPECT_EQ(result["facts"]["rows_total"], *rows);
    const json shown = result["facts"]["rows"];
    EXPECT_TRUE(shown == *rows || std::string(c.name) == "DownsampledRun") << shown;
    ASSERT_FALSE(result["facts"]["points"].empty());
    for (const json& plot : result["facts"]["points"])
      for (const json& n : plot) EXPECT_EQ(n, shown) << result["facts"]["points"].dump();
  }

  const fs::path shot = dir / (std::string(c.name) + ".png");
  const Opened opened = open_headless(*browser, dir.path(), "file://" + page.string(),
                                      "--screenshot='" + shot.string() + "'");
  ASSERT_TRUE(fs::exists(shot)) << opened.err;
  const ImageStats stats = screenshot_stats(read_file(shot));
  EXPECT_EQ(stats.width, 1280u);
  EXPECT_GT(stats.share_off_background, 0.05);
  EXPECT_GT(stats.colours, 50u);
  // Kept beside the test for a look.
  std::error_code ignored;
  fs::create_directories("html-screenshots", ignored);
  fs::copy_file(shot, fs::path("html-screenshots") / shot.filename(),
                fs::copy_options::overwrite_existing, ignored);
}

INSTANTIATE_TEST_SUITE_P(Pages, Page, ::testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace liftsim::testing
