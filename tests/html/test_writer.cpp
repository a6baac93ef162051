#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>

#include "html/encode.h"
#include "html/report.h"
#include "synthetic.h"

namespace liftsim::html {
namespace {

using nlohmann::json;
using testing::Motion;

std::string run_page(const RunPage& page) {
  std::ostringstream out;
  write_run_page(out, page);
  return out.str();
}

std::string sweep_page(const SweepPage& page) {
  std::ostringstream out;
  write_sweep_page(out, page);
  return out.str();
}

std::string capacity_page(const CapacityPage& page) {
  std::ostringstream out;
  write_capacity_page(out, page);
  return out.str();
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The page's data block, parsed.
json page_data(const std::string& html) {
  const std::string open = "<script type=\"application/json\" id=\"liftsim-data\">";
  const std::size_t from = html.find(open);
  EXPECT_NE(from, std::string::npos);
  const std::size_t to = html.find("</script>", from);
  return json::parse(html.substr(from + open.size(), to - from - open.size()));
}

std::string base64_decode(const std::string& text) {
  static const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int have = 0;
  for (char c : text) {
    if (c == '=') break;
    bits = bits << 6 | static_cast<unsigned>(alphabet.find(c));
    have += 6;
    if (have >= 8) {
      have -= 8;
      out += static_cast<char>((bits >> have) & 0xff);
    }
  }
  return out;
}

TEST(Encode, Base64OfTheStandardVectors) {
  using namespace std::string_view_literals;
  for (auto [in, expected] : {std::pair{""sv, ""sv},
                              {"f"sv, "Zg=="sv},
                              {"fo"sv, "Zm8="sv},
                              {"foo"sv, "Zm9v"sv},
                              {"foob"sv, "Zm9vYg=="sv},
                              {"fooba"sv, "Zm9vYmE="sv},
                              {"foobar"sv, "Zm9vYmFy"sv},
                              {"\xff\xfe\x00"sv, "//4A"sv}}) {
    std::string out = "x";  // appended to, not replaced
    append_base64(out, in);
    std::string want = "x";
    want += expected;
    EXPECT_EQ(out, want) << in;
  }
}

// Rounding to binary32 like a conversion, with the edge of the range exact and without a trap.
TEST(Encode, Binary32BitsRoundLikeAConversion) {
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [v, bits] : {std::pair{0.1, 0x3dcccccdu},
                         {-0.0, 0x80000000u},
                         {1.0, 0x3f800000u},
                         {0x1.fffffefffffffp+127, 0x7f7fffffu},
                         {0x1.ffffffp+127, 0x7f800000u},
                         {-1e300, 0xff800000u},
                         {inf, 0x7f800000u},
                         {-inf, 0xff800000u},
                         {1e-50, 0x00000000u},
                         {-1e-40, 0x800116c2u},
                         {std::nan(""), 0x7fc00000u}}) {
    EXPECT_EQ(binary32_bits(v), bits) << v;
  }
}

// Whatever the text, the page's markup stays intact and the data carry the text unchanged.
TEST(Writer, HostileTextStaysText) {
  const std::string hostile =
      "</script><script>alert(1)</script> <!-- & \"quoted\" 'single' </style>";
  RunPage run = testing::synthetic_run(20, Motion::kSteady);
  run.title = hostile;
  run.case_params.push_back({hostile, 1.0, hostile});
  run.summary["outcome"] = hostile;
  run.columns[5].meaning = hostile;
  run.columns[5].group = hostile;
  SweepPage sweep = testing::synthetic_sweep(true);
  sweep.title = hostile;
  sweep.x.name = hostile;
  sweep.cases[0].verdict = hostile;
  CapacityPage capacity = testing::synthetic_capacity();
  capacity.title = hostile;
  capacity.rows[0].note = hostile;

  for (const auto& [name, html] : {std::pair{"run", run_page(run)},
                                   {"sweep", sweep_page(sweep)},
                                   {"capacity", capacity_page(capacity)}}) {
    SCOPED_TRACE(name);
    // The template's five script elements and two style elements, nothing more.
    EXPECT_EQ(count(html, "<script"), 5u);
    EXPECT_EQ(count(html, "</script"), 5u);
    EXPECT_EQ(count(html, "</style"), 2u);
    EXPECT_EQ(count(html, "<!--"), 0u);
    EXPECT_NE(html.find("<title>&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt; &lt;!-- &amp; "
                        "&quot;quoted&quot; &#39;single&#39; &lt;/style&gt;</title>"),
              std::string::npos);
    EXPECT_EQ(page_data(html)["title"], hostile);
  }
  const json data = page_data(run_page(run));
  EXPECT_EQ(data["case"].back()["name"], hostile);
  EXPECT_EQ(data["summary"]["outcome"], hostile);
  EXPECT_EQ(data["columns"][5]["group"], hostile);
  EXPECT_EQ(page_data(capacity_page(capacity))["rows"][0]["note"], hostile);
}

TEST(Writer, InvalidUtf8BecomesReplacementCharacters) {
  RunPage run = testing::synthetic_run(3, Motion::kSteady);
  run.title = "load \xff\xfe m\xc3";
  run.summary["outcome"] = "bad \xc0\xaf";
  const std::string html = run_page(run);
  const json data = page_data(html);
  EXPECT_EQ(data["title"], "load \xef\xbf\xbd\xef\xbf\xbd m\xef\xbf\xbd");
  EXPECT_NE(html.find("<h1>load \xef\xbf\xbd\xef\xbf\xbd m\xef\xbf\xbd</h1>"), std::string::npos);
  EXPECT_EQ(data["summary"]["outcome"].get<std::string>().find('\xc0'), std::string::npos);
}

// The columns come back bit for bit: the time as binary64, the rest rounded to binary32; values
// that are not finite survive as such. The metadata keep every digit.
TEST(Writer, RunDataRoundTrip) {
  RunPage run = testing::synthetic_run(1000, Motion::kTipping);
  run.rows[7][6] = 1e300;  // beyond binary32
  run.case_params.push_back({"f_fr", 0.1 + 0.2, ""});
  const json data = page_data(run_page(run));
  EXPECT_EQ(data["kind"], "run");
  EXPECT_EQ(data["rows"], 1000);
  EXPECT_EQ(data["case"].back()["value"].get<double>(), 0.1 + 0.2);
  EXPECT_EQ(data["truck"]["zh_1"].get<double>(), 0.456);
  EXPECT_EQ(data["summary"]["verdict"], "tip_over");
  ASSERT_EQ(data["columns"].size(), run.columns.size());
  for (std::size_t j = 0; j < run.columns.size(); ++j) {
    const json& c = data["columns"][j];
    EXPECT_EQ(c["name"], run.columns[j].name);
    EXPECT_EQ(c["group"], run.columns[j].group);
    EXPECT_EQ(c["type"], j == 0 ? "f64" : "f32");
    const std::string bytes = base64_decode(c["data"]);
    const std::size_t width = j == 0 ? 8 : 4;
    ASSERT_EQ(bytes.size(), run.rows.size() * width) << c["name"];
    for (std::size_t i = 0; i < run.rows.size(); ++i) {
      std::uint64_t bits = 0;
      for (std::size_t k = 0; k < width; ++k) {
        bits |= std::uint64_t{static_cast<unsigned char>(bytes[i * width + k])} << (8 * k);
      }
      const std::uint64_t expected =
          j == 0 ? std::bit_cast<std::uint64_t>(run.rows[i][j]) : binary32_bits(run.rows[i][j]);
      ASSERT_EQ(bits, expected) << c["name"] << " row " << i;
    }
  }
}

TEST(Writer, SweepAndCapacityData) {
  const json strip = page_data(sweep_page(testing::synthetic_sweep(false)));
  EXPECT_EQ(strip["kind"], "sweep");
  EXPECT_TRUE(strip["y"].is_null());
  EXPECT_EQ(strip["cases"].size(), strip["x"]["values"].size());
  const json map = page_data(sweep_page(testing::synthetic_sweep(true)));
  EXPECT_EQ(map["y"]["values"].size(), 13u);
  EXPECT_EQ(map["cases"].size(), 11u * 13u - 1);
  EXPECT_TRUE(map["cases"][0]["summary"]["lift_off_t"].is_null());
  const json capacity = page_data(capacity_page(testing::synthetic_capacity()));
  EXPECT_TRUE(capacity["rows"][0]["capacity_stable"].is_null());
  EXPECT_TRUE(capacity["rows"][9]["capacity_no_tip"].is_null());
  EXPECT_EQ(capacity["rows"][1]["capacity_no_tip"].get<double>(), 3200.0 / (1.0 + 0.18 * 0.5));
}

// Self-contained: every slot filled, nothing to load, the plotting library only where it plots.
TEST(Writer, PagesStandAlone) {
  const std::string run = run_page(testing::synthetic_run(5, Motion::kSteady));
  const std::string sweep = sweep_page(testing::synthetic_sweep(true));
  const std::string capacity = capacity_page(testing::synthetic_capacity());
  for (const std::string* html : {&run, &sweep, &capacity}) {
    EXPECT_EQ(html->rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(count(*html, "{{"), 0u);
    EXPECT_EQ(count(*html, " src="), 0u);
    EXPECT_EQ(count(*html, " href="), 0u);
    EXPECT_EQ(count(*html, "<link"), 0u);
    EXPECT_NE(html->find("default-src 'none'"), std::string::npos);
  }
  EXPECT_NE(run.find("var uPlot="), std::string::npos);
  EXPECT_EQ(sweep.find("var uPlot="), std::string::npos);
  EXPECT_EQ(capacity.find("var uPlot="), std::string::npos);
}

// The page of a long run stays well within 3 MB: binary32 columns cost 16/3 characters a value.
TEST(Writer, PageOfTenThousandRowsIsSmall) {
  const RunPage page = testing::synthetic_run(10000, Motion::kSteady);
  const std::size_t size = run_page(page).size();
  const std::size_t values = page.rows.size() * (page.columns.size() - 1);
  RecordProperty("page_bytes", std::to_string(size));
  std::cout << "page of 10000 rows x " << page.columns.size() << " columns: " << size << " bytes\n";
  EXPECT_LE(size, 3'000'000u);
  EXPECT_LE(size, values * 16 / 3 + page.rows.size() * 32 / 3 + 150'000);
}

// The model runs with floating-point traps on; writing a page with every kind of awkward value
// must not set one off.
TEST(Writer, NoFloatingPointTrap) {
  RunPage run = testing::synthetic_run(50, Motion::kTipping);
  run.rows[10][7] = 1e300;
  run.rows[11][7] = -std::numeric_limits<double>::infinity();
  run.rows[12][7] = std::numeric_limits<double>::denorm_min();
  run.summary["min_F_kp"] = std::nan("");
  run.case_params.push_back({"m_4", std::numeric_limits<double>::infinity(), "kg"});
  CapacityPage capacity = testing::synthetic_capacity();
  capacity.rows[2].capacity_stable = std::nan("");
  feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  const std::string run_html = run_page(run);
  const std::string capacity_html = capacity_page(capacity);
  fedisableexcept(FE_ALL_EXCEPT);
  EXPECT_TRUE(page_data(run_html)["summary"]["min_F_kp"].is_null());
  EXPECT_TRUE(page_data(run_html)["case"].back()["value"].is_null());
  EXPECT_TRUE(page_data(capacity_html)["rows"][2]["capacity_stable"].is_null());
}

// Data the page cannot show are refused before a byte is written.
TEST(Writer, RefusesDataItCannotShow) {
  const RunPage good = testing::synthetic_run(10, Motion::kSteady);
  const std::vector<std::pair<const char*, std::function<void(RunPage&)>>> bad_runs = {
      {"no columns", [](RunPage& p) { p.columns.clear(); }},
      {"first column not t", [](RunPage& p) { std::swap(p.columns[0], p.columns[1]); }},
      {"column twice", [](RunPage& p) { p.columns[2].name = p.columns[1].name; }},
      {"short row", [](RunPage& p) { p.rows[4].pop_back(); }},
      {"long row", [](RunPage& p) { p.rows[4].push_back(1.0); }},
      {"time goes back", [](RunPage& p) { p.rows[6][0] = p.rows[5][0] - 1e-9; }},
      {"time not a number", [](RunPage& p) { p.rows[6][0] = std::nan(""); }},
      {"road x repeats",
       [](RunPage& p) {
         p.road = {{0, 0}, {1, 0.1}, {1, 0.2}};
       }},
      {"road x not finite",
       [](RunPage& p) {
         p.road = {{0, 0}, {std::nan(""), 0.1}};
       }},
      {"road z not finite", [](RunPage& p) {
         p.road = {{0, std::nan("")}};
       }}};
  for (const auto& [what, spoil] : bad_runs) {
    RunPage page = good;
    spoil(page);
    std::ostringstream out;
    EXPECT_THROW(write_run_page(out, page), std::invalid_argument) << what;
    EXPECT_TRUE(out.str().empty()) << what;
  }

  const SweepPage map = testing::synthetic_sweep(true);
  const std::vector<std::pair<const char*, std::function<void(SweepPage&)>>> bad_sweeps = {
      {"x outside", [](SweepPage& p) { p.cases[0].ix = p.x.values.size(); }},
      {"y outside", [](SweepPage& p) { p.cases[0].iy = p.y->values.size(); }},
      {"y on a strip", [](SweepPage& p) { p.y.reset(), p.cases[1].iy = 1; }},
      {"one cell twice", [](SweepPage& p) { p.cases.push_back(p.cases[4]); }}};
  for (const auto& [what, spoil] : bad_sweeps) {
    SweepPage page = map;
    spoil(page);
    std::ostringstream out;
    EXPECT_THROW(write_sweep_page(out, page), std::invalid_argument) << what;
    EXPECT_TRUE(out.str().empty()) << what;
  }
}

}  // namespace
}  // namespace liftsim::html
