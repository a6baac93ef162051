#include "sweep/study.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "sweep/ordered_runner.h"

namespace liftsim::sweep {
namespace {

std::optional<params::ParseError> check_common(const BaseCase& base, const Shard& shard,
                                               int threads) {
  if (shard.count < 1 || shard.index < 1 || shard.index > shard.count) {
    return params::ParseError{"--shard " + std::to_string(shard.index) + "/" +
                              std::to_string(shard.count) + " is not K/N with 1 <= K <= N"};
  }
  if (threads < 0 || threads > kMostThreads) {
    return params::ParseError{"--jobs " + std::to_string(threads) + ": use 1 to " +
                              std::to_string(kMostThreads) +
                              " threads, or 0 for as many as the CPUs this process may use"};
  }
  if (!(std::isfinite(base.thresholds.slide_limit) && base.thresholds.slide_limit >= 0.0)) {
    return params::ParseError{"--slide-limit must be a finite length >= 0 (m)"};
  }
  if (!std::isfinite(base.thresholds.lift_force)) {
    return params::ParseError{"--lift-force must be a finite force (N)"};
  }
  return std::nullopt;
}

// Runs the shard's rows after `skip` through the ordered runner.
template <class Row>
StudyEnd run_rows(std::int64_t total, const Shard& shard, int threads, const std::atomic<int>* stop,
                  std::int64_t skip,
                  const std::function<std::optional<Row>(std::int64_t index)>& work,
                  const std::function<void(Row& row)>& sink) {
  StudyEnd end;
  const std::int64_t rows = shard.size(total);
  skip = std::clamp<std::int64_t>(skip, 0, rows);
  end.done = skip;
  try {
    end.done += run_ordered<Row>(
        rows - skip, [&](std::int64_t p) { return work(shard.at(skip + p)); },
        [&](std::int64_t, Row& row) { sink(row); }, {thread_count(threads, rows - skip), stop});
  } catch (const textio::RunFailure& failure) {
    end.error = failure.error();
  }
  end.stopped = end.done < rows && !end.error;
  return end;
}

}  // namespace

int thread_count(int threads, std::int64_t rows) {
  const std::int64_t wanted = threads > 0 ? threads : usable_cpus();
  return static_cast<int>(std::clamp<std::int64_t>(std::min(wanted, rows), 1, kMostThreads));
}

std::optional<params::ParseError> check_sweep(const SweepPlan& plan) {
  if (plan.axes.empty()) return params::ParseError{"--vary NAME=... is needed at least once"};
  for (std::size_t k = 0; k < plan.axes.size(); ++k) {
    for (std::size_t j = 0; j < k; ++j) {
      if (plan.axes[j].param == plan.axes[k].param) {
        return params::ParseError{"--vary: " + std::string(plan.axes[k].param->name) +
                                  " is varied twice"};
      }
    }
  }
  if (case_count(plan.axes) > kMostCases) {
    return params::ParseError{"--vary: more than " + std::to_string(kMostCases) + " cases"};
  }
  if (auto bad = check_common(plan.base, plan.shard, plan.threads)) return bad;
  if (auto bad = check_cases(plan.base, plan.axes)) return bad;
  if (!plan.save_dir.empty()) return check_save_folder(plan.save_dir);
  return std::nullopt;
}

std::int64_t capacity_rows(const CapacityPlan& plan) {
  std::vector<Axis> axes{plan.heights};
  if (plan.across) axes.push_back(*plan.across);
  return case_count(axes);
}

std::optional<params::ParseError> check_capacity(const CapacityPlan& plan) {
  const params::Param& mass = *params::find_param("m_4");
  if (plan.heights.param == &mass || (plan.across && plan.across->param == &mass)) {
    return params::ParseError{"capacity searches m_4; vary the height (and the load centre)"};
  }
  if (plan.across && plan.across->param == plan.heights.param) {
    return params::ParseError{"--vary: " + std::string(plan.heights.param->name) +
                              " is varied twice"};
  }
  if (capacity_rows(plan) > kMostCases) {
    return params::ParseError{"--vary: more than " + std::to_string(kMostCases) + " rows"};
  }
  if (auto bad = check_mass_range(plan.mass)) return bad;
  if (auto bad = check_common(plan.base, plan.shard, plan.threads)) return bad;
  std::vector<Axis> axes{plan.heights, Axis{&mass, {plan.mass.lo, plan.mass.hi}}};
  if (plan.across) axes.push_back(*plan.across);
  return check_cases(plan.base, axes);
}

std::optional<params::ParseError> check_tilt(const TiltPlan& plan) {
  if (plan.heights.param == params::find_param("slope")) {
    return params::ParseError{"tilt-test searches the slope; vary the height"};
  }
  if (static_cast<std::int64_t>(plan.heights.values.size()) > kMostCases) {
    return params::ParseError{"--vary: more than " + std::to_string(kMostCases) + " heights"};
  }
  const TiltOptions& o = plan.options;
  if (!(std::isfinite(o.resolution) && o.resolution >= 1e-6 && o.resolution <= 10.0)) {
    return params::ParseError{"--resolution must be a slope from 1e-6 to 10 per cent"};
  }
  if (!(std::isfinite(o.margin) && o.margin >= o.resolution && o.margin <= 10.0)) {
    return params::ParseError{"--margin must be a slope from the resolution to 10 per cent"};
  }
  if (o.require && !(std::isfinite(*o.require) && *o.require >= 0.0 && *o.require < 100.0)) {
    return params::ParseError{"--require must be a slope from 0 to below 100 per cent"};
  }
  if (auto bad = check_common(plan.base, plan.shard, plan.threads)) return bad;
  return check_cases(plan.base, {plan.heights});
}

StudyEnd run_tilt(const TiltPlan& plan, std::int64_t skip,
                  const std::function<void(std::int64_t index, TiltRow& row)>& sink) {
  struct Indexed {
    std::int64_t index;
    TiltRow row;
  };
  auto work = [&](std::int64_t index) -> std::optional<Indexed> {
    TiltOptions options = plan.options;
    options.stop = plan.stop;
    auto row = tilt_test(plan.base, *plan.heights.param,
                         plan.heights.values[static_cast<std::size_t>(index)], options);
    if (!row) return std::nullopt;
    return Indexed{index, std::move(*row)};
  };
  return run_rows<Indexed>(static_cast<std::int64_t>(plan.heights.values.size()), plan.shard,
                           plan.threads, plan.stop, skip, work,
                           [&](Indexed& r) { sink(r.index, r.row); });
}

StudyEnd run_sweep(const SweepPlan& plan, std::int64_t skip,
                   const std::function<void(SweepRow& row)>& sink) {
  const CaseGrid grid(plan.axes);
  const int digits = std::max<int>(5, static_cast<int>(std::to_string(grid.size()).size()));
  if (!plan.save_dir.empty() && ::mkdir(plan.save_dir.c_str(), 0777) != 0 && errno != EEXIST) {
    const int error = errno;
    StudyEnd end;
    end.error = textio::RunError{
        error == ENOENT || error == ENOTDIR ? textio::ErrorCode::F6416 : textio::ErrorCode::F6414,
        textio::Statement::open, plan.save_dir,
        "cannot create folder " + plan.save_dir + ": " + std::strerror(error)};
    return end;
  }
  auto work = [&](std::int64_t index) -> std::optional<SweepRow> {
    SweepRow row;
    row.index = index;
    grid.values(index, row.values);
    std::vector<params::Assignment> varied;
    for (std::size_t k = 0; k < plan.axes.size(); ++k) {
      varied.push_back({plan.axes[k].param, row.values[k]});
    }
    std::string save;
    if (!plan.save_dir.empty()) {
      std::string number = std::to_string(index);
      number.insert(
          0, static_cast<std::size_t>(std::max(0, digits - static_cast<int>(number.size()))), '0');
      save = plan.save_dir + "/case-" + number;
    }
    row.summary = run_case(plan.base, varied, save, plan.stop);
    if (interrupted(row.summary)) return std::nullopt;
    row.verdict = reported_verdict(row.summary);
    return row;
  };
  return run_rows<SweepRow>(grid.size(), plan.shard, plan.threads, plan.stop, skip, work, sink);
}

StudyEnd run_capacity(const CapacityPlan& plan, std::int64_t skip,
                      const std::function<void(std::int64_t index, CapacityRow& row)>& sink) {
  struct Indexed {
    std::int64_t index;
    CapacityRow row;
  };
  const std::size_t across = plan.across ? plan.across->values.size() : 1;
  auto work = [&](std::int64_t index) -> std::optional<Indexed> {
    CapacityOptions options;
    options.convergence = plan.convergence;
    options.stop = plan.stop;
    const auto at = static_cast<std::size_t>(index);
    const BaseCase* base = &plan.base;
    BaseCase there;
    if (plan.across) {
      there = plan.base;
      there.overrides.set(*plan.across->param, plan.across->values[at % across]);
      base = &there;
    }
    auto row = find_capacity(*base, *plan.heights.param, plan.heights.values[at / across],
                             plan.mass, options);
    if (!row) return std::nullopt;
    if (plan.across) row->across = plan.across->values[at % across];
    return Indexed{index, std::move(*row)};
  };
  return run_rows<Indexed>(capacity_rows(plan), plan.shard, plan.threads, plan.stop, skip, work,
                           [&](Indexed& r) { sink(r.index, r.row); });
}

}  // namespace liftsim::sweep
