#include "support/example_state.h"

#include <sstream>

#include "driver/input.h"
#include "driver/statics.h"
#include "support/e2e.h"

namespace liftsim::testing {

driver::RunState example_state(const std::string& input) {
  std::istringstream lines(input.empty() ? example_input() : input);
  const driver::RecordSource source = [&](std::string& record, std::size_t keep, int&) {
    if (!std::getline(lines, record)) return textio::ReadStatus::end_of_file;
    if (record.size() > keep) record.resize(keep);
    return textio::ReadStatus::ok;
  };
  driver::RunState run;
  run.pi = double{3.141592f};
  run.par.g = double{9.81f};
  driver::read_records(run, source, false);
  return run;
}

driver::RunState example_state_after_statics(const std::string& input) {
  driver::RunState run = example_state(input);
  driver::compute_statics(run.par, run.y, run.refs, run.pi);
  return run;
}

}  // namespace liftsim::testing
