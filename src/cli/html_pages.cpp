#include "cli/html_pages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "html/report.h"
#include "run/legs.h"
#include "results/columns.h"
#include "results/summary_text.h"
#include "sweepfile/format.h"
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

// A study's base case for its page: the values read from dani.dat and those set, each with its
// source; the model, road, drive and brake in words.
void describe(const sweep::BaseFacts& base, std::vector<html::CaseParam>& params,
              std::vector<std::string>& notes) {
  for (const auto& [list, source] :
       {std::pair{&base.from_input, "dani.dat"}, std::pair{&base.set, "set"}}) {
    for (const sweep::NamedValue& v : *list) {
      params.push_back({std::string(v.param->name), v.value, std::string(v.param->unit), source});
    }
  }
  notes = {std::string("model: ") + model::kind_name(base.model),
           base.road_points == 0 ? std::string("road: flat")
                                 : "road: profile of " + std::to_string(base.road_points) + " points",
           "drive: " + sweep::drive_words(base), "brake: " + sweep::brake_words(base)};
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

std::optional<html::SweepCase> sweep_cell(const std::vector<sweep::Axis>& axes,
                                          const std::vector<std::string>& columns,
                                          const sweep::SweepRow& row) {
  std::int64_t inner = 1;  // cases per value of the first axis
  for (std::size_t k = 1; k < axes.size(); ++k) {
    inner *= static_cast<std::int64_t>(axes[k].values.size());
  }
  const std::int64_t per_y =  // cases per value of the second axis, within one of the first
      axes.size() > 1 ? inner / static_cast<std::int64_t>(axes[1].values.size()) : inner;
  if (axes.size() > 2 && row.index % per_y != 0) return std::nullopt;
  html::SweepCase c;
  c.ix = static_cast<std::size_t>(row.index / inner);
  c.iy = axes.size() > 1 ? static_cast<std::size_t>((row.index % inner) / per_y) : 0;
  const std::vector<sweepfile::Value> values = sweepfile::sweep_values(row);
  nlohmann::json s = nlohmann::json::object();
  for (std::size_t k = 0; k < columns.size() && k < values.size(); ++k) {
    const sweepfile::Value& v = values[k];
    if (const double* d = std::get_if<double>(&v)) {
      s[columns[k]] = *d;
    } else if (const std::int64_t* i = std::get_if<std::int64_t>(&v)) {
      s[columns[k]] = *i;
    } else if (const std::string* t = std::get_if<std::string>(&v)) {
      s[columns[k]] = *t;
    } else {
      s[columns[k]] = nullptr;
    }
  }
  // A case that failed on its own files has no verdict: its cell says error.
  c.verdict = row.verdict ? results::verdict_name(*row.verdict) : "error";
  c.summary = std::move(s);
  return c;
}

void write_sweep_html(const std::string& path, const std::string& title,
                      const std::vector<sweep::Axis>& axes, std::vector<html::SweepCase> cells,
                      const sweep::BaseFacts& base) {
  html::SweepPage page;
  page.title = title;
  describe(base, page.case_params, page.case_notes);
  auto axis = [](const sweep::Axis& a) {
    return html::SweepAxis{std::string(a.param->name), std::string(a.param->unit), a.values};
  };
  page.x = axis(axes[0]);
  if (axes.size() > 1) page.y = axis(axes[1]);
  page.cases = std::move(cells);
  std::ostringstream out;
  html::write_sweep_page(out, page);
  write_file(path, out.str());
}

void write_capacity_html(const std::string& path, const std::string& title,
                         const sweep::Axis& heights, const std::optional<sweep::Axis>& across,
                         const std::vector<sweep::CapacityRow>& rows,
                         const sweep::BaseFacts& base) {
  html::CapacityPage page;
  page.title = title;
  describe(base, page.case_params, page.case_notes);
  page.height_name = std::string(heights.param->name);
  page.height_unit = std::string(heights.param->unit);
  if (across) {
    page.across_name = std::string(across->param->name);
    page.across_unit = std::string(across->param->unit);
  }
  for (const sweep::CapacityRow& r : rows) {
    html::CapacityRow row;
    row.height = r.height;
    row.across = r.across;
    row.capacity_stable = r.stable.mass;
    row.capacity_no_tip = r.no_tip.mass;
    std::string note;
    if (!r.stable.note.empty()) note += "stable: " + r.stable.note;
    if (!r.no_tip.note.empty())
      note += (note.empty() ? "" : "; ") + std::string("no tip: ") + r.no_tip.note;
    row.note = note;
    page.rows.push_back(std::move(row));
  }
  std::ostringstream out;
  html::write_capacity_page(out, page);
  write_file(path, out.str());
}

void write_tilt_html(const std::string& path, const std::string& title, const sweep::Axis& heights,
                     const std::optional<double>& require, const std::vector<sweep::TiltRow>& rows,
                     const sweep::BaseFacts& base) {
  html::TiltPage page;
  page.title = title;
  describe(base, page.case_params, page.case_notes);
  // The table's own drive and brake replace the base case's.
  std::erase_if(page.case_notes, [](const std::string& n) {
    return n.starts_with("drive: ") || n.starts_with("brake: ");
  });
  page.case_notes.push_back("on the table: drive off, the brake holding from the start, the load "
                            "secured (f_fr = 10 unless set)");
  page.height_name = std::string(heights.param->name);
  page.height_unit = std::string(heights.param->unit);
  page.require = require;
  for (const sweep::TiltRow& r : rows) {
    html::TiltRow row;
    row.height = r.height;
    row.critical = r.critical;
    row.rigid = r.rigid;
    if (r.below) row.below = results::verdict_name(*r.below);
    if (r.above) row.above = results::verdict_name(*r.above);
    row.pass = r.pass;
    row.note = r.note;
    page.rows.push_back(std::move(row));
  }
  std::ostringstream out;
  html::write_tilt_page(out, page);
  write_file(path, out.str());
}

}  // namespace liftsim::cli
