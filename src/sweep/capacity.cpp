#include "sweep/capacity.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "results/csv_writer.h"
#include "sweep/axes.h"

namespace liftsim::sweep {
namespace {

// The k-th mass of the range, as the user would type it (see decimal()).
double mass_at(const MassRange& range, std::int64_t k) {
  const double scale = std::max({std::fabs(range.lo), std::fabs(range.hi), range.resolution});
  return decimal(range.lo + static_cast<double>(k) * range.resolution, range.resolution, scale);
}

// Largest k in [0, K] with pred(k), for a pred that is true up to some k and false beyond.
template <class Pred>
Capacity bisect(std::int64_t K, Pred&& pred, const MassRange& range) {
  if (!pred(0)) return {std::nullopt, "below_range"};
  if (pred(K)) return {std::nullopt, "above_range"};
  std::int64_t good = 0, bad = K;
  while (bad - good > 1) {
    const std::int64_t mid = good + (bad - good) / 2;
    (pred(mid) ? good : bad) = mid;
  }
  return {mass_at(range, good), ""};
}

}  // namespace

CapacityRow find_capacity(const BaseCase& base, const params::Param& height_param, double height,
                          const MassRange& range) {
  CapacityRow row;
  row.height = height;
  const params::Param& mass = *params::find_param("m_4");
  const auto K =
      static_cast<std::int64_t>(std::floor((range.hi - range.lo) / range.resolution + 1e-9));
  std::map<std::int64_t, results::Verdict> seen;
  auto verdict = [&](std::int64_t k) {
    const auto it = seen.find(k);
    if (it != seen.end()) return it->second;
    const double m = mass_at(range, k);
    const results::Summary s = run_case(base, {{&height_param, height}, {&mass, m}});
    ++row.runs;
    seen.emplace(k, s.verdict);
    return s.verdict;
  };
  row.stable = bisect(
      K, [&](std::int64_t k) { return verdict(k) == results::Verdict::stable; }, range);
  row.no_tip = bisect(
      K, [&](std::int64_t k) { return verdict(k) != results::Verdict::tip_over; }, range);
  return row;
}

std::string capacity_header(const params::Param& height_param) {
  return "case," + std::string(height_param.name) +
         ",capacity_stable,capacity_no_tip,stable_note,no_tip_note,runs\n";
}

std::string capacity_row(std::int64_t index, const CapacityRow& row) {
  std::string out = std::to_string(index) + ',';
  results::append_number(out, row.height);
  out += ',';
  if (row.stable.mass) results::append_number(out, *row.stable.mass);
  out += ',';
  if (row.no_tip.mass) results::append_number(out, *row.no_tip.mass);
  out += ',' + row.stable.note + ',' + row.no_tip.note + ',' + std::to_string(row.runs) + '\n';
  return out;
}

}  // namespace liftsim::sweep
