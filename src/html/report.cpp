#include "html/report.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <set>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "html/assets.h"
#include "html/encode.h"

namespace liftsim::html {
namespace {

using nlohmann::json;

// What one page puts into the template's slots.
struct Slots {
  std::string_view kind;  // run, sweep or capacity: the body's class
  std::string title;      // HTML-escaped
  std::string data;       // script-safe JSON
  std::string_view page_js;
  bool plots = false;  // whether the plotting library goes in
};

void fill_template(std::ostream& out, const Slots& slots) {
  const std::string_view page = assets::page_template();
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = page.find("{{", pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = page.find("}}", open);
    if (close == std::string_view::npos) throw std::logic_error("page template: unclosed slot");
    out << page.substr(pos, open - pos);
    const std::string_view name = page.substr(open + 2, close - open - 2);
    if (name == "TITLE") {
      out << slots.title;
    } else if (name == "KIND") {
      out << slots.kind;
    } else if (name == "DATA") {
      out << slots.data;
    } else if (name == "GUARD_JS") {
      out << assets::guard_js();
    } else if (name == "COMMON_JS") {
      out << assets::common_js();
    } else if (name == "PAGE_JS") {
      out << slots.page_js;
    } else if (name == "PAGE_CSS") {
      out << assets::report_css();
    } else if (name == "UPLOT_JS") {
      if (slots.plots) out << assets::uplot_js();
    } else if (name == "UPLOT_CSS") {
      if (slots.plots) out << assets::uplot_css();
    } else {
      throw std::logic_error("page template: unknown slot " + std::string(name));
    }
    pos = close + 2;
  }
  out << page.substr(pos);
}

void require(bool condition, const std::string& what) {
  if (!condition) throw std::invalid_argument(what);
}

json case_json(const std::vector<CaseParam>& params) {
  json list = json::array();
  for (const CaseParam& p : params) {
    list.push_back({{"name", p.name}, {"value", p.value}, {"unit", p.unit}, {"source", p.source}});
  }
  return list;
}

json points_json(const std::vector<Point>& points) {
  json list = json::array();
  for (const Point& p : points) list.push_back(json::array({p.x, p.z}));
  return list;
}

json truck_json(const TruckGeometry& g) {
  return {{"L_b", g.L_b},
          {"R_t", g.R_t},
          {"R_k", g.R_k},
          {"xh_1", g.xh_1},
          {"zh_1", g.zh_1},
          {"xh_3", g.xh_3},
          {"zh_3", g.zh_3},
          {"x_O2", g.x_O2},
          {"zc_4", g.zc_4},
          {"observation_points", points_json(g.observation_points)},
          {"mast_height", g.mast_height},
          {"fork_length", g.fork_length},
          {"load_length", g.load_length},
          {"body_height", g.body_height}};
}

// Column `j` of `rows` as little-endian binary64 (`wide`) or binary32 values, in base64. The time
// keeps every bit; the other columns are plotted, and binary32 keeps seven significant digits of
// each value at half the size.
std::string column_data(const std::vector<std::vector<double>>& rows, std::size_t j, bool wide) {
  std::string bytes;
  bytes.reserve(rows.size() * (wide ? 8 : 4));
  for (const std::vector<double>& row : rows) {
    const std::uint64_t bits = wide ? std::bit_cast<std::uint64_t>(row[j]) : binary32_bits(row[j]);
    for (int k = 0; k < (wide ? 8 : 4); ++k) bytes += static_cast<char>((bits >> (8 * k)) & 0xff);
  }
  std::string out;
  append_base64(out, bytes);
  return out;
}

void check_run(const RunPage& page) {
  require(!page.columns.empty() && page.columns.front().name == "t",
          "run page: the first column must be the time t");
  std::set<std::string> names;
  for (const Column& c : page.columns) {
    require(names.insert(c.name).second, "run page: column " + c.name + " appears twice");
  }
  for (std::size_t i = 0; i < page.rows.size(); ++i) {
    const std::vector<double>& row = page.rows[i];
    require(row.size() == page.columns.size(),
            "run page: row " + std::to_string(i) + " has " + std::to_string(row.size()) +
                " values for " + std::to_string(page.columns.size()) + " columns");
    require(std::isfinite(row[0]),
            "run page: the time of row " + std::to_string(i) + " is not a finite number");
    require(i == 0 || row[0] >= page.rows[i - 1][0],
            "run page: the time goes back at row " + std::to_string(i));
  }
  for (std::size_t i = 0; i < page.road.size(); ++i) {
    const Point& p = page.road[i];
    require(std::isfinite(p.x) && std::isfinite(p.z),
            "run page: road point " + std::to_string(i) + " is not finite");
    require(i == 0 || p.x > page.road[i - 1].x,
            "run page: the road's x does not increase at point " + std::to_string(i));
  }
}

void check_sweep(const SweepPage& page) {
  const std::size_t ny = page.y ? page.y->values.size() : 1;
  std::set<std::pair<std::size_t, std::size_t>> cells;
  for (const SweepCase& c : page.cases) {
    const std::string where =
        "sweep page: case (" + std::to_string(c.ix) + ", " + std::to_string(c.iy) + ")";
    require(c.ix < page.x.values.size() && c.iy < ny, where + " lies outside the axes");
    require(cells.insert({c.ix, c.iy}).second, where + " appears twice");
  }
}

json axis_json(const SweepAxis& axis) {
  return {{"name", axis.name}, {"unit", axis.unit}, {"values", axis.values}};
}

json optional_json(const std::optional<double>& value) {
  return value ? json(*value) : json(nullptr);
}

}  // namespace

void write_run_page(std::ostream& out, const RunPage& page) {
  check_run(page);
  json columns = json::array();
  for (std::size_t j = 0; j < page.columns.size(); ++j) {
    const Column& c = page.columns[j];
    const bool wide = j == 0;
    columns.push_back({{"name", c.name},
                       {"unit", c.unit},
                       {"group", c.group.empty() ? "other" : c.group},
                       {"meaning", c.meaning},
                       {"type", wide ? "f64" : "f32"},
                       {"data", column_data(page.rows, j, wide)}});
  }
  const auto shown = static_cast<std::int64_t>(page.rows.size());
  const json data = {{"kind", "run"},
                     {"title", page.title},
                     {"case", case_json(page.case_params)},
                     {"case_notes", page.case_notes},
                     {"summary", page.summary},
                     {"truck", truck_json(page.truck)},
                     {"road", points_json(page.road)},
                     {"rows", page.rows.size()},
                     {"rows_total", std::max(page.rows_total, shown)},
                     {"slices", page.slices},
                     {"csv", page.csv_file.empty() ? json(nullptr) : json(page.csv_file)},
                     {"columns", std::move(columns)}};
  fill_template(out, {"run", html_text(page.title), script_json(data), assets::run_js(), true});
}

std::size_t run_rows_within(std::size_t columns, std::size_t bytes) {
  // Base64 makes 4 characters of every 3 bytes; each column ends in at most one padded group.
  const std::size_t row = 8 + 4 * (columns > 0 ? columns - 1 : 0), padding = 4 * columns;
  return bytes > padding ? std::max<std::size_t>(1, (bytes - padding) / 4 * 3 / row) : 1;
}

void write_sweep_page(std::ostream& out, const SweepPage& page) {
  check_sweep(page);
  json cases = json::array();
  for (const SweepCase& c : page.cases) {
    cases.push_back({{"ix", c.ix}, {"iy", c.iy}, {"verdict", c.verdict}, {"summary", c.summary}});
  }
  const json data = {{"kind", "sweep"},
                     {"title", page.title},
                     {"case", case_json(page.case_params)},
                     {"case_notes", page.case_notes},
                     {"x", axis_json(page.x)},
                     {"y", page.y ? axis_json(*page.y) : json(nullptr)},
                     {"cases", std::move(cases)}};
  fill_template(out,
                {"sweep", html_text(page.title), script_json(data), assets::sweep_js(), false});
}

void write_capacity_page(std::ostream& out, const CapacityPage& page) {
  json rows = json::array();
  for (const CapacityRow& r : page.rows) {
    rows.push_back({{"height", r.height},
                    {"across", optional_json(r.across)},
                    {"capacity_stable", optional_json(r.capacity_stable)},
                    {"capacity_no_tip", optional_json(r.capacity_no_tip)},
                    {"note", r.note}});
  }
  const json data = {{"kind", "capacity"},
                     {"title", page.title},
                     {"case", case_json(page.case_params)},
                     {"case_notes", page.case_notes},
                     {"height_name", page.height_name},
                     {"height_unit", page.height_unit},
                     {"across_name", page.across_name},
                     {"across_unit", page.across_unit},
                     {"capacity_unit", page.capacity_unit},
                     {"rows", std::move(rows)}};
  fill_template(
      out, {"capacity", html_text(page.title), script_json(data), assets::capacity_js(), false});
}

void write_tilt_page(std::ostream& out, const TiltPage& page) {
  json rows = json::array();
  for (const TiltRow& r : page.rows) {
    rows.push_back({{"height", r.height},
                    {"critical", optional_json(r.critical)},
                    {"rigid", r.rigid},
                    {"below", r.below},
                    {"above", r.above},
                    {"pass", r.pass ? json(*r.pass) : json(nullptr)},
                    {"note", r.note}});
  }
  const json data = {{"kind", "tilt"},
                     {"title", page.title},
                     {"case", case_json(page.case_params)},
                     {"case_notes", page.case_notes},
                     {"height_name", page.height_name},
                     {"height_unit", page.height_unit},
                     {"require", optional_json(page.require)},
                     {"rows", std::move(rows)}};
  fill_template(out, {"capacity", html_text(page.title), script_json(data), assets::tilt_js(), false});
}

}  // namespace liftsim::html
