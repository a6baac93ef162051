#include "sweep/provenance.h"

#include <algorithm>

namespace liftsim::sweep {
namespace {

bool left_out(const params::Param& p, const std::vector<const params::Param*>& varied) {
  return std::find(varied.begin(), varied.end(), &p) != varied.end();
}

}  // namespace

std::uint64_t fnv1a64(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string base_case_text(const BaseCase& base, const params::CaseValues& values,
                           const std::vector<const params::Param*>& varied) {
  std::string text = "liftsim base case 1\nmodel=";
  text += model::kind_name(base.kind);
  text += '\n';
  for (const params::Param& p : params::all_params()) {
    if (left_out(p, varied)) continue;
    text += std::string(p.name) + '=' + params::shortest(params::get(p, values)) + '\n';
  }
  for (const params::Param& p : params::all_params()) {
    if (left_out(p, varied)) continue;
    if (const auto v = base.overrides.find(p)) {
      text += "set " + std::string(p.name) + '=' + params::shortest(*v) + '\n';
    }
  }
  for (const model::RoadPoint& r : base.road.points()) {
    text += "road " + params::shortest(r.x) + ' ' + params::shortest(r.z) + '\n';
  }
  for (const auto& [t, torque] : base.drive.torque.points()) {
    text += "torque " + params::shortest(t) + ' ' + params::shortest(torque) + '\n';
  }
  for (const auto& [t, torque] : base.drive.brake.points()) {
    text += "brake " + params::shortest(t) + ' ' + params::shortest(torque) + '\n';
  }
  text += std::string("brake_hold=") + (base.drive.hold ? "1" : "0") + '\n';
  text += "slide_limit=" + params::shortest(base.thresholds.slide_limit) + '\n';
  text += "lift_force=" + params::shortest(base.thresholds.lift_force) + '\n';
  text += "work_limit=" + std::to_string(base.work.derivative_calls) + '\n';
  text += std::string("stop_when_decided=") + (base.stop_when_decided ? "1" : "0") + '\n';
  return text;
}

namespace {
std::string over_time(std::size_t n) {
  return " over time (" + std::to_string(n) + (n == 1 ? " point)" : " points)");
}
}  // namespace

std::string drive_words(const BaseFacts& base) {
  if (base.torque_points == 0) return "engine law";
  return base.drive_off ? "off" : "torque" + over_time(base.torque_points);
}

std::string brake_words(const BaseFacts& base) {
  if (base.brake_hold) return "holds from the start";
  return base.brake_points == 0 ? "none" : "limit" + over_time(base.brake_points);
}

BaseFacts base_facts(const BaseCase& base, const params::CaseValues& values,
                     const params::CaseValues& plain,
                     const std::vector<const params::Param*>& varied) {
  BaseFacts f;
  f.model = base.kind;
  for (const params::Param& p : params::all_params()) {
    if (left_out(p, varied)) continue;
    const double used = params::get(p, values);
    if (used != params::get(p, plain)) {
      f.set.push_back({&p, used});
    } else if (p.record != 0 && !p.built_in && !p.echo_only) {
      f.from_input.push_back({&p, used});
    }
  }
  const auto& road = base.road.points();
  f.road_points = road.size();
  if (!road.empty()) {
    f.road_x_first = road.front().x;
    f.road_x_last = road.back().x;
  }
  const auto& torque = base.drive.torque.points();
  f.torque_points = torque.size();
  f.drive_off = torque.size() == 1 && torque.front().second == 0.0;
  f.brake_points = base.drive.brake.points().size();
  f.brake_hold = base.drive.hold;
  f.thresholds = base.thresholds;
  f.work = base.work;
  f.stop_when_decided = base.stop_when_decided;
  f.hash = fnv1a64(base_case_text(base, values, varied));
  return f;
}

}  // namespace liftsim::sweep
