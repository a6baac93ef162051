#include "cli/html_pages.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "html/report.h"
#include "run/legs.h"
#include "results/columns.h"
#include "results/summary_text.h"
#include "textio/files.h"
#include "textio/run_error.h"

namespace liftsim::cli {
namespace {

void write_file(const std::string& path, const std::string& page) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    const int error = errno;
    textio::fail(textio::open_error_code(error), textio::Statement::open, path,
                 "cannot create " + path + ": " + std::strerror(error));
  }
  out << page;
  out.flush();
  if (!out) {
    const int error = errno;
    textio::fail(textio::write_error_code(error), textio::Statement::write, path,
                 "cannot write to " + path + ": " + std::strerror(error));
  }
}

std::vector<html::CaseParam> case_params(const std::vector<std::pair<std::string, double>>& list) {
  std::vector<html::CaseParam> out;
  for (const auto& [name, value] : list) {
    const params::Param* p = params::find_param(name);
    out.push_back({name, value, p != nullptr ? std::string(p->unit) : "", "set"});
  }
  return out;
}

std::vector<html::CaseParam> case_params(const params::Overrides& o) {
  std::vector<std::pair<std::string, double>> list;
  for (const auto& a : o.list()) list.emplace_back(std::string(a.param->name), a.value);
  return case_params(list);
}

// The fields of a CSV line.
std::vector<std::string_view> split(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const auto comma = line.find(',');
    fields.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    line.remove_prefix(comma + 1);
  }
}

nlohmann::json value_of(std::string_view text) {
  if (text.empty()) return nullptr;
  double v = 0.0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return v;
  return std::string(text);
}

// Header names and rows of a result file.
std::vector<std::vector<std::string_view>> rows_of(const std::string& text,
                                                   std::vector<std::string_view>& header) {
  std::vector<std::vector<std::string_view>> rows;
  std::size_t pos = 0;
  bool first = true;
  while (pos < text.size()) {
    const auto lf = text.find('\n', pos);
    if (lf == std::string::npos) break;
    const std::string_view line(text.data() + pos, lf - pos);
    pos = lf + 1;
    if (first) {
      header = split(line);
      first = false;
      continue;
    }
    auto fields = split(line);
    if (fields.size() == header.size()) rows.push_back(std::move(fields));
  }
  return rows;
}

}  // namespace

void write_run_html(const std::string& path, const std::string& title, const run::RunResult& result,
                    const results::Summary& summary,
                    const std::vector<const results::Column*>& columns, results::PageSink& rows,
                    const std::string& csv_file, const model::Road& road) {
  html::RunPage page;
  page.title = title;
  for (const results::CaseValue& v : summary.case_values) {
    const params::Param* p = params::find_param(v.name);
    page.case_params.push_back({v.name, v.value, p != nullptr ? std::string(p->unit) : "", v.source});
  }
  page.case_notes = {std::string("model: ") + model::kind_name(summary.model),
                     "road: " + summary.labels.road, "drive: " + summary.labels.drive,
                     "brake: " + summary.labels.brake};
  page.summary = nlohmann::json::parse(results::summary_json(summary));
  for (const results::Column* c : columns) {
    page.columns.push_back({std::string(c->name), std::string(c->unit), std::string(c->group),
                            std::string(c->meaning)});
  }
  page.rows = rows.take_rows();
  page.rows_total = rows.rows_seen();
  page.slices = rows.slices();
  page.csv_file = csv_file;
  const model::Par& p = result.values.par;
  html::TruckGeometry& t = page.truck;
  t.L_b = p.L_b;
  t.R_t = p.R_t;
  t.R_k = p.R_k;
  t.xh_1 = p.xh_1;
  t.zh_1 = p.zh_1;
  t.xh_3 = p.xh_3;
  t.zh_3 = p.zh_3;
  t.x_O2 = p.x_O2;
  t.zc_4 = p.zc_4;
  t.fork_length = p.l_fork;
  for (int k = 0; k < model::kObservationPoints; ++k) {
    t.observation_points.push_back({result.values.obs.xp[k], result.values.obs.zp[k]});
  }
  const auto& points = road.points();
  if (points.size() <= kRunPageRoadPoints) {
    for (const model::RoadPoint& r : points) page.road.push_back({r.x, r.z});
  } else {
    // Rows of x and z, x increasing: reduced as a run's rows are, slices along x.
    results::PageSink kept(2, points.front().x, points.back().x, kRunPageRoadPoints);
    for (const model::RoadPoint& r : points) {
      const double xz[2] = {r.x, r.z};
      kept.on_row(xz);
    }
    for (const auto& xz : kept.take_rows()) page.road.push_back({xz[0], xz[1]});
  }
  if (result.values.slope != 0.0) {
    // On a gradient: the profile's points tilted, and points far out on either side (beyond the
    // ends the drawing keeps the height it has there).
    const model::Road tilted = run::road_of(result.values, road);
    for (html::Point& q : page.road) q.z = tilted.z(q.x);
    const double x0 = result.values.x_0;
    const double far_left = std::min(x0, page.road.empty() ? x0 : page.road.front().x) - 1000.0;
    const double far_right = std::max(x0, page.road.empty() ? x0 : page.road.back().x) + 1000.0;
    page.road.insert(page.road.begin(), {far_left, tilted.z(far_left)});
    page.road.push_back({far_right, tilted.z(far_right)});
  }
  std::ostringstream out;
  html::write_run_page(out, page);
  write_file(path, out.str());
}

void write_sweep_html(const std::string& path, const std::string& title,
                      const std::vector<sweep::Axis>& axes, const std::string& results_text,
                      const params::Overrides& base) {
  html::SweepPage page;
  page.title = title;
  page.case_params = case_params(base);
  auto axis = [](const sweep::Axis& a) {
    return html::SweepAxis{std::string(a.param->name), std::string(a.param->unit), a.values};
  };
  page.x = axis(axes[0]);
  if (axes.size() > 1) page.y = axis(axes[1]);
  std::vector<std::string_view> header;
  const sweep::CaseGrid grid(axes);
  for (const auto& fields : rows_of(results_text, header)) {
    std::int64_t index = 0;
    std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), index);
    // The map shows the first two axes; with more, each cell shows the first case that falls in.
    const std::int64_t inner = grid.size() / static_cast<std::int64_t>(axes[0].values.size());
    html::SweepCase c;
    c.ix = static_cast<std::size_t>(index / inner);
    c.iy = axes.size() > 1
               ? static_cast<std::size_t>(
                     (index % inner) / (inner / static_cast<std::int64_t>(axes[1].values.size())))
               : 0;
    if (axes.size() > 2 &&
        index % (inner / static_cast<std::int64_t>(axes[1].values.size())) != 0) {
      continue;
    }
    nlohmann::json s = nlohmann::json::object();
    for (std::size_t k = 0; k < header.size(); ++k) s[std::string(header[k])] = value_of(fields[k]);
    c.verdict = s.value("verdict", std::string("numerical_failure"));
    c.summary = std::move(s);
    page.cases.push_back(std::move(c));
  }
  std::ostringstream out;
  html::write_sweep_page(out, page);
  write_file(path, out.str());
}

void write_capacity_html(const std::string& path, const std::string& title,
                         const sweep::Axis& heights, const std::string& results_text,
                         const params::Overrides& base) {
  html::CapacityPage page;
  page.title = title;
  page.case_params = case_params(base);
  page.height_unit = std::string(heights.param->unit);
  std::vector<std::string_view> header;
  for (const auto& f : rows_of(results_text, header)) {
    // case, height, capacity_stable, capacity_no_tip, min_F_kp_stable, min_F_kp_no_tip,
    // stable_note, no_tip_note, runs
    if (f.size() < 8) continue;
    html::CapacityRow row;
    const nlohmann::json h = value_of(f[1]), cs = value_of(f[2]), cn = value_of(f[3]);
    if (!h.is_number()) continue;
    row.height = h.get<double>();
    if (cs.is_number()) row.capacity_stable = cs.get<double>();
    if (cn.is_number()) row.capacity_no_tip = cn.get<double>();
    std::string note;
    if (!f[6].empty()) note += "stable: " + std::string(f[6]);
    if (!f[7].empty())
      note += std::string(note.empty() ? "" : "; ") + "no tip: " + std::string(f[7]);
    row.note = note;
    page.rows.push_back(std::move(row));
  }
  std::ostringstream out;
  html::write_capacity_page(out, page);
  write_file(path, out.str());
}

}  // namespace liftsim::cli
