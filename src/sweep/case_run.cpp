#include "sweep/case_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <optional>

#include "results/csv_writer.h"
#include "results/summary_text.h"
#include "run/simulation.h"
#include "textio/buffered_file.h"

namespace liftsim::sweep {

std::optional<params::ParseError> check_cases(const BaseCase& base,
                                              const std::vector<Axis>& axes) {
  params::CaseValues v = params::built_in_case();
  for (const params::Assignment& a : base.overrides.list()) {
    if (auto bad = params::check_value(*a.param, a.value)) return bad;
    a.param->ref(v) = a.value;
  }
  std::vector<std::pair<double, double>> ends;
  for (const Axis& axis : axes) {
    for (double value : axis.values) {
      if (auto bad = params::check_value(*axis.param, value)) return bad;
    }
    const auto [lo, hi] = std::minmax_element(axis.values.begin(), axis.values.end());
    ends.emplace_back(*lo, *hi);
  }
  // Every corner of the box of smallest and largest values (a few axes at most).
  const std::size_t corners = std::size_t{1} << std::min<std::size_t>(axes.size(), 16);
  for (std::size_t corner = 0; corner < corners; ++corner) {
    for (std::size_t k = 0; k < axes.size(); ++k) {
      axes[k].param->ref(v) = (corner >> k) & 1 ? ends[k].second : ends[k].first;
    }
    if (auto bad = params::check_case(v)) return bad;
  }
  return std::nullopt;
}

results::Summary run_case(const BaseCase& base, const std::vector<params::Assignment>& varied,
                          const std::string& save_dir) {
  run::RunSpec setup;
  setup.legacy_files = false;
  setup.input_text = base.input_text;
  setup.overrides = base.overrides;
  for (const params::Assignment& a : varied) setup.overrides.set(*a.param, a.value);
  setup.road = base.road;
  setup.kind = base.kind;
  setup.work = base.work;
  results::SummaryObserver summary(base.thresholds, base.stop_when_decided);
  setup.observers.push_back(&summary);

  if (save_dir.empty()) return results::summarize(run::simulate(setup), summary);

  // A folder of its own with every file of the case.
  run::RunResult result;
  textio::BufferedFile csv_file;
  std::optional<results::CsvWriter> csv;
  int dir_fd = -1;
  try {
    if (::mkdir(save_dir.c_str(), 0777) != 0 && errno != EEXIST) {
      textio::fail(textio::ErrorCode::F6416, textio::Statement::open, save_dir,
                   "cannot create folder " + save_dir + ": " + std::strerror(errno));
    }
    dir_fd = ::open(save_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) {
      textio::fail(textio::ErrorCode::F6414, textio::Statement::open, save_dir,
                   "cannot open folder " + save_dir + ": " + std::strerror(errno));
    }
    csv_file.open(save_dir + "/case.csv");
    csv.emplace(&csv_file, std::nullopt);
    setup.observers.push_back(&*csv);
    setup.legacy_files = true;
    setup.dir_fd = dir_fd;
    result = run::simulate(setup);
    csv_file.close();
  } catch (const textio::RunFailure& failure) {
    if (!result.error) {
      result.outcome = run::Outcome::error;
      result.error = failure.error();
    }
  }
  if (dir_fd >= 0) ::close(dir_fd);
  results::Summary s = results::summarize(result, summary);
  try {
    textio::BufferedFile json;
    json.open(save_dir + "/summary.json");
    json.buffer() = results::summary_json(s);
    json.end_record();
    json.close();
  } catch (const textio::RunFailure&) {
    // The case's row still says what the run did; a missing summary file is seen in the folder.
  }
  return s;
}

}  // namespace liftsim::sweep
