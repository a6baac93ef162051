// Runs through the library on several threads at once: each writes, byte for byte, what it writes
// alone, and a floating-point fault ends its own run only. Run under ThreadSanitizer as well.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run/simulation.h"
#include "support/e2e.h"

namespace liftsim::run {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Every file of a folder with its bytes.
std::map<std::string, std::string> contents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    out[e.path().filename().string()] = testing::read_file(e.path());
  }
  return out;
}

// One run of the program's files in a folder of its own, holding `input` as dani.dat, with its
// progress lines in a file outside the folder.
struct FolderRun {
  TempDir dir, console_dir;
  int dir_fd = -1, console_fd = -1;
  textio::Console console{-1};
  RunSpec job;
  RunResult result;

  FolderRun(const std::string& input, double m_4) {
    testing::write_file(dir / "dani.dat", input);
    dir_fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    console_fd = ::open((console_dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    console = textio::Console(console_fd);
    job.dir_fd = dir_fd;
    job.console = &console;
    job.overrides.set(*params::find_param("m_4"), m_4);
  }
  ~FolderRun() {
    ::close(dir_fd);
    ::close(console_fd);
  }
  void run() { result = simulate(job); }
  std::map<std::string, std::string> bytes() const {
    auto all = contents(dir.path());
    all["(stdout)"] = testing::read_file(console_dir / "stdout");
    return all;
  }
};

void expect_same_bytes(const std::map<std::string, std::string>& got,
                       const std::map<std::string, std::string>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (const auto& [name, bytes] : want) {
    const auto it = got.find(name);
    ASSERT_NE(it, got.end()) << name;
    EXPECT_TRUE(it->second == bytes) << name << " differs";
  }
}

// Two different cases (one reaches the end in a single leg, the other through 22 restarts) on two
// threads at once, started together, each in its own folder.
TEST(Threads, TwoRunsAtOnceWriteWhatEachWritesAlone) {
  const std::string input = testing::example_input();
  const double loads[] = {1000.0, 150.0};
  std::vector<std::map<std::string, std::string>> alone;
  for (double m_4 : loads) {
    FolderRun r(input, m_4);
    r.run();
    ASSERT_EQ(r.result.outcome, Outcome::completed);
    alone.push_back(r.bytes());
  }
  EXPECT_EQ(alone[0].size(), 26u);  // the 25 files and the progress lines
  EXPECT_NE(alone[0].at("result.rez"), alone[1].at("result.rez"));

  FolderRun first(input, loads[0]), second(input, loads[1]);
  std::atomic<int> ready{0};
  auto go = [&ready](FolderRun& r) {
    ++ready;
    while (ready.load() < 2) {
    }
    r.run();
  };
  std::thread a(go, std::ref(first)), b(go, std::ref(second));
  a.join();
  b.join();
  EXPECT_EQ(first.result.outcome, Outcome::completed);
  EXPECT_EQ(second.result.outcome, Outcome::completed);
  EXPECT_EQ(second.result.restarts, 22);
  expect_same_bytes(first.bytes(), alone[0]);
  expect_same_bytes(second.bytes(), alone[1]);
}

// A load below 1 kg divides by zero at the first output point. On one thread, again and again
// while another thread runs the example: each faulting run ends with M6103 as a value, the
// process and the other run go on, and the other run's files are those it writes alone.
TEST(Threads, FloatingPointFaultEndsItsOwnRunOnly) {
  const std::string input = testing::example_input();
  FolderRun reference(input, 1000.0);
  reference.run();
  ASSERT_EQ(reference.result.outcome, Outcome::completed);

  FolderRun normal(input, 1000.0);
  std::atomic<bool> done{false};
  std::vector<RunResult> faults;
  std::thread faulting([&] {
    do {
      RunSpec job;
      job.legacy_files = false;
      job.input_text = input;
      job.overrides.set(*params::find_param("m_4"), 0.5);
      faults.push_back(simulate(job));
    } while (!done.load() || faults.size() < 3);
  });
  std::thread running([&] {
    normal.run();
    done = true;
  });
  running.join();
  faulting.join();

  EXPECT_EQ(normal.result.outcome, Outcome::completed);
  EXPECT_FALSE(normal.result.error);
  expect_same_bytes(normal.bytes(), reference.bytes());
  for (const RunResult& r : faults) {
    EXPECT_EQ(r.outcome, Outcome::error);
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->code, textio::ErrorCode::M6103);
    EXPECT_EQ(r.error->statement, textio::Statement::math);
    EXPECT_TRUE(r.input_read);
    EXPECT_EQ(r.stats.output_calls, 1) << "the fault comes at the first output point";
  }
}

// Size, inode and modification time of every entry.
std::map<std::string, std::string> listing(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::ostringstream s;
    s << st.st_size << " " << st.st_ino << " " << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
    out[e.path().filename().string()] = s.str();
  }
  return out;
}

// Without the program's files and with the input in memory, a run leaves a folder holding an
// earlier run's files exactly as it was, whether it completes or faults.
TEST(Threads, RunWithoutFilesTouchesNone) {
  const std::string input = testing::example_input();
  FolderRun earlier(input, 1000.0);
  earlier.run();
  ASSERT_EQ(earlier.result.outcome, Outcome::completed);
  for (const auto& e : fs::directory_iterator(earlier.dir.path())) {
    const timespec past[2] = {{978307200, 0}, {978307200, 0}};
    ::utimensat(AT_FDCWD, e.path().c_str(), past, 0);
  }
  const auto before = listing(earlier.dir.path());
  for (double m_4 : {1000.0, 0.5}) {
    RunSpec job;
    job.dir_fd = earlier.dir_fd;
    job.legacy_files = false;
    job.input_text = input;
    job.overrides.set(*params::find_param("m_4"), m_4);
    const RunResult r = simulate(job);
    EXPECT_EQ(r.outcome, m_4 < 1.0 ? Outcome::error : Outcome::completed);
    EXPECT_EQ(listing(earlier.dir.path()), before);
  }
}

}  // namespace
}  // namespace liftsim::run
