// The run's options end to end on the built executable: values set by name against edited input
// files, parameter files, road profiles, refused values that leave the folder untouched, the
// parameter listing, restarts that stop making progress, and warnings about the input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "params/reference.h"
#include "params/table.h"
#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What a run leaves: its status, standard output and error, and every file of its folder.
struct Outcome {
  RunResult run;
  std::map<std::string, std::string> files;
};

Outcome run_input(const std::string& input, const std::vector<std::string>& args = {}) {
  TempDir dir;
  write_file(dir / "dani.dat", input);
  Outcome o{run_liftsim(dir.path(), args), {}};
  for (const auto& e : fs::directory_iterator(dir.path()))
    o.files[e.path().filename()] = read_file(e.path());
  return o;
}

const Outcome& example_run() {
  static const Outcome run = run_input(example_input());
  return run;
}

bool is_history(const std::string& name) {
  return name != "dani.dat" && name != "result.rez" && name != "statica.dat";
}

// Same status, standard output and error, and the same files with the same bytes, the input too.
void expect_same(const Outcome& got, const Outcome& want) {
  EXPECT_EQ(got.run.exit_status, want.run.exit_status);
  EXPECT_TRUE(got.run.out == want.run.out) << "standard output differs";
  EXPECT_EQ(got.run.err, want.run.err);
  EXPECT_EQ(got.files.size(), want.files.size());
  for (const auto& [name, bytes] : want.files)
    EXPECT_TRUE(got.files.count(name) && got.files.at(name) == bytes) << name << " differs";
}

// The report's parameter echo: its first ten blocks.
std::string echo_of(const std::string& report) {
  std::size_t pos = 0;
  for (int block = 0; block < 10 && pos != std::string::npos; ++block) {
    pos = report.find("\r\n\r\n", pos);
    if (pos != std::string::npos) pos += 4;
  }
  return report.substr(0, pos);
}

// `--set` from every report block and the run control writes exactly what the same value written
// into dani.dat writes. For values dani.dat supplies the file is edited; for built-in ones, which a
// default run takes in place of the file's value, the edit shows as the echo line alone, and the
// value reaches the model (or, for one the model does not use, nothing else changes). Setting the
// built-in value itself changes nothing.
TEST(SetByName, SameBytesAsAnEditedInput) {
  const struct {
    const char* name;
    const char* value;
    const char* before;  // record number and text for dani.dat; or the echo line before and after
    const char* after;
    bool used = true;  // the value reaches the model (the time histories change)
  } cases[] = {
      {"m_4", "1234.5", "6", "1234.5000"},
      {"m_4", "0.5", "6", "   0.5000"},  // both end with the load-mass fault at the first output
      {"zc_4", "0.75", "10", "   0.60000   0.75000"},
      {"xp_1", "-0.7", "38", "  -0.7000"},
      {"zp_3", "2.1", "43", "   2.1000"},
      {"m_1", "250.125", "МАСА ВАНТАЖОПІДЙОМНИКА  210.0000", "МАСА ВАНТАЖОПІДЙОМНИКА  250.1250"},
      {"xc_2", "0.04567", "КАРЕТКИ     .0300    .8250", "КАРЕТКИ     .0457    .8250"},
      {"J_tk", "1850", "ВАЛУ ТЯГОВОГО КОЛЕСА  .17670E+04", "ВАЛУ ТЯГОВОГО КОЛЕСА  .18500E+04"},
      {"c_kr", "412346", "ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ   .37800E+06",
       "ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ   .41235E+06"},
      {"R_k", "0.38", "РАДІУС КЕРОВАНОГО КОЛЕСА     .4010", "РАДІУС КЕРОВАНОГО КОЛЕСА     .3800"},
      {"f_t", "0.02", "КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС     .0120",
       "КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС     .0200"},
      {"zh_3", "0.41", "КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА    -.2530    .3800",
       "КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА    -.2530    .4100"},
      {"c_lift", "150000", "ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ   .12000E+06",
       "ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ   .15000E+06"},
      {"M_eng", "123.4", "МОМЕНТ ВІД ДВИГУНА     .0000", "МОМЕНТ ВІД ДВИГУНА  123.4000", false},
      {"t_end", "5", "КІНЦЕВИЙ МОМЕНТ ЧАСУ   10.0000", "КІНЦЕВИЙ МОМЕНТ ЧАСУ    5.0000"},
      {"tol", "0.0004", "ТОЧНІСТЬ ІНТЕГРУВАННЯ     .0040", "ТОЧНІСТЬ ІНТЕГРУВАННЯ     .0004"},
      {"g", "9.7", "", ""},  // not echoed
  };
  const Outcome& plain = example_run();
  ASSERT_EQ(plain.run.exit_status, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome set = run_input(example_input(), {"--set", std::string(c.name) + "=" + c.value});
    // The histories that differ from the default run's (the input and report too when edited).
    const auto changed = [&plain](const Outcome& o, bool histories_only) {
      int n = 0;
      for (const auto& [name, bytes] : plain.files)
        n += (!histories_only || is_history(name)) && o.files.at(name) != bytes;
      return n;
    };
    if (kFromInput.count(c.name)) {
      Outcome edited = run_input(replace_record(example_input(), std::atoi(c.before), c.after));
      EXPECT_GT(changed(edited, false), 1) << "the edit changed the input alone";
      edited.files["dani.dat"] = example_input();  // the input is only read
      expect_same(set, edited);
      continue;
    }
    EXPECT_EQ(set.run.exit_status, 0);
    EXPECT_EQ(set.run.err, "");
    std::string echo = echo_of(plain.files.at("result.rez"));
    if (*c.before != '\0') {
      const std::string before = cp1251(c.before) + "\r\n";
      ASSERT_EQ(count(echo, before), 1u);
      echo.replace(echo.find(before), before.size(), cp1251(c.after) + "\r\n");
    }
    const std::string& report = set.files.at("result.rez");
    EXPECT_EQ(echo_of(report), echo);
    EXPECT_EQ(changed(set, true) > 0, c.used) << "whether the value reached the run";
    if (!c.used) {
      EXPECT_EQ(set.run.out, plain.run.out);
      EXPECT_EQ(report.substr(echo.size()), plain.files.at("result.rez").substr(echo.size()));
    }
    // The built-in value itself, written out in full: a default run to the byte.
    char built_in[40];
    std::snprintf(built_in, sizeof built_in, "%s=%.17g", c.name,
                  params::find_param(c.name)->built_in.value());
    expect_same(run_input(example_input(), {"--set", built_in}), plain);
  }
}

TEST(ParamsFile, SameAsSetAndSetWins) {
  TempDir files;
  const std::string file = files / "case.toml";
  write_file(file, "# a lighter load, higher\nm_4 = 750.25\nzc_4 = 0.75   # m\nt_end = 6\n");
  std::vector<std::string> sets{"--set", "m_4=750.25", "--set", "zc_4=0.75", "--set", "t_end=6"};
  const Outcome from_file = run_input(example_input(), {"--params", file});
  EXPECT_EQ(from_file.run.exit_status, 0);
  expect_same(from_file, run_input(example_input(), sets));
  // --set wins over the file, wherever it stands on the command line.
  sets[1] = "m_4=1234.5";
  const Outcome expected = run_input(example_input(), sets);
  expect_same(run_input(example_input(), {"--params", file, "--set", "m_4=1234.5"}), expected);
  expect_same(run_input(example_input(), {"--set", "m_4=1234.5", "--params", file}), expected);
}

// A profile of zero heights is the flat road to the byte; a bump under the wheels changes the run
// from the statics on.
TEST(RoadOption, ZeroProfileIsFlatAndABumpIsFelt) {
  TempDir files;
  write_file(files / "flat.csv", "x [m],z [m]\n-5,0\n0,0\n20,0\n");
  write_file(files / "bump.csv", "x,z\n-5,0.02\n-0.5,0.02\n-0.4,0.05\n0.5,0.05\n0.6,0\n");
  const Outcome& plain = example_run();
  expect_same(run_input(example_input(), {"--road", files / "flat.csv"}), plain);
  const Outcome bump = run_input(example_input(), {"--road", files / "bump.csv"});
  EXPECT_EQ(bump.run.exit_status, 0) << bump.run.err;
  const std::string &report = bump.files.at("result.rez"), &was = plain.files.at("result.rez");
  const std::size_t echo = echo_of(report).size();
  EXPECT_EQ(report.substr(0, echo), echo_of(was));
  EXPECT_TRUE(report.substr(echo) != was.substr(echo)) << "statics";
  EXPECT_TRUE(bump.files.at("z_013.rez") != plain.files.at("z_013.rez"));
}

// A folder holding a finished run's files, aged so that any write shows; returns a listing of
// name, size, inode and modification time of every entry.
std::map<std::string, std::string> listing(const fs::path& dir, bool make = false) {
  if (make) {
    write_file(dir / "dani.dat", example_input());
    EXPECT_EQ(run_liftsim(dir).exit_status, 0);
  }
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const timespec times[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
    if (make) ::utimensat(AT_FDCWD, e.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::ostringstream s;
    s << st.st_size << " " << st.st_ino << " " << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
    out[e.path().filename().string()] = s.str();
  }
  return out;
}

// Every refusal is a usage error before anything runs: status 2, a message naming the parameter,
// the value and the allowed range (or the file and line), nothing on standard output, and the
// folder exactly as it was.
TEST(RefusedValues, UsageErrorAndFolderUntouched) {
  TempDir run_dir, inputs;
  const auto before = listing(run_dir.path(), true);
  ASSERT_EQ(before.size(), run_file_names().size());
  const struct {
    std::vector<std::string> args;
    std::string file;  // written to inputs/<name> and passed by its full path where "@" stands
    std::vector<std::string> fragments;
  } cases[] = {
      {{"--set", "m4=100"}, "", {"unknown parameter 'm4'", "m_4"}},
      {{"--set", "m_4=heavy"}, "", {"m_4", "'heavy'", "not a number"}},
      {{"--set", "m_4=1e400"}, "", {"m_4", "not a finite number"}},
      {{"--set", "m_4=0"}, "", {"value 0 for m_4", "> 0", "kg"}},
      {{"--set", "t_start=3", "--set", "t_end=2"}, "", {"t_end = 2", "t_start = 3"}},
      {{"--set", "m_4=100", "--set", "J_3=-1"}, "", {"J_3", "-1", "> 0"}},
      {{"params", "--set", "J_3=0"}, "", {"J_3", "> 0"}},
      {{"--params", "@"}, "m_4 = 100\n\nJ_3 = 0\n", {"case.toml:3: ", "J_3", "> 0"}},
      {{"--params", "/nonexistent/case.toml"}, "", {"/nonexistent/case.toml"}},
      {{"--road", "@"}, "x,z\n0,0\n2,0.1\n1,0\n", {"road.csv:4: ", "increase"}},
      {{"--road", "@"}, "0,0\n1,nan\n", {"road.csv:2: ", "finite"}},
      {{"--road", "@"}, "0,0\n", {"road.csv", "at least two points"}},
      {{"--road", "/nonexistent/road.csv"}, "", {"/nonexistent/road.csv"}},
      {{"--max-restarts", "-1"}, "", {"--max-restarts"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
      if (a == "@")
        write_file(a = inputs / (args[0] == "--road" ? "road.csv" : "case.toml"), c.file);
    }
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = run_liftsim(run_dir.path(), args);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("liftsim: ")) << r.err;
    for (const std::string& f : c.fragments) EXPECT_NE(r.err.find(f), std::string::npos) << r.err;
    EXPECT_EQ(listing(run_dir.path()), before);
  }
}

// The listing names every parameter with its unit and the value a default run uses (the value set
// by name when one is), reads dani.dat and writes nothing; --help names the options and the input
// values a run uses.
TEST(ParamsCommand, ListsEveryNameWithUnitAndValue) {
  TempDir dir, empty;
  const auto before = listing(dir.path(), true);
  const RunResult text = run_liftsim(dir.path(), {"params"});
  EXPECT_EQ(text.exit_status, 0);
  EXPECT_EQ(text.err, "");
  std::map<std::string, nlohmann::json> items;
  for (const auto& item :
       nlohmann::json::parse(run_liftsim(dir.path(), {"params", "--json", "--set", "J_3=350"}).out))
    items[item.at("name")] = item;
  for (const auto& [name, unit] : kNamesAndUnits) {
    SCOPED_TRACE(name);
    std::istringstream row(text.out.substr(text.out.find("\n" + std::string(name) + " ") + 1));
    std::string word, value, unit_word;
    row >> word >> value >> unit_word;
    EXPECT_EQ(unit_word, unit);
    auto& item = items[std::string(name)];
    EXPECT_EQ(item["unit"], unit);
    const double expected = kFromInput.count(name) ? kFromInput.at(name)
                            : name == "J_3"        ? 350.0
                                                   : params::find_param(name)->built_in.value();
    EXPECT_EQ(item["value"], expected);
    if (name != "J_3") {
      EXPECT_EQ(std::strtod(value.c_str(), nullptr), expected);
    }
  }
  EXPECT_EQ(listing(dir.path()), before);
  // Without dani.dat the values it would supply are unknown, and none is created.
  for (const auto& item :
       nlohmann::json::parse(run_liftsim(empty.path(), {"params", "--json"}).out))
    EXPECT_EQ(item.at("value").is_null(),
              kFromInput.count(item.at("name").get<std::string>()) == 1);
  const RunResult help = run_liftsim(empty.path(), {"--help"});
  EXPECT_TRUE(help.out.starts_with("Usage: liftsim")) << help.out;
  for (const char* name : {"m_4", "zc_4", "--set", "--params", "--road", "--max-restarts"})
    EXPECT_NE(help.out.find(name), std::string::npos) << name;
  EXPECT_TRUE(fs::is_empty(empty.path()));
}

// Whether wall-clock bounds mean anything in this build (not under sanitizers or without
// optimisation).
#ifndef LIFTSIM_TIMING_MEANINGFUL
#define LIFTSIM_TIMING_MEANINGFUL 1
#endif

// A load of 70 kg at 0.5 m: the step control fails again and again near t = 6.1 s, each restart
// advancing by microseconds. The default limit, then a tighter one, which ends the run no later:
// the stall report, and every record written so far kept, one per progress line in each time
// history. Without a limit the run is still restarting three times as long later.
TEST(Restarts, StuckRunEndsWithReportAndRecordsKeptUnlessTheLimitIsOff) {
  std::vector<std::size_t> legs;
  double limited_seconds = 0;
  for (const std::string limit : {"", "3", "0"}) {
    SCOPED_TRACE(limit);
    TempDir dir;
    write_file(dir / "dani.dat", replace_record(example_input(), 6, "  70.0000"));
    std::vector<std::string> args;
    if (!limit.empty()) args = {"--max-restarts", limit};
    const auto start = Clock::now();
    const auto timeout = std::chrono::milliseconds(
        limit == "0" ? int(std::max(3.0, 3 * limited_seconds) * 1000) : 120'000);
    const RunResult r = Started(dir.path(), args, {}).wait(timeout);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string report = read_file(dir / "result.rez");
    legs.push_back(count(report, "ihlf=11\r\n"));
    if (limit == "0") {
      EXPECT_TRUE(r.timed_out) << "ended with status " << r.exit_status << ": " << r.err;
      EXPECT_GT(legs[2], legs[0]);
      break;
    }
    if (limit.empty()) limited_seconds = seconds;
    ASSERT_FALSE(r.timed_out);
    if (LIFTSIM_TIMING_MEANINGFUL) {
      EXPECT_LT(seconds, 10.0);
    }
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(r.err.starts_with("\r\nrun-time error M6110: MATH\r\n- integration stalled: "))
        << r.err;
    EXPECT_EQ(count(r.err, "\r\n"), 3u) << r.err;
    const std::size_t progress_lines = count(r.out, "\r\n");
    EXPECT_GT(progress_lines, 10u);
    EXPECT_EQ(listing(dir.path()).size(), run_file_names().size());
    for (const auto& name : run_file_names()) {
      if (is_history(name)) {
        EXPECT_EQ(count(read_file(dir / name), "\r\n"), progress_lines) << name;
      }
    }
    // The report shows the legs that ended early; the last one ended where the run ended.
    EXPECT_GE(legs.back(), 3u);
    const std::size_t last = report.rfind("ypop(15)="), at = r.err.find("last output at t = ");
    ASSERT_TRUE(last != std::string::npos && at != std::string::npos);
    const double t_message = std::strtod(r.err.c_str() + at + 19, nullptr);
    EXPECT_NEAR(std::strtod(report.c_str() + last + 9, nullptr), t_message, 1e-4 * t_message);
  }
  EXPECT_LE(legs[1], legs[0]);
}

// Standard error of a run in a folder holding `input`, written to a terminal.
std::string stderr_on_terminal(const std::string& input, const std::vector<std::string>& args) {
  TempDir dir;
  write_file(dir / "dani.dat", input);
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return "(no terminal)";
  const std::string slave = ::ptsname(master);
  std::string exe = std::getenv("LIFTSIM_EXE");
  std::vector<char*> argv{exe.data()};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int tty = ::open(slave.c_str(), O_RDWR | O_NOCTTY), null = ::open("/dev/null", O_RDWR);
    if (tty < 0 || null < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::dup2(null, 0), ::dup2(null, 1), ::dup2(tty, 2), ::close(master);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) text.append(buf, n);
  ::waitpid(pid, nullptr, 0);
  ::close(master);
  return text;
}

// Warnings about input that reads surprisingly or that the run does not use: one line each on
// standard error with --warn or on a terminal, none with --quiet or the value set by name, and none
// when standard error is not a terminal, so that a plain run's standard error stays as it was. A
// value dani.dat holds for a built-in parameter leaves the default run to the byte.
TEST(Warnings, PointAtInputThatReadsSurprisinglyOrIsNotUsed) {
  const std::string torque =
      "liftsim: warning: dani.dat record 30 holds M_eng = 55; the run uses the built-in 0 (to use "
      "the file's value: --set M_eng=55)\n";
  const std::string implied =
      "liftsim: warning: dani.dat record 6: '1000' has no decimal point, so the field's implied "
      "one makes m_4 = 0.1 (write it with a point, e.g. '1000.', to mean 1000)\n"
      "liftsim: warning: load mass m_4 = 0.1 kg is below 1 kg; the run will end at its first "
      "output point (the analytic wheel load divides by the whole kilograms of the load)\n";
  const std::string divide =
      "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n";
  enum Check { kDefaultRun, kStderrOnly, kOnTerminal };
  const struct {
    int record;  // 0: the example as it is
    std::string text;
    std::vector<std::string> args;
    std::string err;
    Check check = kDefaultRun;
  } cases[] = {
      {0, "", {"--warn"}, ""},  // the example's values are the built-in ones as written
      {30, "  55.0000   M_eng", {}, ""},
      {30, "  55.0000   M_eng", {"--warn"}, torque},
      {30, "  55.0000   M_eng", {"--warn", "--quiet"}, ""},
      {30, "  55.0000   M_eng", {"--warn", "--set", "M_eng=55"}, "", kStderrOnly},
      {30, "  55.0000   M_eng", {}, torque, kOnTerminal},
      {30, "  55.0000   M_eng", {"--quiet"}, "", kOnTerminal},
      {6, "     1000", {"--warn"}, implied + divide, kStderrOnly},
      {6, "     1000", {"--warn", "--quiet"}, divide, kStderrOnly},
      {6, "     1000", {}, divide, kStderrOnly},
      // a pair with a comma and a CR LF line end: the second field is what follows the comma
      {10,
       "0.6,50000\r",
       {"--warn"},
       "liftsim: warning: dani.dat record 10: '50000' has no decimal point, so the field's "
       "implied one makes zc_4 = 0.5 (write it with a point, e.g. '50000.', to mean 50000)\n",
       kStderrOnly},
      {7,
       "   0.08000   0.82500",
       {"--warn"},
       "liftsim: warning: dani.dat record 7 holds xc_1 = 0.08; the run uses the built-in 0.07 (to "
       "use the file's value: --set xc_1=0.08)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + ::testing::PrintToString(c.args));
    const std::string input =
        c.record ? replace_record(example_input(), c.record, c.text) : example_input();
    if (c.check == kOnTerminal) {
      std::string err = c.err;
      if (!err.empty()) err.insert(err.size() - 1, "\r");
      EXPECT_EQ(stderr_on_terminal(input, c.args), err);
      continue;
    }
    Outcome o = run_input(input, c.args);
    EXPECT_EQ(o.run.err, c.err);
    if (c.check == kStderrOnly) continue;
    o.run.err = "";
    o.files["dani.dat"] = example_input();
    expect_same(o, example_run());
  }
}

}  // namespace
}  // namespace liftsim::testing
