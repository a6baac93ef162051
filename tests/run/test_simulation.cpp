// Runs as library calls on several threads (also under TSan): each writes what it writes alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "run/simulation.h"
#include "support/e2e.h"

namespace liftsim::run {
namespace {

using textio::ErrorCode;
using textio::RunError;
using textio::Statement;
using Files = std::map<std::string, std::string>;

// The example with load `m_4` in a folder of its own; its progress lines in a file outside it.
struct Case {
  testing::CaseDir folder;
  testing::TempDir console_dir;
  int dir_fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int console_fd = ::open((console_dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  textio::Console console{console_fd};
  RunPlan job;
  RunResult result;

  explicit Case(double m_4) {
    job.overrides.set(*params::find_param("m_4"), m_4);
    job.dir_fd = dir_fd;
    job.console = &console;
  }
  ~Case() { ::close(dir_fd), ::close(console_fd); }
  Files files() const {
    Files all = testing::files_in(folder.path());
    all["(stdout)"] = testing::read_file(console_dir / "stdout");
    return all;
  }
};

// Two cases on two threads write what each writes alone, while a third thread keeps running a case
// that divides by zero: each of those ends with the error as a value, the others undisturbed.
TEST(Threads, RunsAtOnceWriteWhatEachWritesAloneAndAFaultEndsItsOwnRunOnly) {
  const double loads[] = {1000.0, 150.0};
  std::vector<Files> alone;
  for (double m_4 : loads) {
    Case c(m_4);
    ASSERT_EQ(simulate(c.job).outcome, Outcome::completed);
    alone.push_back(c.files());
  }
  EXPECT_EQ(alone[0].size(), 26u);  // the 25 files and the progress lines
  EXPECT_NE(alone[0].at("result.rez"), alone[1].at("result.rez"));

  Case first(loads[0]), second(loads[1]);
  std::atomic<int> ready{0}, running{2};
  auto go = [&](Case& c) {
    ++ready;
    while (ready.load() < 3) {
    }
    c.result = simulate(c.job);
    --running;
  };
  std::vector<RunResult> faults;
  RunPlan fault;  // without files, from memory
  fault.legacy_files = false;
  fault.input_text = testing::example_input();
  fault.overrides.set(*params::find_param("m_4"), 0.5);
  std::thread a(go, std::ref(first)), b(go, std::ref(second)), faulting([&] {
    ++ready;
    do {
      faults.push_back(simulate(fault));
    } while (running.load() > 0 || faults.size() < 3);
  });
  a.join(), b.join(), faulting.join();
  EXPECT_EQ(first.result.outcome, Outcome::completed);
  EXPECT_EQ(std::tuple(second.result.outcome, second.result.restarts),
            std::tuple(Outcome::completed, 22));
  EXPECT_TRUE(first.files() == alone[0]) << "the first run's files differ";
  EXPECT_TRUE(second.files() == alone[1]) << "the second run's files differ";
  for (const RunResult& r : faults) {
    EXPECT_EQ(r.error, (RunError{ErrorCode::M6103, Statement::math, "",
                                 "floating-point error: divide by zero"}));
    EXPECT_EQ(std::tuple(r.outcome, r.input_read, r.stats.output_calls),
              std::tuple(Outcome::error, true, 1));
  }
}

}  // namespace
}  // namespace liftsim::run
