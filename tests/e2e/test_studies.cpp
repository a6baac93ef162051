// Studies as hardened as the plain run, end to end: outputs checked first, one writer per file,
// interrupts reaching endless cases, errors named, dani.dat read whole,
// 10^8 cases in bounded memory.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

// A sweep of two quick cases.
const Args kSweep{"sweep", "--set", "t_end=0.05", "--vary", "m_4=1000,1500"};
// Cases that never end by themselves: a step too small to get anywhere, no work limit.
const Args kNeverEnding{"--set", "h_max=1e-300", "--work-limit", "0"};

bool wait_for(const fs::path& path, std::string_view text) {
  return wait_until([&] { return read_file(path).find(text) != std::string::npos; });
}

// Rows on standard output and a page beside them: the page is made from the rows, not a file.
TEST(Studies, ResultsOnStandardOutputWithAPage) {
  CaseDir dir;
  const RunResult r = run_liftsim(dir.path(), Args{"-q"} + kSweep + Args{"-o", "-", "--html", "x.html"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const CsvText csv = split_csv(r.out);
  ASSERT_EQ(csv.rows.size(), 2u);
  const std::string page = read_file(dir / "x.html");
  EXPECT_NE(page.find(csv.at(1, "min_F_kp")), std::string::npos);
}

// A second study onto a result file is refused; SIGINT and SIGTERM reach cases that never end.
TEST(Studies, OneWriterAndInterruptsThatReachEveryCase) {
  const struct {
    const char* what;
    Args command;
    int signal;
  } cases[] = {
      {"sweep", kSweep + kNeverEnding + Args{"-j", "2"}, SIGTERM},
      {"capacity", Args{"capacity", "--vary", "zc_4=0,1"} + kNeverEnding, SIGINT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CaseDir dir;
    ASSERT_EQ(run_liftsim(dir.path(), Args{"-q"} + kSweep + Args{"-o", "a.csv"}).exit_status, 0);
    Started first(dir.path(), Args{"-q"} + c.command + Args{"-o", "x.csv"}, {});
    ASSERT_TRUE(wait_for(dir / "x.csv", "\ncase,"));
    const std::string head = read_file(dir / "x.csv");
    for (const Args& second : {kSweep + Args{"-o", "x.csv"},
                               Args{"capacity", "--vary", "zc_4=0", "-o", "x.csv", "--resume"},
                               Args{"merge", "a.csv", "-o", "x.csv"}}) {
      const RunResult r = run_liftsim(dir.path(), quiet(second));
      EXPECT_EQ(r.exit_status, 1) << r.err;
      EXPECT_NE(r.err.find("x.csv is being written by another liftsim"), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_file(dir / "x.csv"), head);
    ::kill(first.pid(), c.signal);
    const RunResult stopped = first.wait(std::chrono::seconds(30));
    EXPECT_FALSE(stopped.timed_out) << "the signal did not reach the cases";
    EXPECT_EQ(stopped.exit_status, 128 + c.signal) << stopped.err;
    EXPECT_NE(stopped.err.find("after 0 of 2"), std::string::npos) << stopped.err;
    EXPECT_EQ(read_file(dir / "x.csv"), head);
  }
}

// A case that cannot write its files is an error with no verdict; a locked save folder is refused.
TEST(Studies, ACaseThatCannotWriteItsFilesIsAnError) {
  CaseDir dir;
  fs::create_directory(dir / "cases");
  write_file(dir / "cases" / "case-00001", "in the way");
  const RunResult r = run_liftsim(dir.path(), Args{"-q"} + kSweep + Args{"--save", "cases"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const CsvText csv = split_csv(read_file(dir / "sweep.csv"));
  ASSERT_EQ(csv.rows.size(), 2u);
  EXPECT_EQ(csv.at(0, "verdict"), "stable");
  EXPECT_EQ(csv.at(0, "message"), "");
  EXPECT_EQ(csv.at(1, "outcome") + "|" + csv.at(1, "verdict") + "|" + csv.at(1, "error"),
            "error||F6416");
  EXPECT_NE(csv.at(1, "message").find("cases/case-00001: Not a directory"), std::string::npos);

  fs::create_directory(dir / "locked");
  fs::permissions(dir.path(), fs::perms::all);  // for the unprivileged user
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(dir / "sweep.csv", fs::perms::all);
  const RunResult locked = run_liftsim(dir.path(), Args{"-q"} + kSweep + Args{"--save", "locked"},
                                       {.unprivileged = ::geteuid() == 0});
  if (locked.exit_status == 125) GTEST_SKIP() << "cannot drop to an unprivileged user";
  EXPECT_EQ(locked.exit_status, 2) << locked.err;
  EXPECT_NE(locked.err.find("--save 'locked': cannot create folders in it"), std::string::npos)
      << locked.err;
}

// dani.dat is read whole: long records that a run reads are read by a sweep too (it stopped at
// 1 MiB and then missed records); a file larger than any a run could need is refused, saying so.
TEST(Studies, DaniDatReadWholeOrRefusedWithItsSize) {
  CaseDir plain;
  ASSERT_EQ(run_liftsim(plain.path(), Args{"-q"} + kSweep).exit_status, 0);
  std::string padded;
  for (std::size_t pos = 0, lf; pos < example_input().size(); pos = lf + 1) {
    lf = example_input().find('\n', pos);
    padded += example_input().substr(pos, lf - pos) + std::string(60000, ' ') + "comment\n";
  }
  CaseDir long_records(padded);
  ASSERT_GT(padded.size(), std::size_t{2} << 20);
  const RunResult r = run_liftsim(long_records.path(), Args{"-q"} + kSweep);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(read_file(long_records / "sweep.csv"), read_file(plain / "sweep.csv"));

  CaseDir huge(example_input() + std::string(std::size_t{5} << 20, '\n'));
  const RunResult refused = run_liftsim(huge.path(), Args{"-q"} + kSweep);
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("dani.dat holds more than 4194304 bytes"), std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(huge / "sweep.csv"));
}

// 10^8 cases (and a shard) start at once in little memory: computed, never listed (1.7 GB).
TEST(Studies, AHundredMillionCasesStartInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer reserves more address space than the limit tested";
#else
  for (const auto& [shard, first_row] : {std::pair{"1/1", "\n0,"}, std::pair{"7/1000", "\n6,"}}) {
    SCOPED_TRACE(shard);
    CaseDir dir;
    Started sweep(dir.path(),
                  {"-q", "sweep", "--set", "t_end=0.01", "--vary", "m_4=1:10000:1", "--vary",
                   "zc_4=0:9.999:0.001", "--shard", shard, "-j", "2"},
                  {.max_address_space = 1LL << 30});
    ASSERT_TRUE(wait_for(dir / "sweep.csv", first_row));
    ::kill(sweep.pid(), SIGINT);
    const RunResult r = sweep.wait();
    EXPECT_EQ(r.exit_status, 130) << r.err;
    EXPECT_NE(r.err.find(std::string(shard) == "1/1" ? " of 100000000 cases" : " of 100000 cases"),
              std::string::npos)
        << r.err;
  }
#endif
}

}  // namespace
}  // namespace liftsim::testing
