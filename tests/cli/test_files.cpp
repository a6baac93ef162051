// The files a run or a study names, end to end: clashes, standard output, bounded reads and grids.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

// An output that is another output or an input (same path, other path, link, -C) or cannot be
// made: refused before any work, naming both, nothing written; so are options no study case can
// honour. A merge that cannot read a file is refused with status 1.
TEST(Outputs, ConflictsAreRefusedBeforeAnythingIsWritten) {
  CaseDir dir;
  const Args sweep{"sweep", "--set", "t_end=0.05", "--vary", "m_4=1000,1500"};
  ASSERT_EQ(run_liftsim(dir.path(), quiet(sweep + Args{"-o", "a.csv"})).exit_status, 0);
  fs::create_directory(dir / "sub");
  write_file(dir / "sub" / "dani.dat", example_input());
  write_file(dir / "case.toml", "m_4 = 1000\n");
  write_file(dir / "road.csv", "x,z\n0,0\n1,0\n");
  write_file(dir / "drive.csv", "0,0\n1,100\n");
  write_file(dir / "old.csv", "t\n0\n");
  write_file(dir / "F_kp.rez", "");
  write_file(dir / "file", "x");
  fs::create_hard_link(dir / "old.csv", dir / "hard.json");
  fs::create_symlink("x.csv", dir / "link.html");
  fs::create_symlink("F_kp.rez", dir / "history.csv");
  fs::create_symlink("miss/page.html", dir / "lost.html");
  fs::create_symlink("a.csv", dir / "link.csv");
  const struct {
    Args args;
    std::string says;
    int status = 2;  // 1: what a file holds is no usage error
  } cases[] = {
      // clang-format off
      {{"--csv", "x.csv", "--html", "x.csv"}, "--csv 'x.csv' and --html 'x.csv' are the same file"},
      {{"--csv", "x.csv", "--summary", "sub/../x.csv"},
       "--csv 'x.csv' and --summary 'sub/../x.csv' are the same file"},
      {{"--csv", "x.csv", "--html", "link.html"}, "--csv 'x.csv' and --html 'link.html' are the same file"},
      {{"--csv", "old.csv", "--summary", "hard.json"},
       "--csv 'old.csv' and --summary 'hard.json' are the same file"},
      {{"--csv", "-", "--summary", "-"}, "--csv '-' and --summary '-' cannot both use standard output"},
      {{"--csv", "dani.dat"}, "--csv 'dani.dat' is the same file as the run's input dani.dat"},
      {{"-C", "sub", "--html", "sub/dani.dat"},
       "--html 'sub/dani.dat' is the same file as the run's input dani.dat"},
      {{"-C", "sub", "--summary", "sub/result.rez"},
       "--summary 'sub/result.rez' is the same file as the run's result.rez"},
      {{"--csv", "history.csv"}, "--csv 'history.csv' is the same file as the run's F_kp.rez"},
      {{"--params", "case.toml", "--summary", "case.toml"},
       "--summary 'case.toml' is the same file as --params 'case.toml', which the run reads"},
      {{"--road", "road.csv", "--csv", "./road.csv"},
       "--csv './road.csv' is the same file as --road 'road.csv', which the run reads"},
      {{"--drive", "road.csv", "--html", "road.csv"},
       "--html 'road.csv' is the same file as --drive 'road.csv', which the run reads"},
      {{"--brake", "road.csv", "--summary", "road.csv"},
       "--summary 'road.csv' is the same file as --brake 'road.csv', which the run reads"},
      {{"--summary", "miss/x.json"}, "--summary 'miss/x.json': the folder 'miss' does not exist"},
      {{"--html", "lost.html"}, "--html 'lost.html': the folder 'miss' does not exist"},
      {{"--csv", "sub"}, "--csv 'sub': is a folder"},
      // studies
      {sweep + Args{"-o", "dani.dat"}, "-o 'dani.dat' is the same file as dani.dat"},
      {{"capacity", "--vary", "zc_4=0", "-o", "dani.dat"}, "-o 'dani.dat' is the same file as dani.dat"},
      {sweep + Args{"--html", "dani.dat"}, "--html 'dani.dat' is the same file as dani.dat"},
      {sweep + Args{"-o", "s.csv", "--html", "s.csv"}, "-o 's.csv' and --html 's.csv' are the same file"},
      {sweep + Args{"-o", "x", "--save", "x"}, "-o 'x' is the same file as --save 'x'"},
      {sweep + Args{"-C", "sub", "-o", "sub/dani.dat"}, "is the same file as dani.dat"},
      {sweep + Args{"--params", "case.toml", "-o", "case.toml"}, "is the same file as --params 'case.toml'"},
      {sweep + Args{"--drive", "drive.csv", "--html", "drive.csv"}, "is the same file as --drive 'drive.csv'"},
      {{"merge", "a.csv", "-o", "link.csv"}, "-o 'link.csv' is the same file as shard file 'a.csv'"},
      {sweep + Args{"--save", "file"}, "--save 'file': is not a folder"},
      {sweep + Args{"--jobs", "100000"}, "--jobs 100000: use 1 to 1024 threads"},
      {sweep + Args{"-o", "-", "--resume"}, "--resume needs an output file"},
      {{"merge", "a.csv", "dani.dat", "-o", "m.csv"}, "dani.dat: it does not begin with '# liftsim", 1},
      // clang-format on
  };
  for (const auto& c : cases) expect_refused(dir.path(), c.args, {c.says}, c.status);
}

// The CSV or the summary on standard output holds it alone; devices may take several outputs.
TEST(Outputs, StandardOutputCarriesOneThingAndDevicesAreShared) {
  CaseDir file, piped, devices;
  const Args run{"-q", "--set", "t_end=1"};
  const RunResult to_file = run_liftsim(file.path(), run + Args{"--csv", "x.csv"});
  const RunResult to_stdout = run_liftsim(piped.path(), run + Args{"--csv", "-"});
  EXPECT_EQ(to_stdout.exit_status, 0);
  EXPECT_TRUE(to_stdout.out == read_file(file / "x.csv")) << "the CSV on standard output differs";
  EXPECT_EQ(to_stdout.err, to_file.out);
  EXPECT_TRUE(to_file.out.ends_with("Stop - Program terminated.\r\n"));

  const RunResult shared = run_liftsim(
      devices.path(),
      run + Args{"--csv", "/dev/null", "--summary", "/dev/null", "--html", "/dev/null"});
  EXPECT_EQ(shared.exit_status, 0) << shared.err;
}

// Inputs over 16 MiB (or endless) and grids over 10^7 rows are usage errors that leave the folder
// as it was; --force lifts the grid's limit, and a file of exactly 16 MiB is read.
TEST(Limits, OversizedInputsAndGridsAreRefused) {
  CaseDir dir;
  const std::size_t limit = std::size_t{16} << 20;
  const std::string assignment = "m_4 = 1234.5\n";
  const std::string full = assignment + std::string(limit - assignment.size() - 1, '#') + "\n";
  write_file(dir / "full.toml", full);
  write_file(dir / "over.toml", full + "\n");
  const struct {
    Args args;
    std::vector<std::string> says;
  } refused[] = {
      // clang-format off
      {{"--params", "/dev/zero"}, {"parameter file '/dev/zero' is larger than 16 MiB"}},
      {{"--road", "/dev/zero"}, {"road profile '/dev/zero' is larger than 16 MiB"}},
      {{"--params", "over.toml"}, {"parameter file 'over.toml' is larger than 16 MiB"}},
      {{"--set", "t_end=1", "--grid", "1e-7", "--csv", "x.csv"},
       {"--grid 1e-07 makes 10000001 rows", "t_end = 1 s", "--force"}},
      {{"--grid", "1e-300", "--html", "x.html"}, {"makes 1e+301 rows"}},
      {{"--force", "--csv", "x.csv"}, {"--force only lifts the row limit of --grid"}},
      // clang-format on
  };
  for (const auto& c : refused) expect_refused(dir.path(), Args{"-q"} + c.args, c.says);
  // A load below 1 kg ends the run at its first output point, before the grid's first row.
  const RunResult forced = run_liftsim(
      dir.path(), {"-q", "--set", "m_4=0.5", "--grid", "1e-9", "--force", "--csv", "x.csv"});
  EXPECT_EQ(forced.exit_status, 1) << forced.err;
  const RunResult read = run_liftsim(
      dir.path(), {"-q", "--set", "t_end=0.01", "--params", "full.toml", "--summary", "s.json"});
  EXPECT_EQ(read.exit_status, 0) << read.err;
  EXPECT_NE(read_file(dir / "s.json").find("\"m_4\": 1234.5"), std::string::npos);
}

}  // namespace
}  // namespace liftsim::testing
