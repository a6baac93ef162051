// End to end on the built executable: a run's files, its input and report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

const std::string kOld(9999, '#');  // longer than any run file it stands for

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // built with the sanitize preset, as is the program
#else
constexpr bool kSanitized = false;
#endif

// Harmless input variants (empty heading, comment, comma, CR LF, a 44th record) leave the plain run
// as it was, with -C and --stats too; a missing or short input ends with the READ report after the
// groups read, the earlier run's histories kept; statica.dat is never written.
TEST(InputFile, IsReadAsItsFieldsSayOrEndsTheRun) {
  CaseDir plain;
  const std::string out = run_liftsim(plain.path()).out, report = read_file(plain / "result.rez");
  const std::string input = example_input();
  const std::string tolerant =
      replace_record(replace_record(replace_record(input, 1, ""), 6, "1000.     load, 1.5E3 x\r"),
                     10, "0.6,0.5             x,y\r") +
      "x\n";
  const struct {
    int keep;  // records kept: 0 for no file, -1 for the tolerant input
    int blocks;
    std::string err;
  } cases[] = {
      {0, 0, "F6501: READ(dani.dat)\r\n- end of file: record 1 of 43 (heading line 1) is missing"},
      // clang-format off
      {20, 4, "F6501: READ(dani.dat)\r\n- end of file: record 21 of 43 (steered wheel radius R_k) is missing"},
      // clang-format on
      {-1, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    const std::string text = c.keep < 0 ? tolerant : input.substr(0, past(input, "\n", c.keep));
    TempDir dir, here;
    if (c.keep != 0) write_file(dir / "dani.dat", text);
    for (const char* name : {"vx_013.rez", "fi_tk.rez", "statica.dat"})
      write_file(dir / name, kOld);
    Args args{"-C", dir.path().string()};
    if (c.err.empty()) args.push_back("--stats");
    const RunResult r = run_liftsim(here.path(), args);
    EXPECT_TRUE(fs::is_empty(here.path()));
    EXPECT_EQ(read_file(dir / "dani.dat"), text);
    EXPECT_TRUE(read_file(dir / "statica.dat") == kOld);
    EXPECT_EQ(r.exit_status, c.err.empty() ? 0 : 1);
    if (c.err.empty()) {
      EXPECT_TRUE(r.err.starts_with("liftsim: derivative calls ")) << r.err;
      EXPECT_TRUE(r.out == out) << "standard output differs";
      for (const auto& name : run_file_names())
        EXPECT_TRUE(name == "dani.dat" || name == "statica.dat" ||
                    read_file(dir / name) == read_file(plain / name))
            << name;
      continue;
    }
    EXPECT_EQ(r.err, "\r\nrun-time error " + c.err + "\r\n");
    for (const auto& name : run_file_names()) EXPECT_TRUE(fs::exists(dir / name)) << name;
    EXPECT_EQ(read_file(dir / "result.rez"), report.substr(0, past(report, "\r\n\r\n", c.blocks)));
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(read_file(dir / "vx_013.rez") + read_file(dir / "fi_tk.rez") == kOld + kOld);
  }
}

// A file system fault ends the run at the failed operation, the files and records before it kept.
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
    // Running as root without a way to drop to an unprivileged user, the modes would not stop it.
    if (r.exit_status == 125) GTEST_SKIP() << "cannot drop to an unprivileged user";
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(r.err.starts_with("\r\nrun-time error " + c.err + "\r\n- ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
    for (std::size_t i = 0; i < run_file_names().size(); ++i)
      EXPECT_EQ(fs::exists(dir / run_file_names()[i]), i < c.created) << run_file_names()[i];
    EXPECT_EQ(read_file(dir / "result.rez") == kOld, c.file == "result.rez");
    // F_tp.rez fails at the first output point, after the console line and F_12.rez.
    const std::size_t written = c.file == "F_tp.rez" ? 2 : 0;
    EXPECT_EQ(count(r.out + read_file(dir / "F_12.rez"), "\r\n"), written);
  }
}

}  // namespace
}  // namespace liftsim::testing
