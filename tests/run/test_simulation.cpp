// A run as a library call: its outcome and error as values, what it touches, and runs on several
// threads at once (this program runs under ThreadSanitizer as well).
#include <fcntl.h>
#include <fenv.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
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
using Entries = std::map<std::string, std::string>;

// A folder for a run, open as a descriptor.
struct Folder {
  testing::TempDir dir;
  int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ~Folder() { ::close(fd); }
  // Every entry with its bytes, or with its size, inode and modification time.
  Entries entries(bool bytes = true) const {
    Entries out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      struct stat st {};
      ::lstat(e.path().c_str(), &st);
      out[e.path().filename().string()] =
          bytes ? testing::read_file(e.path())
                : std::to_string(st.st_size) + " " + std::to_string(st.st_ino) + " " +
                      std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }
    return out;
  }
};

void set(RunSpec& setup, const char* name, double value) {
  setup.overrides.set(*params::find_param(name), value);
}

// The example with the given load, without the program's files, its input in memory.
RunSpec in_memory(double m_4) {
  RunSpec setup;
  setup.legacy_files = false;
  setup.input_text = testing::example_input();
  set(setup, "t_end", 0.5);
  set(setup, "m_4", m_4);
  return setup;
}

// Without its files a run reads its input from memory or from dani.dat in its folder and writes
// nothing: a folder holding an earlier run's files keeps them exactly as they were (bytes, inodes,
// times), and the thread's floating-point environment keeps no trace of the run either.
TEST(Simulation, OutcomesAsValuesAndNoFileTouchedWithoutFiles) {
  const struct {
    const char* what;
    bool in_memory, file;
    double m_4;
    Outcome outcome;
    std::optional<RunError> error;
  } cases[] = {
      {"from memory", true, false, 1000.0, Outcome::completed, {}},
      {"from the folder", false, true, 1000.0, Outcome::completed, {}},
      {"no dani.dat", false, false, 1000.0, Outcome::error,
       RunError{ErrorCode::F6416, Statement::open, "dani.dat",
                "cannot open dani.dat: No such file or directory"}},
      // the analytic wheel load divides by the whole kilograms of the load
      {"load below 1 kg", true, false, 0.5, Outcome::error,
       RunError{ErrorCode::M6103, Statement::math, "", "floating-point error: divide by zero"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder folder;
    for (const std::string& name : testing::run_file_names()) {
      if (name != "dani.dat") testing::write_file(folder.dir / name, "an earlier run's\r\n");
    }
    if (c.file) testing::write_file(folder.dir / "dani.dat", testing::example_input());
    const timespec past[2] = {{978307200, 0}, {978307200, 0}};
    for (const auto& [name, bytes] : folder.entries()) {
      ::utimensat(folder.fd, name.c_str(), past, 0);
    }
    const Entries before = folder.entries(false);
    RunSpec setup = in_memory(c.m_4);
    setup.dir_fd = folder.fd;
    if (!c.in_memory) setup.input_text.reset();
    const RunResult r = simulate(setup);
    EXPECT_EQ(fegetexcept(), 0) << "traps left enabled";
    EXPECT_EQ(std::tuple(r.outcome, r.error), std::tuple(c.outcome, c.error));
    const bool read = c.in_memory || c.file;
    EXPECT_EQ(std::tuple(r.input_read, r.statics.has_value()), std::tuple(read, read));
    if (r.outcome == Outcome::completed) {
      EXPECT_GE(r.t_reached, 0.5);
      EXPECT_TRUE(r.leg_ends.empty());
      EXPECT_EQ(r.stats.legs, 1);
      EXPECT_GT(r.stats.output_calls, 100);
    }
    EXPECT_EQ(folder.entries(false), before);
  }
}

// With a bound no step can meet, every leg gives up at once: the report shows each leg's end, and
// the restarts end the run once they stop making progress.
TEST(Simulation, RestartsWithoutProgressEndTheRun) {
  Folder folder;
  RunSpec setup = in_memory(1000.0);
  setup.legacy_files = true;
  setup.dir_fd = folder.fd;
  set(setup, "tol", 1e-30);
  setup.restarts = {.max_stalled = 3, .min_advance = 1e-3};
  const RunResult r = simulate(setup);
  EXPECT_EQ(r.outcome, Outcome::stalled);
  ASSERT_TRUE(r.error);
  EXPECT_EQ(std::tuple(r.error->code, r.restarts), std::tuple(ErrorCode::M6110, 2));
  ASSERT_EQ(r.leg_ends.size(), 3u);
  for (const auto& [ihlf, t] : r.leg_ends) EXPECT_EQ(ihlf, 11) << t;
  const std::string report = testing::read_file(folder.dir / "result.rez");
  std::size_t leg_end_lines = 0;
  for (std::size_t at = 0; (at = report.find("ihlf=11\r\n", at)) != std::string::npos; ++at) {
    ++leg_end_lines;
  }
  EXPECT_EQ(leg_end_lines, 3u);
  // input from memory: no dani.dat, the report, statica.dat and the 22 time histories
  EXPECT_EQ(folder.entries().size(), 24u);
}

// A run of the program's files in a folder of its own holding the example as dani.dat, with its
// progress lines in a file outside the folder.
struct FolderRun {
  Folder folder, console_dir;
  int console_fd =
      ::open((console_dir.dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  textio::Console console{console_fd};
  RunSpec job;
  RunResult result;

  explicit FolderRun(double m_4) {
    testing::write_file(folder.dir / "dani.dat", testing::example_input());
    job.dir_fd = folder.fd;
    job.console = &console;
    set(job, "m_4", m_4);
  }
  ~FolderRun() { ::close(console_fd); }
  Entries bytes() const {
    Entries all = folder.entries();
    all["(stdout)"] = testing::read_file(console_dir.dir / "stdout");
    return all;
  }
};

// Two different cases (one reaches the end in a single leg, the other through 22 restarts) on two
// threads started together, each in its own folder, write byte for byte what each writes alone.
// Meanwhile a third thread runs again and again a case that divides by zero at its first output
// point: each of those runs ends with the error as a value, and the others go on undisturbed.
TEST(Threads, RunsAtOnceWriteWhatEachWritesAloneAndAFaultEndsItsOwnRunOnly) {
  const double loads[] = {1000.0, 150.0};
  std::vector<Entries> alone;
  for (double m_4 : loads) {
    FolderRun r(m_4);
    r.result = simulate(r.job);
    ASSERT_EQ(r.result.outcome, Outcome::completed);
    alone.push_back(r.bytes());
  }
  EXPECT_EQ(alone[0].size(), 26u);  // the 25 files and the progress lines
  EXPECT_NE(alone[0].at("result.rez"), alone[1].at("result.rez"));

  FolderRun first(loads[0]), second(loads[1]);
  std::atomic<int> ready{0}, running{2};
  auto go = [&](FolderRun& r) {
    ++ready;
    while (ready.load() < 3) {
    }
    r.result = simulate(r.job);
    --running;
  };
  std::vector<RunResult> faults;
  std::thread a(go, std::ref(first)), b(go, std::ref(second)), faulting([&] {
    ++ready;
    do {
      faults.push_back(simulate(in_memory(0.5)));
    } while (running.load() > 0 || faults.size() < 3);
  });
  a.join();
  b.join();
  faulting.join();
  EXPECT_EQ(first.result.outcome, Outcome::completed);
  EXPECT_EQ(std::tuple(second.result.outcome, second.result.restarts),
            std::tuple(Outcome::completed, 22));
  EXPECT_TRUE(first.bytes() == alone[0]) << "the first run's files differ";
  EXPECT_TRUE(second.bytes() == alone[1]) << "the second run's files differ";
  for (const RunResult& r : faults) {
    EXPECT_EQ(r.error, (RunError{ErrorCode::M6103, Statement::math, "",
                                 "floating-point error: divide by zero"}));
    EXPECT_EQ(std::tuple(r.outcome, r.input_read, r.stats.output_calls),
              std::tuple(Outcome::error, true, 1));
  }
}

}  // namespace
}  // namespace liftsim::run
