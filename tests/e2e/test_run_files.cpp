// End-to-end: the files of a run, normal and failing, and the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> split_records(const std::string& bytes) {
  std::vector<std::string> records;
  std::size_t start = 0;
  for (std::size_t pos; (pos = bytes.find("\r\n", start)) != std::string::npos; start = pos + 2) {
    records.push_back(bytes.substr(start, pos - start));
  }
  EXPECT_EQ(start, bytes.size()) << "every record ends in CR LF";
  return records;
}

const std::vector<std::string>& history_files() {
  static const std::vector<std::string> names(run_file_names().begin() + 3, run_file_names().end());
  return names;
}

// One normal run of the example, shared by the tests that only read its files.
class ExampleRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    write_file(*dir_ / "dani.dat", example_input());
    result_ = new RunResult(run_liftsim(dir_->path()));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete dir_;
  }
  static TempDir* dir_;
  static RunResult* result_;
};
TempDir* ExampleRun::dir_ = nullptr;
RunResult* ExampleRun::result_ = nullptr;

TEST_F(ExampleRun, EndsNormallyWithAllFiles) {
  EXPECT_EQ(result_->exit_status, 0) << result_->err;
  EXPECT_EQ(result_->err, "");
  for (const auto& name : run_file_names()) EXPECT_TRUE(fs::exists(*dir_ / name)) << name;
  EXPECT_EQ(fs::file_size(*dir_ / "statica.dat"), 0u);
}

TEST_F(ExampleRun, HistoryFilesShareTheirTimesAndReachTheEnd) {
  std::vector<std::string> times;
  for (const auto& name : history_files()) {
    const auto records = split_records(read_file(*dir_ / name));
    std::vector<std::string> these;
    const bool three_columns = name == "F_tp.rez" || name.find("XZ2P") != std::string::npos;
    for (const auto& r : records) {
      EXPECT_EQ(r.size(), three_columns ? 42u : 28u) << name << ": " << r;
      these.push_back(r.substr(0, 14));
    }
    if (times.empty()) {
      times = these;
    } else {
      EXPECT_EQ(these, times) << name;
    }
  }
  ASSERT_GE(times.size(), 2u);
  EXPECT_EQ(times.front(), "    .00000E+00");
  EXPECT_GT(std::strtod(times.back().c_str(), nullptr), 9.0);
}

TEST_F(ExampleRun, ConsoleHoldsProgressLinesThenTheStopLine) {
  const auto lines = split_records(result_->out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "Stop - Program terminated.");
  EXPECT_EQ(lines.front(), "           0   0.000000000000000E+000");
  const auto records = split_records(read_file(*dir_ / "vx_013.rez"));
  EXPECT_EQ(lines.size(), records.size() + 1);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].size(), 37u) << lines[i];
    EXPECT_EQ(std::atol(lines[i].substr(0, 12).c_str()), static_cast<long>(500 * i));
  }
}

TEST_F(ExampleRun, ReportEndsWithTheStaticForces) {
  const auto lines = split_records(read_file(*dir_ / "result.rez"));
  ASSERT_GE(lines.size(), 4u);
  // Reaching the end time at the first leg writes no leg-end lines.
  EXPECT_EQ(lines[lines.size() - 2].substr(0, 15), "         -SF13=");
  EXPECT_EQ(lines.back().substr(0, 17), "         -F_tp_0=");
}

TEST_F(ExampleRun, SecondRunInTheSameFolderGivesTheSameBytes) {
  std::map<std::string, std::string> first;
  for (const auto& name : run_file_names()) first[name] = read_file(*dir_ / name);
  const RunResult again = run_liftsim(dir_->path());
  EXPECT_EQ(again.exit_status, 0);
  EXPECT_EQ(again.out, result_->out);
  for (const auto& name : run_file_names()) {
    EXPECT_EQ(read_file(*dir_ / name), first[name]) << name;
  }
}

TEST(RunFiles, MissingInputIsCreatedAndTheRunStopsAtItsFirstRecord) {
  TempDir dir;
  write_file(dir / "vx_013.rez", "left from an earlier run\r\n");
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err,
            "\r\nrun-time error F6501: READ(dani.dat)\r\n"
            "- end of file: record 1 of 43 (heading line 1) is missing\r\n");
  EXPECT_EQ(r.out, "");
  for (const auto& name : run_file_names()) EXPECT_TRUE(fs::exists(dir / name)) << name;
  EXPECT_EQ(fs::file_size(dir / "dani.dat"), 0u);
  EXPECT_EQ(read_file(dir / "vx_013.rez"), "left from an earlier run\r\n");
}

TEST(RunFiles, OldContentsAreReplacedAndStaticaIsNeverTouched) {
  TempDir dir;
  write_file(dir / "dani.dat", example_input());
  const std::string old(100000, 'x');
  write_file(dir / "fi_tk.rez", old);
  write_file(dir / "result.rez", old);
  write_file(dir / "statica.dat", "kept as it is\n");
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(read_file(dir / "fi_tk.rez").find('x'), std::string::npos);
  EXPECT_EQ(read_file(dir / "result.rez").find('x'), std::string::npos);
  EXPECT_EQ(read_file(dir / "statica.dat"), "kept as it is\n");
}

TEST(RunFiles, ReadOnlyReportEndsTheRunAtItsFirstWrite) {
  if (::geteuid() == 0 && !can_drop_privileges()) {
    GTEST_SKIP() << "running as root without a way to drop to an unprivileged user, which the "
                    "file modes would not stop";
  }
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  write_file(dir / "dani.dat", example_input());
  write_file(dir / "result.rez", "old report\r\n");
  fs::permissions(dir / "result.rez",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const RunResult r = run_liftsim(dir.path(), {}, {.unprivileged = ::geteuid() == 0});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err.rfind("\r\nrun-time error F6421: WRITE(result.rez)\r\n- ", 0), 0u) << r.err;
  EXPECT_EQ(read_file(dir / "result.rez"), "old report\r\n");
}

TEST(RunFiles, FullDiskEndsTheRunWithEveryEarlierRecordKept) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  TempDir dir;
  write_file(dir / "dani.dat", example_input());
  fs::create_symlink("/dev/full", dir / "F_tp.rez");
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err.rfind("\r\nrun-time error F6422: WRITE(F_tp.rez)\r\n- ", 0), 0u) << r.err;
  // The files written before F_tp.rez at the first output point hold their first record.
  EXPECT_EQ(split_records(read_file(dir / "F_12.rez")).size(), 1u);
  EXPECT_EQ(split_records(read_file(dir / "1XZ2P.rez")).size(), 1u);
  EXPECT_EQ(fs::file_size(dir / "F_kp.rez"), 0u);
  // The console line comes before F_tp.rez.
  EXPECT_EQ(r.out, "           0   0.000000000000000E+000\r\n");
}

TEST(RunFiles, FloatingPointFaultEndsTheRunAfterTheStatics) {
  TempDir dir;
  write_file(dir / "dani.dat", example_with_record(6, "   0.5000"));
  const RunResult r = run_liftsim(dir.path());
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n");
  const auto report = split_records(read_file(dir / "result.rez"));
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.back().substr(0, 17), "         -F_tp_0=");
  // The fault comes at the first output point before any time-history record.
  EXPECT_EQ(fs::file_size(dir / "1XZ2P.rez"), 0u);
}

TEST(RunFiles, TooManyOpenFilesEndsTheRunAtTheOpenThatFails) {
  TempDir dir;
  write_file(dir / "dani.dat", example_input());
  // Three standard streams and seven files fit; the eighth file cannot be opened.
  const RunResult r = run_liftsim(dir.path(), {}, {.max_open_files = 10});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err.rfind("\r\nrun-time error F6417: OPEN(vz_02.rez)\r\n- ", 0), 0u) << r.err;
  const auto& names = run_file_names();
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(fs::exists(dir / names[i]), i < 7) << names[i];
  }
}

TEST(RunFiles, UnreadableInputIsRefusedAtItsOpen) {
  if (::geteuid() == 0 && !can_drop_privileges()) {
    GTEST_SKIP() << "running as root without a way to drop to an unprivileged user";
  }
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  write_file(dir / "dani.dat", example_input());
  fs::permissions(dir / "dani.dat", fs::perms::none);
  const RunResult r = run_liftsim(dir.path(), {}, {.unprivileged = ::geteuid() == 0});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err.rfind("\r\nrun-time error F6414: OPEN(dani.dat)\r\n- ", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(dir / "result.rez"));
}

TEST(RunFiles, WriteOnlyInputIsOpenedButCannotBeRead) {
  if (::geteuid() == 0 && !can_drop_privileges()) {
    GTEST_SKIP() << "running as root without a way to drop to an unprivileged user";
  }
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  write_file(dir / "dani.dat", example_input());
  fs::permissions(dir / "dani.dat",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write);
  const RunResult r = run_liftsim(dir.path(), {}, {.unprivileged = ::geteuid() == 0});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err.rfind("\r\nrun-time error F6500: READ(dani.dat)\r\n- ", 0), 0u) << r.err;
  EXPECT_EQ(read_file(dir / "dani.dat"), example_input());
  for (const auto& name : run_file_names()) EXPECT_TRUE(fs::exists(dir / name)) << name;
}

struct CliCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  const char* out_start;
  const char* err_start;
};

void PrintTo(const CliCase& c, std::ostream* os) {
  *os << c.name;
}

class CommandLine : public ::testing::TestWithParam<CliCase> {};

TEST_P(CommandLine, AnswersWithoutTouchingAFile) {
  const CliCase& c = GetParam();
  TempDir dir;
  const RunResult r = run_liftsim(dir.path(), c.args);
  EXPECT_EQ(r.exit_status, c.status);
  EXPECT_EQ(r.out.rfind(c.out_start, 0), 0u) << r.out;
  EXPECT_EQ(r.err.rfind(c.err_start, 0), 0u) << r.err;
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    ::testing::Values(CliCase{"Help", {"--help"}, 0, "Usage: liftsim", ""},
                      CliCase{"Version", {"--version"}, 0, "liftsim ", ""},
                      CliCase{"Unknown", {"--fast"}, 2, "", "liftsim: unknown argument '--fast'"},
                      CliCase{"StrayWord", {"dani.dat"}, 2, "", "liftsim: unknown argument"},
                      CliCase{"MissingFolder",
                              {"-C", "no/such/folder"},
                              2,
                              "",
                              "liftsim: cannot run in folder 'no/such/folder'"},
                      CliCase{"FolderNotGiven", {"-C"}, 2, "", "liftsim: option -C needs"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLineRun, RunsInTheGivenFolderAndPrintsStatistics) {
  TempDir here;
  TempDir there;
  write_file(there / "dani.dat", example_input());
  const RunResult r = run_liftsim(here.path(), {"-C", there.path().string(), "--stats"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(fs::is_empty(here.path()));
  EXPECT_TRUE(fs::exists(there / "Engine.rez"));
  EXPECT_EQ(r.err.rfind("liftsim: derivative calls ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("integrator legs 1,"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace liftsim::testing
