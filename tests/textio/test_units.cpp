#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "textio/child_process.h"
#include "textio/units.h"

namespace liftsim::textio {
namespace {

using liftsim::testing::kCannotArrange;
using liftsim::testing::run_in_child;

std::optional<std::string> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void put_file(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  ::chmod(path.c_str(), mode);
}

// In a child: continue as the user "nobody" when running as root, whom file modes do not bind.
// Ends the child with kCannotArrange when that is impossible or `dir` is out of its reach.
void drop_root_privileges(const std::string& dir) {
  if (::geteuid() == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
      ::_exit(kCannotArrange);
    }
  }
  if (::access(dir.c_str(), R_OK | W_OK | X_OK) != 0) ::_exit(kCannotArrange);
}

class UnitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/liftsim-units-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
    dir_ = pattern;
  }
  void TearDown() override {
    for (int unit = 0; unit < 100; ++unit) close_unit(unit);
    std::filesystem::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

// Expected report of a file statement, byte for byte.
std::string file_report(const char* code, const char* statement, const std::string& name,
                        const std::string& message) {
  return std::string("\r\nrun-time error ") + code + ": " + statement + "(" + name + ")\r\n- " +
         message + "\r\n";
}

TEST_F(UnitsTest, FileKeepsItsBytesUntilTheFirstWriteThenHoldsOnlyThisRunsRecords) {
  struct Case {
    const char* label;
    std::optional<std::string> before;  // nullopt: missing
    const char* padding;                // blanks around the name given to open
    std::vector<std::string> writes;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"missing, never written", std::nullopt, "", {}, ""},
      {"existing, never written", "old 1\r\nold 2\r\n", "", {}, "old 1\r\nold 2\r\n"},
      {"missing, written", std::nullopt, "", {"a\r\n", "b\r\n"}, "a\r\nb\r\n"},
      {"longer existing, written",
       "an earlier run's much longer record\r\nand another\r\n",
       "",
       {"new\r\n", "two\r\nthree\r\n"},
       "new\r\ntwo\r\nthree\r\n"},
      {"name with blanks around it", "x\r\n", "   ", {"y\r\n"}, "y\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string file = path("f.rez");
    std::filesystem::remove(file);
    if (c.before) put_file(file, *c.before);
    open_unit(21, c.padding + file + c.padding);
    EXPECT_EQ(unit_file_name(21), file);
    for (const auto& records : c.writes) write_records(21, records);
    EXPECT_EQ(file_bytes(file), c.after) << "while connected";
    close_unit(21);
    EXPECT_EQ(file_bytes(file), c.after) << "after close";
    EXPECT_EQ(unit_file_name(21), "");
  }
}

TEST_F(UnitsTest, FirstWriteAfterReadingCutsAtTheRecordsConsumed) {
  const std::string file = path("mixed.dat");
  put_file(file, "r1\nr2\nr3\n");
  open_unit(22, file);
  std::string record;
  int error = 0;
  ASSERT_EQ(read_record(22, record, 80, error), ReadStatus::ok);
  write_records(22, "W\r\n");
  close_unit(22);
  EXPECT_EQ(file_bytes(file), "r1\nW\r\n");
}

TEST_F(UnitsTest, ReadRecordSplitsAtLineFeedsAndKeepsAtMostTheRequestedBytes) {
  const std::string huge(1 << 20, 'x');
  struct Case {
    const char* label;
    std::string content;
    std::size_t keep;
    std::vector<std::string> records;
  };
  const std::vector<Case> cases = {
      {"CR LF ends", "a b\r\n\r\nc\r\n", 80, {"a b\r", "\r", "c\r"}},
      {"LF ends", "a\n\nb\n", 80, {"a", "", "b"}},
      {"last line without LF", "a\nlast", 80, {"a", "last"}},
      {"empty file", "", 80, {}},
      {"record cut to keep", "123456789\n12\n", 4, {"1234", "12"}},
      {"1 MB record skipped past buffer ends",
       "head" + huge + "\r\nnext\r\n",
       10,
       {"headxxxxxx", "next\r"}},
      {"1 MB last record without LF", "a\n" + huge, 3, {"a", "xxx"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string file = path("in.dat");
    put_file(file, c.content);
    open_unit(12, file);
    std::string record = "stale";
    int error = 0;
    for (const auto& expected : c.records) {
      ASSERT_EQ(read_record(12, record, c.keep, error), ReadStatus::ok);
      EXPECT_EQ(record, expected);
    }
    EXPECT_EQ(read_record(12, record, c.keep, error), ReadStatus::end_of_file);
    EXPECT_EQ(record, "");
    EXPECT_EQ(read_record(12, record, c.keep, error), ReadStatus::end_of_file) << "stays at end";
    close_unit(12);
  }
}

TEST_F(UnitsTest, ReadRecordPassesOnTheOperatingSystemsReadFailure) {
  // Reading a process's memory at address 0 fails with EIO on Linux.
  if (::access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "/proc/self/mem is not readable";
  open_unit(12, "/proc/self/mem");
  std::string record;
  int error = 0;
  EXPECT_EQ(read_record(12, record, 80, error), ReadStatus::failure);
  EXPECT_EQ(error, EIO);
}

TEST_F(UnitsTest, FailuresEndTheRunWithTheFileReport) {
  struct Case {
    const char* label;
    std::function<void()> body;
    std::string report;  // the exact standard-error bytes, or only their start
    bool exact;
  };
  const std::string missing_folder = path("no-such-folder/result.rez");
  const std::string full = path("full.rez");
  ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
  const std::vector<Case> cases = {
      {"explicit report",
       [] { file_error(ErrorCode::F6501, Statement::read, "dani.dat", "end of file"); },
       "\r\nrun-time error F6501: READ(dani.dat)\r\n- end of file\r\n", true},
      {"missing folder", [&] { open_unit(13, missing_folder); },
       file_report("F6416", "OPEN", missing_folder,
                   "cannot create " + missing_folder + ": No such file or directory"),
       true},
      {"folder named as a file", [&] { open_unit(13, "  " + dir_); },
       file_report("F6414", "OPEN", dir_, "cannot open " + dir_ + ": Is a directory"), true},
      {"too many open files",
       [&] {
         const rlimit low{16, 16};
         if (::setrlimit(RLIMIT_NOFILE, &low) != 0) ::_exit(kCannotArrange);
         static int first_filler = -1;
         first_filler = ::dup(0);
         while (::dup(0) >= 0) {
         }
         // The exit after the report may need a descriptor of its own (sanitizer runtimes do).
         std::atexit([] {
           for (int fd = first_filler; fd >= 0 && fd < 16; ++fd) ::close(fd);
         });
         open_unit(13, path("one-too-many.rez"));
       },
       "\r\nrun-time error F6417: OPEN(" + path("one-too-many.rez") + ")\r\n- ", false},
      {"disk full",
       [&] {
         open_unit(21, full);
         write_records(21, "record\r\n");
       },
       "\r\nrun-time error F6422: WRITE(" + full + ")\r\n- cannot write to " + full + ": ", false},
      {"console on a full disk",
       [] {
         const int fd = ::open("/dev/full", O_WRONLY);
         if (fd < 0 || ::dup2(fd, 1) < 0) ::_exit(kCannotArrange);
         write_console(" 0 0.5\r\n");
       },
       "\r\nrun-time error F6422: WRITE(stdout)\r\n- cannot write to standard output: ", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = run_in_child(c.body);
    ASSERT_NE(result.exit_code, kCannotArrange) << "the situation could not be set up";
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    if (c.exact) {
      EXPECT_EQ(result.err, c.report);
    } else {
      EXPECT_EQ(result.err.substr(0, c.report.size()), c.report);
      EXPECT_EQ(result.err.find("\r\n", c.report.size()), result.err.size() - 2) << result.err;
    }
  }
}

// File modes bind only an unprivileged user, so these cases run as one.
TEST_F(UnitsTest, ReadOnlyFilesAreReadButRefuseTheFirstWrite) {
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  const std::string input = path("dani.dat");
  const std::string report = path("result.rez");
  const std::string locked = path("vx_013.rez");
  put_file(input, "1.5\r\n", 0444);
  put_file(locked, "earlier run\r\n", 0444);
  std::filesystem::remove(report);

  const auto result = run_in_child([&] {
    drop_root_privileges(dir_);
    open_unit(12, input);
    std::string record;
    int error = 0;
    if (read_record(12, record, 80, error) != ReadStatus::ok || record != "1.5\r") ::_exit(3);
    close_unit(12);
    open_unit(13, report);
    write_records(13, "kept 1\r\n");
    write_records(13, "kept 2\r\n");
    open_unit(21, locked);
    write_records(21, "refused\r\n");
  });
  if (result.exit_code == kCannotArrange) {
    GTEST_SKIP() << "cannot run as an unprivileged user, so file modes cannot be tested";
  }
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, file_report("F6421", "WRITE", locked,
                                    "cannot write to " + locked +
                                        ": Permission denied (the file could be opened for "
                                        "reading only)"));
  EXPECT_EQ(file_bytes(report), "kept 1\r\nkept 2\r\n") << "records before the stop stay";
  EXPECT_EQ(file_bytes(locked), "earlier run\r\n");
}

TEST_F(UnitsTest, FileRefusedInEveryModeEndsTheRunAtOpen) {
  ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);
  const std::string sealed = path("statica.dat");
  put_file(sealed, "", 0000);
  const auto result = run_in_child([&] {
    drop_root_privileges(dir_);
    open_unit(14, sealed);
  });
  if (result.exit_code == kCannotArrange) {
    GTEST_SKIP() << "cannot run as an unprivileged user, so file modes cannot be tested";
  }
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            file_report("F6414", "OPEN", sealed, "cannot open " + sealed + ": Permission denied"));
}

TEST_F(UnitsTest, NormalStopEndsAnOpenConsoleLineAndClosesTheUnits) {
  struct Case {
    const char* label;
    std::vector<std::string> console;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"nothing printed", {}, "Stop - Program terminated.\r\n"},
      {"ended lines",
       {"           0   0.000000000000000E+000\r\n"},
       "           0   0.000000000000000E+000\r\nStop - Program terminated.\r\n"},
      {"open line",
       {"         500", "        1.250000000000000"},
       "         500        1.250000000000000\r\nStop - Program terminated.\r\n"},
  };
  const std::string file = path("result.rez");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = run_in_child([&] {
      open_unit(13, file);
      write_records(13, "last\r\n");
      for (const auto& bytes : c.console) write_console(bytes);
      normal_stop();
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(file_bytes(file), "last\r\n");
  }
}

}  // namespace
}  // namespace liftsim::textio
