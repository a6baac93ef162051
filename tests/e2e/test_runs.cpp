// End to end on the built executable: a run's files, its input and report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

const std::string kOld = "left from an earlier run\r\n";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // built with the sanitize preset, as is the program
#else
constexpr bool kSanitized = false;
#endif

// The position just past the n-th `sep` in `s`.
std::size_t past(const std::string& s, const std::string& sep, int n) {
  std::size_t pos = 0;
  while (n-- > 0) pos = s.find(sep, pos) + sep.size();
  return pos;
}

// The example's first `blocks` report blocks, from a plain run of it (the golden runs pin its
// bytes): a block on a line or two, each ending in an empty line.
std::string echo(int blocks) {
  static const std::string all = [] {
    CaseDir dir;
    run_liftsim(dir.path());
    return read_file(dir / "result.rez");
  }();
  return all.substr(0, past(all, "\r\n\r\n", blocks));
}

std::vector<std::string> records(const std::string& bytes) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    out.push_back(bytes.substr(start, end - start));
  }
  EXPECT_EQ(start, bytes.size()) << "every record ends in CR LF";
  return out;
}

// The report: the first `blocks` blocks alone; all ten and the statics last with 11; the statics
// last whatever the blocks with -1. The example reaches its end time in the first leg, so no
// leg-end lines follow.
void expect_report(const std::string& report, int blocks) {
  const auto lines = records(report);
  const bool statics = blocks < 0 || blocks > 10;
  EXPECT_EQ(!lines.empty() && lines.back().starts_with("         -F_tp_0="), statics) << report;
  if (blocks < 0) return;
  const std::string expected = echo(std::min(blocks, 10));
  EXPECT_EQ(statics ? report.substr(0, expected.size()) : report, expected);
}

// The example run from another folder with -C and --stats, over longer files left from an earlier
// run: the files and progress lines of a plain run in its own folder (whose bytes the golden runs
// pin), the statistics on standard error, and nothing where it was started. statica.dat is opened
// but never written, so it keeps what it held.
TEST(ExampleRun, FromAnotherFolderOverAnEarlierRunsFiles) {
  CaseDir dir, plain;
  TempDir here;
  const std::string old(9999, '#');
  for (const char* name : {"result.rez", "fi_tk.rez", "statica.dat"}) write_file(dir / name, old);
  const RunResult r = run_liftsim(here.path(), {"-C", dir.path().string(), "--stats"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_TRUE(r.err.starts_with("liftsim: derivative calls ")) << r.err;
  EXPECT_TRUE(fs::is_empty(here.path()));
  EXPECT_EQ(read_file(dir / "statica.dat"), old);
  EXPECT_TRUE(r.out == run_liftsim(plain.path()).out) << "standard output differs";
  for (const auto& name : run_file_names()) {
    if (name != "statica.dat") {
      EXPECT_TRUE(read_file(dir / name) == read_file(plain / name)) << name;
    }
  }
}

// The input read as its fields say, or the run ends with the read report, the report blocks
// written before it and the output files from an earlier run unchanged.
TEST(InputFile, IsReadAsItsFieldsSayOrEndsTheRun) {
  const struct {
    int keep;                                          // records kept: 0 for no file, -1 for all
    std::vector<std::pair<int, std::string>> records;  // replaced, or appended past the end
    int blocks;                                        // as expect_report has them
    std::string err;
  } cases[] = {
      // clang-format off
      {0, {}, 0, "F6501: READ(dani.dat)\r\n- end of file: record 1 of 43 (heading line 1) is missing"},
      {20, {}, 4, "F6501: READ(dani.dat)\r\n- end of file: record 21 of 43 (steered wheel radius R_k) is missing"},
      {-1, {{6, "   0.5000"}}, -1, "M6103: MATH\r\n- floating-point error: divide by zero"},
      // An empty heading, a comment after a field, a comma between two fields, CR LF, a 44th record.
      {-1, {{1, ""}, {6, "1000.     load, 1.5E3 x\r"}, {10, "0.6,0.5             x,y\r"}, {44, "x"}}, 11, ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    std::string input = example_input();
    for (const auto& [n, text] : c.records) {
      input = n > 43 ? input + text + "\n" : replace_record(input, n, text);
    }
    if (c.keep >= 0) input.resize(past(input, "\n", c.keep));
    TempDir dir;
    if (c.keep != 0) write_file(dir / "dani.dat", input);
    write_file(dir / "vx_013.rez", kOld);
    const RunResult r = run_liftsim(dir.path());
    EXPECT_EQ(r.exit_status, c.err.empty() ? 0 : 1);
    EXPECT_EQ(r.err, c.err.empty() ? "" : "\r\nrun-time error " + c.err + "\r\n");
    for (const auto& name : run_file_names()) EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ(read_file(dir / "dani.dat"), input);
    expect_report(read_file(dir / "result.rez"), c.blocks);
    // Only a run that reaches its first output point writes to the console and time histories.
    EXPECT_EQ(r.out.empty(), !c.err.empty()) << r.out;
    EXPECT_EQ(read_file(dir / "vx_013.rez") == kOld, !c.err.empty());
  }
}

// A fault of the file system ends the run at the operation that failed, with the files before it
// created and the records before it written.
TEST(RunFiles, FaultEndsTheRunAtTheOperationThatFails) {
  const struct {
    std::string file;  // given `mode`, or linked to /dev/full when the mode is unknown
    fs::perms mode;
    int max_open_files;
    std::string err;
    std::size_t created;  // run files existing afterwards, in opening order
  } cases[] = {
      // Three standard streams and seven files fit; the eighth cannot be opened.
      {"", fs::perms::unknown, 10, "F6417: OPEN(vz_02.rez)", 7},
      {"F_tp.rez", fs::perms::unknown, 0, "F6422: WRITE(F_tp.rez)", 25},
      {"result.rez", fs::perms{0444}, 0, "F6421: WRITE(result.rez)", 25},
      {"dani.dat", fs::perms::none, 0, "F6414: OPEN(dani.dat)", 1},
      {"dani.dat", fs::perms{0222}, 0, "F6500: READ(dani.dat)", 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    // A sanitized program cannot run out of descriptors faithfully: the sanitizers need some of
    // their own (the check of a polymorphic object's type probes memory through a pipe, and finds
    // the run's failure "invalid" once no descriptor is left).
    if (kSanitized && c.max_open_files > 0) continue;
    const bool moded = c.mode != fs::perms::unknown;
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);  // for the unprivileged user
    write_file(dir / "dani.dat", example_input());
    if (c.file == "result.rez") write_file(dir / c.file, kOld);
    if (moded) fs::permissions(dir / c.file, c.mode);
    if (!moded && !c.file.empty()) fs::create_symlink("/dev/full", dir / c.file);
    const RunResult r = run_liftsim(
        dir.path(), {},
        {.unprivileged = moded && ::geteuid() == 0, .max_open_files = c.max_open_files});
    if (r.exit_status == 125) {
      GTEST_SKIP() << "running as root without a way to drop to an unprivileged user, which the "
                      "file modes would not stop";
    }
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(r.err.starts_with("\r\nrun-time error " + c.err + "\r\n- ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    for (std::size_t i = 0; i < run_file_names().size(); ++i) {
      EXPECT_EQ(fs::exists(dir / run_file_names()[i]), i < c.created) << run_file_names()[i];
    }
    EXPECT_EQ(read_file(dir / "result.rez") == kOld, c.file == "result.rez");
    // F_tp.rez fails at the first output point, after the console line and F_12.rez.
    const std::size_t written = c.file == "F_tp.rez" ? 2 : 0;
    EXPECT_EQ(records(r.out + read_file(dir / "F_12.rez")).size(), written);
  }
}

}  // namespace
}  // namespace liftsim::testing
