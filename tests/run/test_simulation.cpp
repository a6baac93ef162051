// A run as a library call: what it touches, its outcome and error as values, and runs on several
// threads at once.
#include <fcntl.h>
#include <fenv.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "run/simulation.h"
#include "support/e2e.h"

namespace liftsim::run {
namespace {

using textio::ErrorCode;
using textio::RunError;
using textio::Statement;

// A folder for a run, open as a descriptor.
struct Folder {
  testing::TempDir dir;
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ~Folder() { ::close(fd); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      out.push_back(e.path().filename().string());
    }
    return out;
  }
};

std::string first_records(const std::string& text, int n) {
  std::size_t end = 0;
  while (n-- > 0) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

void set(RunSpec& setup, const char* name, double value) {
  setup.overrides.set(*params::find_param(name), value);
}

// Without its files a run reads its input from memory or from dani.dat in its folder, and writes
// nothing: neither the folder nor the thread's floating-point environment keeps a trace of it.
TEST(Simulation, OutcomesAsValuesWithoutFiles) {
  const std::string example = testing::example_input();
  const struct {
    const char* what;
    std::optional<std::string> text;  // none: dani.dat in the folder, holding the example
    bool file;
    double m_4;
    Outcome outcome;
    std::optional<RunError> error;
    bool input_read;
  } cases[] = {
      {"from memory", example, false, 1000.0, Outcome::completed, {}, true},
      {"from the folder", {}, true, 1000.0, Outcome::completed, {}, true},
      {"no dani.dat",
       {},
       false,
       1000.0,
       Outcome::error,
       RunError{ErrorCode::F6416, Statement::open, "dani.dat",
                "cannot open dani.dat: No such file or directory"},
       false},
      {"30 records", first_records(example, 30), false, 1000.0, Outcome::error,
       RunError{ErrorCode::F6501, Statement::read, "dani.dat",
                "end of file: record 31 of 43 (friction coefficient f_fr) is missing"},
       false},
      // the analytic wheel load divides by the whole kilograms of the load
      {"load below 1 kg", example, false, 0.5, Outcome::error,
       RunError{ErrorCode::M6103, Statement::math, "", "floating-point error: divide by zero"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder folder;
    if (c.file) testing::write_file(folder.dir / "dani.dat", example);
    RunSpec setup;
    setup.dir_fd = folder.fd;
    setup.legacy_files = false;
    setup.input_text = c.text;
    set(setup, "t_end", 0.5);
    set(setup, "m_4", c.m_4);
    const RunResult r = simulate(setup);
    EXPECT_EQ(fegetexcept(), 0) << "traps left enabled";
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.input_read, c.input_read);
    EXPECT_EQ(r.statics.has_value(), c.input_read);
    if (r.outcome == Outcome::completed) {
      EXPECT_GE(r.t_reached, 0.5);
      EXPECT_TRUE(r.leg_ends.empty());
      EXPECT_EQ(r.stats.legs, 1);
      EXPECT_GT(r.stats.output_calls, 100);
    }
    EXPECT_EQ(folder.names(),
              c.file ? std::vector<std::string>{"dani.dat"} : std::vector<std::string>{});
  }
}

// With a bound no step can meet, every leg gives up at once: the report shows each leg's end, and
// the restarts end the run once they stop making progress (or never, with no limit, until the
// end time).
TEST(Simulation, RestartsWithoutProgressEndTheRun) {
  Folder folder;
  RunSpec setup;
  setup.dir_fd = folder.fd;
  setup.input_text = testing::example_input();
  set(setup, "t_end", 0.5);
  set(setup, "tol", 1e-30);
  setup.restarts = {.max_stalled = 3, .min_advance = 1e-3};
  const RunResult r = simulate(setup);
  EXPECT_EQ(r.outcome, Outcome::stalled);
  ASSERT_TRUE(r.error);
  EXPECT_EQ(r.error->code, ErrorCode::M6110);
  EXPECT_EQ(r.restarts, 2);
  ASSERT_EQ(r.leg_ends.size(), 3u);
  for (const auto& [ihlf, t] : r.leg_ends) EXPECT_EQ(ihlf, 11) << t;
  const std::string report = testing::read_file(folder.dir / "result.rez");
  std::size_t leg_end_lines = 0;
  for (std::size_t at = 0; (at = report.find("ihlf=11\r\n", at)) != std::string::npos; ++at) {
    ++leg_end_lines;
  }
  EXPECT_EQ(leg_end_lines, 3u);
  // input from memory: no dani.dat, the report, statica.dat and the 22 time histories
  EXPECT_EQ(folder.names().size(), 24u);
}

// Runs on different threads share nothing: a floating-point trap on one ends that run alone, and
// the others give what they give on their own.
TEST(Simulation, RunsOnSeveralThreadsAtOnce) {
  auto spec_for = [](double m_4) {
    RunSpec setup;
    setup.legacy_files = false;
    setup.input_text = testing::example_input();
    set(setup, "t_end", 0.5);
    set(setup, "m_4", m_4);
    return setup;
  };
  const std::vector<double> loads{1000.0, 0.5, 1500.0, 0.5};
  std::vector<RunResult> alone, together(loads.size());
  for (double m_4 : loads) alone.push_back(simulate(spec_for(m_4)));
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < loads.size(); ++i) {
    threads.emplace_back([&, i] { together[i] = simulate(spec_for(loads[i])); });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < loads.size(); ++i) {
    SCOPED_TRACE(loads[i]);
    EXPECT_EQ(together[i].outcome, loads[i] < 1.0 ? Outcome::error : Outcome::completed);
    EXPECT_EQ(together[i].error, alone[i].error);
    EXPECT_EQ(together[i].stats.derivative_calls, alone[i].stats.derivative_calls);
    EXPECT_EQ(together[i].t_reached, alone[i].t_reached);
  }
}

}  // namespace
}  // namespace liftsim::run
