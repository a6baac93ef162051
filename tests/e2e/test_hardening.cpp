// End to end: what the process meets besides its input (descriptors, signals, limits, links...).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

// A run that never ends by itself: past t = 22 s the example's restarts make no progress.
const std::vector<std::string> kEndless{"--set", "t_end=300", "--max-restarts", "0"};

// A folder holding the example's default run.
const TempDir& reference() {
  static CaseDir dir;
  static const bool ran = run_liftsim(dir.path(), {"--csv", "out.csv"}).exit_status == 0;
  EXPECT_TRUE(ran);
  return dir;
}

void expect_files_as_reference(const fs::path& dir, const std::vector<std::string>& names) {
  for (const auto& name : names)
    EXPECT_TRUE(read_file(dir / name) == read_file(reference() / name)) << name;
}

std::string report(const std::string& code_and_statement, const std::string& message) {
  return "\r\nrun-time error " + code_and_statement + "\r\n- " + message + "\r\n";
}

// Every time history holds the same number of records, each whole; returns that number.
std::size_t whole_record_sets(const fs::path& dir) {
  const std::size_t records = count(read_file(dir / run_file_names()[3]), "\r\n");
  for (std::size_t i = 3; i < run_file_names().size(); ++i) {
    const std::string bytes = read_file(dir / run_file_names()[i]);
    EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << run_file_names()[i];
    EXPECT_EQ(count(bytes, "\r\n"), records) << run_file_names()[i];
  }
  return records;
}

// A closed standard descriptor is /dev/null: no file the run opens may land on it.
TEST(StandardDescriptors, ClosedOnesReceiveNothingOfTheRun) {
  const struct {
    std::array<bool, 3> closed;
    std::string input;
    int status;
  } cases[] = {
      {{false, true, false}, example_input(), 0},
      {{false, false, true}, replace_record(example_input(), 6, "  10x0.0"), 1},
      {{true, true, true}, example_input(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    CaseDir dir(c.input);
    const RunResult r = run_liftsim(dir.path(), {"--csv", "out.csv"}, {.closed = c.closed});
    EXPECT_EQ(r.exit_status, c.status) << r.err;
    EXPECT_TRUE(read_file(dir / "dani.dat") == c.input);
    if (c.status == 0) {
      expect_files_as_reference(dir.path(), run_file_names() + Args{"out.csv"});
    } else {
      const std::string csv = read_file(dir / "out.csv");  // the header alone
      EXPECT_TRUE(csv.starts_with("t,") && std::count(csv.begin(), csv.end(), '\n') == 1) << csv;
    }
  }
}

// A gone reader or the file-size limit: the WRITE report and status 1, not a silent death.
TEST(Signals, BrokenPipeAndFileSizeLimitEndWithTheWriteReport) {
  const struct {
    RunOptions options;
    std::string err;
  } cases[] = {
      // clang-format off
      {{.stdout_reader_gone = true}, report("F6421: WRITE(stdout)", "cannot write to standard output: Broken pipe")},
      {{.max_file_size = 2000}, report("F6422: WRITE(result.rez)", "cannot write to result.rez: File too large")},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    CaseDir dir;
    const RunResult r = run_liftsim(dir.path(), {}, c.options);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(read_file(dir / "result.rez").ends_with("\r\n"));
  }
}

// A second run in a working run's folder (or onto its file through a link) ends at OPEN before
// writing; SIGINT, SIGTERM and SIGHUP end the first after its record set, naming the signal.
TEST(RunInProgress, SecondRunEndsAtOpenAndASignalEndsTheRunAfterTheRecordSet) {
  for (const auto& [signal, name] :
       {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(name);
    CaseDir dir, other(replace_record(example_input(), 6, "1500.0000"));
    fs::create_symlink(dir / "F_kp.rez", other / "F_kp.rez");
    Started first(dir.path(), kEndless, {});
    ASSERT_TRUE(wait_until([&] { return count(read_file(dir / "F_13.rez"), "\r\n") >= 20; }));
    for (const auto& [where, file] : {std::pair{&dir, "result.rez"}, {&other, "F_kp.rez"}}) {
      const RunResult second = run_liftsim(where->path());
      EXPECT_EQ(second.exit_status, 1);
      EXPECT_EQ(second.err,
                report(std::string("F6414: OPEN(") + file + ")",
                       std::string("cannot open ") + file + ": another run is using the folder (" +
                           file + " is locked)"));
      EXPECT_EQ(second.out, "");
    }
    EXPECT_EQ(read_file(other / "result.rez"), "");
    ::kill(first.pid(), signal);
    const RunResult r = first.wait(std::chrono::seconds(20));
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_status, 128 + signal);
    EXPECT_EQ(r.err, report("S6600: SIGNAL", std::string("interrupted by ") + name));
    // One progress line per record set, no stop line.
    EXPECT_EQ(count(r.out, "\r\n"), whole_record_sets(dir.path()));
    EXPECT_TRUE(read_file(dir / "result.rez").ends_with("\r\n"));
    EXPECT_TRUE(read_file(dir / "dani.dat") == example_input());
  }
}

// A non-regular input is only read: a FIFO ends with its writer, a run waiting on one still ends
// on an interrupt, and a record without end ends the run with the READ report.
TEST(SpecialInput, FifoIsOnlyReadAndEndlessRecordsAreRefused) {
  enum Kind { kFifo, kFifoNeverWritten, kDevZero, kLongRecord };
  const struct {
    Kind kind;
    int status;
    std::string err;
  } cases[] = {
      {kFifo, 0, ""},
      {kFifoNeverWritten, 128 + SIGINT, report("S6600: SIGNAL", "interrupted by SIGINT")},
      // clang-format off
      {kDevZero, 1, report("F6500: READ(dani.dat)", "record 1 (heading line 1) runs on beyond 65536 bytes without a line end")},
      {kLongRecord, 1, report("F6500: READ(dani.dat)", "record 6 (load mass m_4) runs on beyond 65536 bytes without a line end")},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    TempDir dir;
    const fs::path input = dir / "dani.dat";
    if (c.kind == kDevZero) fs::create_symlink("/dev/zero", input);
    if (c.kind == kLongRecord)
      write_file(input, replace_record(example_input(), 6, "1000.0000 " + std::string(70000, '#')));
    ASSERT_TRUE(c.kind > kFifoNeverWritten || ::mkfifo(input.c_str(), 0666) == 0);
    Started run(dir.path(), {}, {});
    if (c.kind == kFifo) {
      int writer = -1;  // opens once the run holds the reading end
      ASSERT_TRUE(
          wait_until([&] { return (writer = ::open(input.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
      ::fcntl(writer, F_SETFL, 0);
      ASSERT_TRUE(::write(writer, example_input().data(), example_input().size()) ==
                  static_cast<ssize_t>(example_input().size()));
      ::close(writer);
    } else if (c.kind == kFifoNeverWritten) {
      const fs::path wchan = fs::path("/proc") / std::to_string(run.pid()) / "wchan";
      wait_until([&] { return read_file(wchan) == "wait_for_partner"; });  // in the FIFO's open
      ::kill(run.pid(), SIGINT);
    }
    const RunResult r = run.wait(std::chrono::seconds(20));
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (c.kind == kFifo)
      expect_files_as_reference(dir.path(), {run_file_names().begin() + 1, run_file_names().end()});
  }
}

std::string aliased(const std::string& name, const std::string& other) {
  const std::string text = ": it is the same file as " + other + " (through a link), which ";
  return report("F6414: OPEN(" + name + ")", "cannot open " + name + text + "this run uses too");
}

// An output that is the input or another output is refused at its OPEN; devices may be shared.
TEST(RunFiles, OutputsThatAliasAreRefusedAtOpen) {
  const struct {
    std::string name;
    std::string target;  // "=": a hard link to `name`'s target; otherwise a symbolic link
    std::string err;     // empty: the run ends normally
  } cases[] = {
      {"result.rez", "dani.dat", aliased("result.rez", "dani.dat")},
      {"F_13.rez", "vx_013.rez", aliased("F_13.rez", "vx_013.rez")},
      {"x_c4.rez", "=result.rez", aliased("x_c4.rez", "result.rez")},
      {"result.rez", "sub/report.rez", ""},
      {"result.rez", "no-folder/report.rez",
       report("F6416: OPEN(result.rez)",
              "cannot create result.rez: it links to "
              "no-folder/report.rez, in a folder that does not exist")},
      {"vx_013.rez", "/dev/null", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " -> " + c.target);
    CaseDir dir;
    fs::create_directory(dir / "sub");
    if (c.target.starts_with("=")) {
      write_file(dir / c.target.substr(1), "");
      fs::create_hard_link(dir / c.target.substr(1), dir / c.name);
    } else {
      fs::create_symlink(c.target, dir / c.name);
    }
    if (c.target == "/dev/null") fs::create_symlink("/dev/null", dir / "z_02.rez");
    const RunResult r = run_liftsim(dir.path());
    EXPECT_EQ(r.exit_status, c.err.empty() ? 0 : 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_TRUE(read_file(dir / "dani.dat") == example_input());
    EXPECT_TRUE(c.target != "sub/report.rez" ||
                read_file(dir / "sub" / "report.rez") == read_file(reference() / "result.rez"));
    if (c.err.empty()) continue;
    EXPECT_EQ(r.out, "");
    for (const auto& name : run_file_names())
      EXPECT_TRUE(name == "dani.dat" || name == c.name || read_file(dir / name).empty()) << name;
  }
}

}  // namespace
}  // namespace liftsim::testing
