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

std::optional<params::ParseError> check_sweep(const SweepSpec& spec) {
  if (spec.axes.empty()) return params::ParseError{"--vary NAME=... is needed at least once"};
  for (std::size_t k = 0; k < spec.axes.size(); ++k) {
    for (std::size_t j = 0; j < k; ++j) {
      if (spec.axes[j].param == spec.axes[k].param) {
        return params::ParseError{"--vary: " + std::string(spec.axes[k].param->name) +
                                  " is varied twice"};
      }
    }
  }
  if (case_count(spec.axes) > kMostCases) {
    return params::ParseError{"--vary: more than " + std::to_string(kMostCases) + " cases"};
  }
  if (auto bad = check_common(spec.base, spec.shard, spec.threads)) return bad;
  if (auto bad = check_cases(spec.base, spec.axes)) return bad;
  if (!spec.save_dir.empty()) return check_save_folder(spec.save_dir);
  return std::nullopt;
}

std::int64_t capacity_rows(const CapacitySpec& spec) {
  std::vector<Axis> axes{spec.heights};
  if (spec.across) axes.push_back(*spec.across);
  return case_count(axes);
}

std::optional<params::ParseError> check_capacity(const CapacitySpec& spec) {
  const params::Param& mass = *params::find_param("m_4");
  if (spec.heights.param == &mass || (spec.across && spec.across->param == &mass)) {
    return params::ParseError{"capacity searches m_4; vary the height (and the load centre)"};
  }
  if (spec.across && spec.across->param == spec.heights.param) {
    return params::ParseError{"--vary: " + std::string(spec.heights.param->name) +
                              " is varied twice"};
  }
  if (capacity_rows(spec) > kMostCases) {
    return params::ParseError{"--vary: more than " + std::to_string(kMostCases) + " rows"};
  }
  if (auto bad = check_mass_range(spec.mass)) return bad;
  if (auto bad = check_common(spec.base, spec.shard, spec.threads)) return bad;
  std::vector<Axis> axes{spec.heights, Axis{&mass, {spec.mass.lo, spec.mass.hi}}};
  if (spec.across) axes.push_back(*spec.across);
  return check_cases(spec.base, axes);
}

std::optional<params::ParseError> check_tilt(const TiltSpec& spec) {
  if (spec.heights.param == params::find_param("slope")) {
    return params::ParseError{"tilt-test searches the slope; vary the height"};
  }
  if (static_cast<std::int64_t>(spec.heights.values.size()) > kMostCases) {
    return params::ParseError{"--vary: more than " + std::to_string(kMostCases) + " heights"};
  }
  const TiltOptions& o = spec.options;
  if (!(std::isfinite(o.resolution) && o.resolution >= 1e-6 && o.resolution <= 10.0)) {
    return params::ParseError{"--resolution must be a slope from 1e-6 to 10 per cent"};
  }
  if (!(std::isfinite(o.margin) && o.margin >= o.resolution && o.margin <= 10.0)) {
    return params::ParseError{"--margin must be a slope from the resolution to 10 per cent"};
  }
  if (o.require && !(std::isfinite(*o.require) && *o.require >= 0.0 && *o.require < 100.0)) {
    return params::ParseError{"--require must be a slope from 0 to below 100 per cent"};
  }
  if (auto bad = check_common(spec.base, spec.shard, spec.threads)) return bad;
  return check_cases(spec.base, {spec.heights});
}

StudyEnd run_tilt(const TiltSpec& spec, std::int64_t skip,
                  const std::function<void(std::int64_t index, TiltRow& row)>& sink) {
  struct Indexed {
    std::int64_t index;
    TiltRow row;
  };
  auto work = [&](std::int64_t index) -> std::optional<Indexed> {
    TiltOptions options = spec.options;
    options.stop = spec.stop;
    auto row = tilt_test(spec.base, *spec.heights.param,
                         spec.heights.values[static_cast<std::size_t>(index)], options);
    if (!row) return std::nullopt;
    return Indexed{index, std::move(*row)};
  };
  return run_rows<Indexed>(static_cast<std::int64_t>(spec.heights.values.size()), spec.shard,
                           spec.threads, spec.stop, skip, work,
                           [&](Indexed& r) { sink(r.index, r.row); });
}

StudyEnd run_sweep(const SweepSpec& spec, std::int64_t skip,
                   const std::function<void(SweepRow& row)>& sink) {
  const CaseGrid grid(spec.axes);
  const int digits = std::max<int>(5, static_cast<int>(std::to_string(grid.size()).size()));
  if (!spec.save_dir.empty() && ::mkdir(spec.save_dir.c_str(), 0777) != 0 && errno != EEXIST) {
    const int error = errno;
    StudyEnd end;
    end.error = textio::RunError{
        error == ENOENT || error == ENOTDIR ? textio::ErrorCode::F6416 : textio::ErrorCode::F6414,
        textio::Statement::open, spec.save_dir,
        "cannot create folder " + spec.save_dir + ": " + std::strerror(error)};
    return end;
  }
  auto work = [&](std::int64_t index) -> std::optional<SweepRow> {
    SweepRow row;
    row.index = index;
    grid.values(index, row.values);
    std::vector<params::Assignment> varied;
    for (std::size_t k = 0; k < spec.axes.size(); ++k) {
      varied.push_back({spec.axes[k].param, row.values[k]});
    }
    std::string save;
    if (!spec.save_dir.empty()) {
      std::string number = std::to_string(index);
      number.insert(
          0, static_cast<std::size_t>(std::max(0, digits - static_cast<int>(number.size()))), '0');
      save = spec.save_dir + "/case-" + number;
    }
    row.summary = run_case(spec.base, varied, save, spec.stop);
    if (interrupted(row.summary)) return std::nullopt;
    row.verdict = reported_verdict(row.summary);
    return row;
  };
  return run_rows<SweepRow>(grid.size(), spec.shard, spec.threads, spec.stop, skip, work, sink);
}

StudyEnd run_capacity(const CapacitySpec& spec, std::int64_t skip,
                      const std::function<void(std::int64_t index, CapacityRow& row)>& sink) {
  struct Indexed {
    std::int64_t index;
    CapacityRow row;
  };
  const std::size_t across = spec.across ? spec.across->values.size() : 1;
  auto work = [&](std::int64_t index) -> std::optional<Indexed> {
    CapacityOptions options;
    options.convergence = spec.convergence;
    options.stop = spec.stop;
    const auto at = static_cast<std::size_t>(index);
    const BaseCase* base = &spec.base;
    BaseCase there;
    if (spec.across) {
      there = spec.base;
      there.overrides.set(*spec.across->param, spec.across->values[at % across]);
      base = &there;
    }
    auto row = find_capacity(*base, *spec.heights.param, spec.heights.values[at / across],
                             spec.mass, options);
    if (!row) return std::nullopt;
    if (spec.across) row->across = spec.across->values[at % across];
    return Indexed{index, std::move(*row)};
  };
  return run_rows<Indexed>(capacity_rows(spec), spec.shard, spec.threads, spec.stop, skip, work,
                           [&](Indexed& r) { sink(r.index, r.row); });
}

}  // namespace liftsim::sweep
