// End to end on the built executable: what the process meets besides its input. Closed standard
// descriptors, a reader that goes away, the file-size limit, signals, inputs that are not files,
// outputs that are links, a second run in the folder, hostile arguments, surprising input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// A run that goes on writing record sets until it is stopped: past t = 22 s the example's restarts
// make no progress, and without a restart limit they go on for ever.
const std::vector<std::string> kEndless{"--set", "t_end=300", "--max-restarts", "0"};

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(what); pos != std::string::npos;
       pos = text.find(what, pos + 1)) {
    ++n;
  }
  return n;
}

// Waits until `file` holds at least `records` records; false when it does not come to that.
bool wait_for_records(const fs::path& file, std::size_t records) {
  for (int i = 0; i < 5000; ++i) {
    if (count(read_file(file), "\r\n") >= records) return true;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return false;
}

// The example with record 6 (the load mass) replaced.
std::string with_load(std::string_view record6) {
  return replace_record(example_input(), 6, record6);
}

std::string report(const std::string& code_and_statement, const std::string& message) {
  return "\r\nrun-time error " + code_and_statement + "\r\n- " + message + "\r\n";
}

// Every time history holds the same number of records, each whole; returns that number.
std::size_t whole_record_sets(const fs::path& dir) {
  std::size_t records = 0;
  for (std::size_t i = 3; i < run_file_names().size(); ++i) {
    const std::string name = run_file_names()[i];
    const std::string bytes = read_file(dir / name);
    EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << name;
    if (i == 3) records = count(bytes, "\r\n");
    EXPECT_EQ(count(bytes, "\r\n"), records) << name;
  }
  return records;
}

// A closed standard descriptor is taken for /dev/null: the first file the run opens must not
// land on it and receive the progress lines or the error report.
TEST(StandardDescriptors, ClosedOnesReceiveNothingOfTheRun) {
  const struct {
    std::array<bool, 3> closed;
    std::string input;
    int status;
  } cases[] = {
      {{false, true, false}, example_input(), 0},
      {{false, false, true}, with_load("  10x0.0"), 1},
      {{true, true, true}, example_input(), 0},
  };
  TempDir reference;
  write_file(reference / "dani.dat", example_input());
  ASSERT_EQ(run_liftsim(reference.path(), {"--csv", "out.csv"}).exit_status, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    TempDir dir;
    write_file(dir / "dani.dat", c.input);
    const RunResult r = run_liftsim(dir.path(), {"--csv", "out.csv"}, {.closed = c.closed});
    EXPECT_EQ(r.exit_status, c.status) << r.err;
    EXPECT_TRUE(read_file(dir / "dani.dat") == c.input);
    if (c.status == 0) {
      for (const auto& name : run_file_names()) {
        EXPECT_TRUE(read_file(dir / name) == read_file(reference / name)) << name;
      }
      EXPECT_TRUE(read_file(dir / "out.csv") == read_file(reference / "out.csv"));
    } else {
      const std::string csv = read_file(dir / "out.csv");  // the header alone
      EXPECT_TRUE(csv.starts_with("t,") && std::count(csv.begin(), csv.end(), '\n') == 1) << csv;
    }
  }
}

// A reader that went away and the file-size limit fail the write that meets them: the run ends
// with the WRITE report and status 1 instead of dying silently, and a file keeps whole records.
TEST(Signals, BrokenPipeAndFileSizeLimitEndWithTheWriteReport) {
  const struct {
    RunOptions options;
    std::string err;
  } cases[] = {
      {{.stdout_reader_gone = true},
       report("F6421: WRITE(stdout)", "cannot write to standard output: Broken pipe")},
      {{.max_file_size = 2000},
       report("F6422: WRITE(result.rez)", "cannot write to result.rez: File too large")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    TempDir dir;
    write_file(dir / "dani.dat", example_input());
    const RunResult r = run_liftsim(dir.path(), {}, c.options);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, c.err);
    const std::string result = read_file(dir / "result.rez");
    EXPECT_TRUE(result.ends_with("\r\n")) << result.substr(result.size() - 20);
  }
}

// SIGINT, SIGTERM and SIGHUP end a run after the record set it is writing, with the report that
// names the signal and the status a shell gives a command the signal ended. A run waiting for its
// input to come through a FIFO ends the same way.
TEST(Signals, InterruptEndsTheRunAfterTheRecordSetWithItsReport) {
  const struct {
    int signal;
    const char* name;
    bool waiting_for_input;
  } cases[] = {
      {SIGINT, "SIGINT", false},
      {SIGTERM, "SIGTERM", false},
      {SIGHUP, "SIGHUP", false},
      {SIGINT, "SIGINT", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.waiting_for_input ? " waiting for input" : ""));
    TempDir dir;
    if (c.waiting_for_input) {
      ASSERT_EQ(::mkfifo((dir / "dani.dat").c_str(), 0666), 0);
    } else {
      write_file(dir / "dani.dat", example_input());
    }
    Started run(dir.path(), kEndless, {});
    if (c.waiting_for_input) {
      // Until the run waits in the FIFO's open for a writer.
      const fs::path wchan = fs::path("/proc") / std::to_string(run.pid()) / "wchan";
      for (int i = 0; i < 2500 && read_file(wchan) != "wait_for_partner"; ++i) {
        std::this_thread::sleep_for(milliseconds(2));
      }
    } else {
      ASSERT_TRUE(wait_for_records(dir / "F_13.rez", 20));
    }
    ::kill(run.pid(), c.signal);
    const RunResult r = run.wait(std::chrono::seconds(20));
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_status, 128 + c.signal);
    EXPECT_EQ(r.err, report("S6600: SIGNAL", std::string("interrupted by ") + c.name));
    if (c.waiting_for_input) continue;
    // One progress line per record set, no stop line.
    EXPECT_EQ(count(r.out, "\r\n"), whole_record_sets(dir.path()));
    EXPECT_TRUE(read_file(dir / "result.rez").ends_with("\r\n"));
  }
}

// An input that is not a regular file is only read: input through a FIFO ends when its writer is
// done. What a run reads is bounded: a record without end ends the run with the READ report.
TEST(SpecialInput, FifoIsReadToItsEndAndEndlessRecordsAreRefused) {
  TempDir reference;
  write_file(reference / "dani.dat", example_input());
  ASSERT_EQ(run_liftsim(reference.path()).exit_status, 0);

  TempDir fifo;
  ASSERT_EQ(::mkfifo((fifo / "dani.dat").c_str(), 0666), 0);
  Started run(fifo.path(), {}, {});
  int writer = -1;
  for (int i = 0; i < 5000 && writer < 0; ++i) {  // until the run opens its end
    writer = ::open((fifo / "dani.dat").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer < 0) std::this_thread::sleep_for(milliseconds(2));
  }
  ASSERT_GE(writer, 0);
  ::fcntl(writer, F_SETFL, 0);
  const std::string input = example_input();
  ASSERT_EQ(::write(writer, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  ::close(writer);
  const RunResult r = run.wait(std::chrono::seconds(20));
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  for (std::size_t i = 1; i < run_file_names().size(); ++i) {
    const auto& name = run_file_names()[i];
    EXPECT_TRUE(read_file(fifo / name) == read_file(reference / name)) << name;
  }

  const struct {
    std::string input;  // empty: a link to /dev/zero
    std::string message;
  } cases[] = {
      {"", "record 1 (heading line 1) runs on beyond 65536 bytes without a line end"},
      {with_load("1000.0000 " + std::string(70000, '#')),
       "record 6 (load mass m_4) runs on beyond 65536 bytes without a line end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    if (c.input.empty()) {
      fs::create_symlink("/dev/zero", dir / "dani.dat");
    } else {
      write_file(dir / "dani.dat", c.input);
    }
    const RunResult bad = Started(dir.path(), {}, {}).wait(std::chrono::seconds(20));
    EXPECT_FALSE(bad.timed_out);
    EXPECT_EQ(bad.exit_status, 1);
    EXPECT_EQ(bad.err, report("F6500: READ(dani.dat)", c.message));
  }
}

// An output that is the same file as the input or as another output is refused at its OPEN,
// before any byte is written; a link to a file yet to be made makes it. Devices may be shared.
TEST(RunFiles, OutputsThatAliasAreRefusedAtOpen) {
  const struct {
    std::string name;
    std::string target;  // "=": a hard link to `name`'s target; otherwise a symbolic link
    std::string err;     // empty: the run ends normally
  } cases[] = {
      {"result.rez", "dani.dat",
       report("F6414: OPEN(result.rez)",
              "cannot open result.rez: it is the same file as dani.dat (through a link), which "
              "this run uses too")},
      {"F_13.rez", "vx_013.rez",
       report("F6414: OPEN(F_13.rez)",
              "cannot open F_13.rez: it is the same file as vx_013.rez (through a link), which "
              "this run uses too")},
      {"x_c4.rez", "=result.rez",
       report("F6414: OPEN(x_c4.rez)",
              "cannot open x_c4.rez: it is the same file as result.rez (through a link), which "
              "this run uses too")},
      {"result.rez", "sub/report.rez", ""},
      {"result.rez", "no-folder/report.rez",
       report("F6416: OPEN(result.rez)",
              "cannot create result.rez: it links to no-folder/report.rez, in a folder that does "
              "not exist")},
      {"vx_013.rez", "/dev/null", ""},
  };
  TempDir reference;
  write_file(reference / "dani.dat", example_input());
  ASSERT_EQ(run_liftsim(reference.path()).exit_status, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " -> " + c.target);
    TempDir dir;
    write_file(dir / "dani.dat", example_input());
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
    if (c.target == "sub/report.rez") {
      EXPECT_TRUE(read_file(dir / "sub" / "report.rez") == read_file(reference / "result.rez"));
    }
    if (!c.err.empty()) {
      EXPECT_EQ(r.out, "");
      for (const auto& name : run_file_names()) {
        if (name != "dani.dat" && name != c.name && fs::exists(dir / name)) {
          EXPECT_EQ(read_file(dir / name), "") << name;
        }
      }
    }
  }
}

// A second run in a folder where a run is at work ends at OPEN, before it writes a byte, and the
// first run's files stay whole.
TEST(RunFiles, SecondRunInTheFolderEndsAtOpen) {
  TempDir dir, other;
  write_file(dir / "dani.dat", example_input());
  write_file(other / "dani.dat", with_load("1500.0000"));
  fs::create_symlink(dir / "F_kp.rez", other / "F_kp.rez");
  Started first(dir.path(), kEndless, {});
  ASSERT_TRUE(wait_for_records(dir / "F_13.rez", 20));
  const struct {
    const TempDir& where;
    std::string file;
  } cases[] = {{dir, "result.rez"}, {other, "F_kp.rez"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const RunResult second = run_liftsim(c.where.path());
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_EQ(second.err, report("F6414: OPEN(" + c.file + ")",
                                 "cannot open " + c.file + ": another run is using the folder (" +
                                     c.file + " is locked)"));
    EXPECT_EQ(second.out, "");
  }
  EXPECT_EQ(read_file(other / "result.rez"), "");
  ::kill(first.pid(), SIGTERM);
  const RunResult r = first.wait(std::chrono::seconds(20));
  EXPECT_EQ(r.exit_status, 128 + SIGTERM);
  EXPECT_EQ(count(r.out, "\r\n"), whole_record_sets(dir.path()));
  EXPECT_TRUE(read_file(dir / "dani.dat") == example_input());
}

// Warnings about input that reads surprisingly: one line each on standard error with --warn
// (or on a terminal), none with --quiet, and none when standard error is not a terminal, so that
// a plain run's standard error stays as it was.
TEST(InputWarnings, PointAtInputThatReadsSurprisingly) {
  const std::string implied =
      "liftsim: warning: dani.dat record 6: '1000' has no decimal point, so the field's implied "
      "one makes m_4 = 0.1 (write it with a point, e.g. '1000.', to mean 1000)\n";
  const std::string light =
      "liftsim: warning: load mass m_4 = 0.1 kg is below 1 kg; the run will end at its first "
      "output point (the analytic wheel load divides by the whole kilograms of the load)\n";
  const std::string divide = report("M6103: MATH", "floating-point error: divide by zero");
  const struct {
    std::vector<std::pair<int, std::string>> records;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, {"--warn"}, ""},  // the example's values are the built-in ones as written
      {{{6, "     1000"}}, {"--warn"}, implied + light + divide},
      {{{6, "     1000"}}, {"--warn", "--quiet"}, divide},
      {{{6, "     1000"}}, {}, divide},
      // a pair with a comma and a CR LF line end: the second field is what follows the comma
      {{{10, "0.6,50000\r"}},
       {"--warn"},
       "liftsim: warning: dani.dat record 10: '50000' has no decimal point, so the field's "
       "implied one makes zc_4 = 0.5 (write it with a point, e.g. '50000.', to mean 50000)\n"},
      {{{7, "   0.08000   0.82500"}},
       {"--warn"},
       "liftsim: warning: dani.dat record 7 holds xc_1 = 0.08; the run uses the built-in 0.07 (to "
       "use the file's value: --set xc_1=0.08)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    std::string input = example_input();
    for (const auto& [n, text] : c.records) input = replace_record(input, n, text);
    TempDir dir;
    write_file(dir / "dani.dat", input);
    const RunResult r = run_liftsim(dir.path(), c.args);
    EXPECT_EQ(r.err, c.err);
  }
}

}  // namespace
}  // namespace liftsim::testing
