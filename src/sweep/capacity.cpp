#include "sweep/capacity.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "results/csv_writer.h"
#include "sweep/axes.h"

namespace liftsim::sweep {
namespace {

using results::Verdict;

// The k-th mass of the range, as the user would type it (see decimal()).
double mass_at(const MassRange& range, std::int64_t k) {
  const double scale = std::max({std::fabs(range.lo), std::fabs(range.hi), range.resolution});
  return decimal(range.lo + static_cast<double>(k) * range.resolution, range.resolution, scale);
}

bool stable(Verdict v) {
  return v == Verdict::stable;
}
// Neither tipped nor left the model nor failed: a run that says nothing does not count as safe.
bool no_tip(Verdict v) {
  return v == Verdict::stable || v == Verdict::wheel_lift || v == Verdict::load_slide;
}

// The stop request ended the search: unwinds to find_capacity, which reports no row.
struct Stopped {};

// Runs of one height, each mass at most once.
class Probe {
 public:
  Probe(const BaseCase& base, const params::Param& height_param, double height,
        const MassRange& range, int& runs, const std::atomic<int>* stop)
      : base_(base),
        height_param_(height_param),
        height_(height),
        range_(range),
        runs_(runs),
        stop_(stop) {}

  const results::Summary& at(std::int64_t k) {
    auto it = seen_.find(k);
    if (it == seen_.end()) {
      if (stop_ != nullptr && stop_->load() != 0) throw Stopped{};
      const params::Param& mass = *params::find_param("m_4");
      results::Summary s =
          run_case(base_, {{&height_param_, height_}, {&mass, mass_at(range_, k)}}, {}, stop_);
      if (interrupted(s)) throw Stopped{};
      it = seen_.emplace(k, std::move(s)).first;
      ++runs_;
    }
    return it->second;
  }

 private:
  const BaseCase& base_;
  const params::Param& height_param_;
  double height_;
  const MassRange& range_;
  int& runs_;
  const std::atomic<int>* stop_;
  std::map<std::int64_t, results::Summary> seen_;
};

// How far a run is from failing `qualifies`: positive while it qualifies, crossing zero where it
// stops; none when the failing verdict has no continuous measure (a failure, the model left).
std::optional<double> margin(const results::Summary& s, Verdict failing) {
  const results::Facts& f = s.facts;
  if (f.points == 0) return std::nullopt;
  switch (failing) {
    case Verdict::wheel_lift:
    case Verdict::tip_over:
      return f.min_F_kp - s.thresholds.lift_force;
    case Verdict::load_slide:
      return s.thresholds.slide_limit - f.load_travel;
    default:
      return std::nullopt;
  }
}

// The largest k in (good, bad) that qualifies, knowing good qualifies and bad does not: steps
// between the two by false position on the margin where there is one (Illinois: a bound kept
// twice has its margin halved), by bisection otherwise.
std::int64_t narrow(Probe& probe, bool (*qualifies)(Verdict), std::int64_t good,
                    std::int64_t bad) {
  int kept_good = 0, kept_bad = 0;
  while (bad - good > 1) {
    const Verdict failing = probe.at(bad).verdict;
    const std::optional<double> m_good = margin(probe.at(good), failing);
    const std::optional<double> m_bad = margin(probe.at(bad), failing);
    std::int64_t k = good + (bad - good) / 2;
    if (m_good.has_value() && m_bad.has_value() && m_good.value() > 0.0 && m_bad.value() < 0.0) {
      const double wg = kept_good >= 2 ? 0.5 : 1.0, wb = kept_bad >= 2 ? 0.5 : 1.0;
      const double a = m_good.value() * wb, b = -m_bad.value() * wg;
      const double x = static_cast<double>(good) + static_cast<double>(bad - good) * (a / (a + b));
      k = std::clamp(static_cast<std::int64_t>(std::llround(x)), good + 1, bad - 1);
    }
    if (qualifies(probe.at(k).verdict)) {
      good = k;
      ++kept_bad;
      kept_good = 0;
    } else {
      bad = k;
      ++kept_good;
      kept_bad = 0;
    }
  }
  return good;
}

// What the coarse scan saw below the capacity that does not qualify, verdict by verdict.
std::string non_monotone_note(Probe& probe, const std::vector<std::int64_t>& scan,
                              std::size_t below, bool (*qualifies)(Verdict),
                              const MassRange& range) {
  std::map<std::string, std::pair<double, double>> seen;
  for (std::size_t i = 0; i < below; ++i) {
    const Verdict v = probe.at(scan[i]).verdict;
    if (qualifies(v)) continue;
    const double m = mass_at(range, scan[i]);
    auto [it, fresh] = seen.emplace(results::verdict_name(v), std::pair{m, m});
    if (!fresh) it->second.second = m;
  }
  std::string note;
  for (const auto& [verdict, masses] : seen) {
    std::string text;
    results::append_number(text, masses.first);
    if (masses.second != masses.first) {
      text += '-';
      results::append_number(text, masses.second);
    }
    note += (note.empty() ? "" : "; ") + verdict + " at " + text + " kg";
  }
  return note;
}

Capacity search(Probe& probe, const std::vector<std::int64_t>& scan, bool (*qualifies)(Verdict),
                const MassRange& range) {
  // The largest mass of the scan that qualifies.
  std::optional<std::size_t> last;
  for (std::size_t i = scan.size(); i-- > 0;) {
    if (qualifies(probe.at(scan[i]).verdict)) {
      last = i;
      break;
    }
  }
  Capacity c;
  if (!last) {
    c.note = "below_range";
    return c;
  }
  if (*last + 1 == scan.size()) {
    c.note = "above_range";
  } else {
    const std::int64_t k = narrow(probe, qualifies, scan[*last], scan[*last + 1]);
    c.mass = mass_at(range, k);
    c.min_F_kp = probe.at(k).facts.min_F_kp;
    // The next mass fails otherwise than by its wheels (the load leaves the forks, the run
    // fails): the capacity is that limit, not the truck's tipping one, and the row says so.
    const Verdict next = probe.at(k + 1).verdict;
    if (next != Verdict::tip_over && (qualifies == no_tip || next != Verdict::wheel_lift)) {
      std::string text = std::string("limited by ") + results::verdict_name(next) + " at ";
      results::append_number(text, mass_at(range, k + 1));
      c.note = text + " kg";
    }
  }
  const std::string below = non_monotone_note(probe, scan, *last, qualifies, range);
  if (!below.empty()) c.note += (c.note.empty() ? "" : "; ") + below;
  return c;
}

// The capacity again with a tenth of the error bound and of the largest step: starting from the
// one found, out to the nearest pair of neighbours that brackets the change.
std::optional<double> shifted(const BaseCase& base, const params::Param& height_param,
                              double height, const MassRange& range, double capacity,
                              bool (*qualifies)(Verdict), int& runs,
                              const std::atomic<int>* stop) {
  BaseCase tight = base;
  const params::CaseValues plain = params::built_in_case();
  for (const char* name : {"tol", "h_max"}) {
    const params::Param& p = *params::find_param(name);
    const double now = tight.overrides.find(p).value_or(params::get(p, plain));
    tight.overrides.set(p, now * 0.1);
  }
  Probe probe(tight, height_param, height, range, runs, stop);
  const auto K = static_cast<std::int64_t>(std::floor((range.hi - range.lo) / range.resolution + 1e-9));
  const auto k0 = static_cast<std::int64_t>(std::llround((capacity - range.lo) / range.resolution));
  std::int64_t good = k0, bad = k0 + 1;
  for (std::int64_t step = 1; !qualifies(probe.at(good).verdict); step *= 2) {
    bad = good;
    good = std::max<std::int64_t>(0, good - step);
    if (good == 0 && !qualifies(probe.at(0).verdict)) return std::nullopt;
  }
  for (std::int64_t step = 1; bad <= K && qualifies(probe.at(bad).verdict); step *= 2) {
    good = bad;
    bad = std::min(K + 1, bad + step);
  }
  if (bad > K) return std::nullopt;
  return mass_at(range, narrow(probe, qualifies, good, bad)) - capacity;
}

}  // namespace

std::optional<CapacityRow> find_capacity(const BaseCase& base, const params::Param& height_param,
                                         double height, const MassRange& range,
                                         const CapacityOptions& options) {
  CapacityRow row;
  row.height = height;
  const auto K =
      static_cast<std::int64_t>(std::floor((range.hi - range.lo) / range.resolution + 1e-9));
  // The coarse scan: both ends and masses between them about a sixteenth of the range apart.
  constexpr std::int64_t kScan = 16;
  std::vector<std::int64_t> scan;
  for (std::int64_t i = 0; i <= kScan; ++i) {
    const std::int64_t k = K * i / kScan;
    if (scan.empty() || k != scan.back()) scan.push_back(k);
  }
  try {
    Probe probe(base, height_param, height, range, row.runs, options.stop);
    row.stable = search(probe, scan, stable, range);
    row.no_tip = search(probe, scan, no_tip, range);
    if (options.convergence) {
      using Qualifies = bool (*)(Verdict);
      for (auto [capacity, qualifies] : {std::pair<Capacity*, Qualifies>{&row.stable, stable},
                                         std::pair<Capacity*, Qualifies>{&row.no_tip, no_tip}}) {
        if (!capacity->mass) continue;
        capacity->shift = shifted(base, height_param, height, range, *capacity->mass, qualifies,
                                  row.runs, options.stop);
      }
    }
  } catch (const Stopped&) {
    return std::nullopt;
  }
  return row;
}

std::optional<params::ParseError> check_mass_range(const MassRange& range) {
  if (!(range.lo > 0.0) || !(range.hi > range.lo) || !std::isfinite(range.hi)) {
    return params::ParseError{"--mass LO:HI needs 0 < LO < HI (kg)"};
  }
  if (!(std::isfinite(range.resolution) && range.resolution > 0.0) ||
      (range.hi - range.lo) / range.resolution > 1e9) {
    return params::ParseError{
        "--resolution must be a mass > 0 (kg), at most a billionth of the range"};
  }
  return std::nullopt;
}

}  // namespace liftsim::sweep
