#include "python/case_args.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <utility>

#include "examples/bundled.h"
#include "params/road_profile.h"
#include "params/series.h"

namespace liftsim::python {
namespace {

const char* statement_name(textio::Statement s) {
  switch (s) {
    case textio::Statement::open:
      return "OPEN";
    case textio::Statement::read:
      return "READ";
    case textio::Statement::write:
      return "WRITE";
    case textio::Statement::close:
      return "CLOSE";
    case textio::Statement::math:
      return "MATH";
    case textio::Statement::signal:
      return "SIGNAL";
  }
  return "?";
}

// (text, name) of a file's content handed over by the package.
std::pair<std::string, std::string> named_text(const py::handle& value) {
  return value.cast<std::pair<std::string, std::string>>();
}

// A drive torque or a brake limit over time.
model::TimeSeries series(const py::handle& value, bool non_negative, std::string& name) {
  auto [text, file] = named_text(value);
  model::TimeSeries out;
  if (auto bad = params::parse_series(text, file, non_negative, out)) {
    throw py::value_error(bad->message);
  }
  name = std::move(file);
  return out;
}

}  // namespace

params::Overrides parse_assignments(const std::vector<std::string>& assignments) {
  params::Overrides overrides;
  for (const std::string& text : assignments) {
    params::Overrides one;
    if (auto bad = params::parse_assignment(text, one)) throw py::value_error(bad->message);
    overrides.add(one);
  }
  params::CaseValues v = params::built_in_case();
  for (const auto& a : overrides.list()) a.param->ref(v) = a.value;
  if (auto bad = params::check_case(v)) throw py::value_error(bad->message);
  return overrides;
}

CaseArgs case_args(const py::dict& c) {
  CaseArgs a;
  a.overrides = parse_assignments(c["assignments"].cast<std::vector<std::string>>());
  const std::string model = c["model"].cast<std::string>();
  if (model == "sound") {
    a.kind = model::Kind::sound;
  } else if (model != "legacy") {
    throw py::value_error("model '" + model + "': use legacy or sound");
  }
  if (const py::object limit = c["work_limit"]; !limit.is_none()) {
    const auto calls = limit.cast<std::int64_t>();
    if (calls < 0) throw py::value_error("work_limit must be 0 (no limit) or more");
    a.work.derivative_calls = calls;
  }
  a.thresholds.slide_limit = c["slide_limit"].cast<double>();
  a.thresholds.lift_force = c["lift_force"].cast<double>();
  if (!(std::isfinite(a.thresholds.slide_limit) && a.thresholds.slide_limit >= 0.0)) {
    throw py::value_error("slide_limit must be a finite length >= 0 (m)");
  }
  if (!std::isfinite(a.thresholds.lift_force)) {
    throw py::value_error("lift_force must be a finite force (N)");
  }
  a.stop_when_decided = c["stop_when_decided"].cast<bool>();

  if (const py::object road = c["road"]; !road.is_none()) {
    auto [text, name] = named_text(road);
    if (auto bad = params::parse_road(text, name, a.road)) throw py::value_error(bad->message);
    a.labels.road = "profile " + name;
  }
  if (const py::object drive = c["drive"]; py::isinstance<py::str>(drive)) {
    if (drive.cast<std::string>() != "off") throw py::value_error("drive: a series, a path or 'off'");
    a.drive.torque = model::TimeSeries({{0.0, 0.0}});
    a.labels.drive = "off";
  } else if (!drive.is_none()) {
    std::string name;
    a.drive.torque = series(drive, false, name);
    a.labels.drive = "torque from " + name;
  }
  if (const py::object brake = c["brake"]; py::isinstance<py::str>(brake)) {
    if (brake.cast<std::string>() != "hold") throw py::value_error("brake: a series, a path or 'hold'");
    a.drive.hold = true;
    a.labels.brake = "hold";
  } else if (!brake.is_none()) {
    std::string name;
    a.drive.brake = series(brake, true, name);
    a.labels.brake = "limit from " + name;
  }
  const py::object input = c["input"];
  a.input_text = input.is_none() ? std::string(examples::dani_dat()) : input.cast<std::string>();
  return a;
}

sweep::BaseCase base_case(const CaseArgs& a) {
  sweep::BaseCase b;
  b.input_text = a.input_text;
  b.overrides = a.overrides;
  b.road = a.road;
  b.drive = a.drive;
  b.kind = a.kind;
  b.work = a.work;
  b.thresholds = a.thresholds;
  b.stop_when_decided = a.stop_when_decided;
  return b;
}

std::string report_line(const textio::RunError& e) {
  return std::string(textio::error_code_text(e.code)) + " " + statement_name(e.statement) + "(" +
         e.file + "): " + e.message;
}

py::object error_tuple(const std::optional<textio::RunError>& e) {
  if (!e) return py::none();
  return py::make_tuple(textio::error_code_text(e->code), e->message, statement_name(e->statement),
                        e->file);
}

}  // namespace liftsim::python
