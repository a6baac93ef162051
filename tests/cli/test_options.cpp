// The run's options end to end on the built executable: values set by name against edited input
// files, parameter files, refused values that leave the folder untouched, the parameter listing,
// restarts that stop making progress, and warnings about ignored input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "params/reference.h"
#include "support/e2e.h"
#include "support/sha256.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What a run leaves: its status, standard output and error, and every file of its folder.
struct Outcome {
  RunResult run;
  std::map<std::string, std::string> files;
  double seconds = 0.0;
};

std::map<std::string, std::string> folder_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    files[e.path().filename().string()] = read_file(e.path());
  }
  return files;
}

Outcome run_in(const fs::path& dir, const std::vector<std::string>& args) {
  const auto start = Clock::now();
  RunResult r = run_liftsim(dir, args);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return {std::move(r), folder_files(dir), seconds};
}

Outcome run_input(const std::string& input, const std::vector<std::string>& args = {}) {
  TempDir dir;
  write_file(dir / "dani.dat", input);
  return run_in(dir.path(), args);
}

std::string with_records(std::string input, const std::vector<std::pair<int, std::string>>& recs) {
  for (const auto& [n, text] : recs) input = replace_record(input, n, text);
  return input;
}

const Outcome& example_run() {
  static const Outcome run = run_input(example_input());
  return run;
}

bool is_history(const std::string& name) {
  return name != "dani.dat" && name != "result.rez" && name != "statica.dat";
}

// Same status, standard output and error, and the same files with the same bytes; the input
// itself only when `with_input`.
void expect_same(const Outcome& got, const Outcome& want, bool with_input = false) {
  EXPECT_EQ(got.run.exit_status, want.run.exit_status);
  EXPECT_TRUE(got.run.out == want.run.out) << "standard output differs";
  EXPECT_EQ(got.run.err, want.run.err);
  std::set<std::string> names;
  for (const auto& [name, bytes] : got.files) names.insert(name);
  for (const auto& [name, bytes] : want.files) names.insert(name);
  for (const std::string& name : names) {
    if (name == "dani.dat" && !with_input) continue;
    const auto a = got.files.find(name), b = want.files.find(name);
    if (a == got.files.end() || b == want.files.end()) {
      ADD_FAILURE() << name << " is in one run's folder only";
    } else if (a->second != b->second) {
      ADD_FAILURE() << name << " differs (" << a->second.size() << " and " << b->second.size()
                    << " bytes)";
    }
  }
}

std::string text_of(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", value);
  return buf;
}

// ---------------------------------------------------------------------------------------------
// --set and --params

// For the values dani.dat supplies, `--set` is the same as writing the value into the file.
TEST(SetByName, SameBytesAsAnEditedInput) {
  const struct {
    const char* set;
    int record;
    const char* text;
  } cases[] = {
      {"m_4=1234.5", 6, "1234.5000"},
      {"m_4=0.5", 6, "   0.5000"},  // both end with the load-mass fault at the first output
      {"zc_4=0.75", 10, "   0.60000   0.75000"},
      {"xc_4=0.45", 10, "   0.45000   0.50000"},
      {"xp_1=-0.7", 38, "  -0.7000"},
      {"zp_1=1.25", 39, "   1.2500"},
      {"xp_2=-1.5", 40, "  -1.5000"},
      {"zp_2=0.6", 41, "   0.6000"},
      {"xp_3=-0.35", 42, "  -0.3500"},
      {"zp_3=2.1", 43, "   2.1000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    const Outcome edited = run_input(with_records(example_input(), {{c.record, c.text}}));
    const Outcome set = run_input(example_input(), {"--set", c.set});
    expect_same(set, edited);
    EXPECT_EQ(set.files.at("dani.dat"), example_input()) << "the input is only read";
    int changed = 0;
    for (const auto& [name, bytes] : example_run().files) changed += edited.files.at(name) != bytes;
    EXPECT_GT(changed, 1) << "the edit changed the input alone";
  }
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

// For built-in values, from every report block and the run control: the echo shows the value set
// as its field formats it, the value reaches the model (or, for values the model does not use,
// nothing else changes), and setting the built-in value itself changes nothing.
TEST(SetByName, BuiltInValuesEchoedAndUsed) {
  const struct {
    const char* name;
    const char* value;
    const char* before;  // the echo line of a default run; empty: the value is not echoed
    const char* after;
    bool used;  // reaches the model (the time histories change)
  } cases[] = {
      {"m_1", "250.125", "МАСА ВАНТАЖОПІДЙОМНИКА  210.0000", "МАСА ВАНТАЖОПІДЙОМНИКА  250.1250",
       true},
      {"xc_2", "0.04567", "КАРЕТКИ     .0300    .8250", "КАРЕТКИ     .0457    .8250", true},
      {"J_3", "333.33333", "КОРПУСА  300.0000", "КОРПУСА  333.3333", true},
      {"J_tk", "1850", "ВАЛУ ТЯГОВОГО КОЛЕСА  .17670E+04", "ВАЛУ ТЯГОВОГО КОЛЕСА  .18500E+04",
       true},
      {"c_kr", "412346", "ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ   .37800E+06",
       "ЖОРСТКІСТЬ КЕРОВАНИХ КОЛІС В РАДІАЛЬНОМУ НАПРЯМКУ   .41235E+06", true},
      {"R_k", "0.38", "РАДІУС КЕРОВАНОГО КОЛЕСА     .4010", "РАДІУС КЕРОВАНОГО КОЛЕСА     .3800",
       true},
      {"f_t", "0.02", "КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС     .0120",
       "КОЕФІЦІЄНТ ТЕРТЯ КОЧЕНЯ ТЯГОВИХ КОЛІС     .0200", true},
      {"zh_3", "0.41", "КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА    -.2530    .3800",
       "КООРДИНАТИ ТОЧКИ КРІПЛЕННЯ ГІДРОЦИЛІНДРІВ ДО КОРПУСА    -.2530    .4100", true},
      {"c_lift", "150000", "ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ   .12000E+06",
       "ЖОРСТКІСТЬ НА РОЗТЯГ-СТИСК ГІДРОЦИЛІНДРА І ЛАНЦЮГІВ   .15000E+06", true},
      {"L_b", "1.05", "БАЗОВА ВІДСТАНЬ МІЖ ОСЯМИ     .9000", "БАЗОВА ВІДСТАНЬ МІЖ ОСЯМИ    1.0500",
       true},
      {"M_eng", "123.4", "МОМЕНТ ВІД ДВИГУНА     .0000", "МОМЕНТ ВІД ДВИГУНА  123.4000", false},
      {"f_fr", "0.3", "КОЕФІЦІЄНТ ТЕРТЯ     .1500", "КОЕФІЦІЄНТ ТЕРТЯ     .3000", true},
      {"eps", "0.002", "ТОЧНІСТЬ     .0010", "ТОЧНІСТЬ     .0020", false},
      {"t_start", "1", "ПОЧАТКОВИЙ МОМЕНТ ЧАСУ     .0000", "ПОЧАТКОВИЙ МОМЕНТ ЧАСУ    1.0000",
       true},
      {"t_end", "5", "КІНЦЕВИЙ МОМЕНТ ЧАСУ   10.0000", "КІНЦЕВИЙ МОМЕНТ ЧАСУ    5.0000", true},
      {"h_max", "0.0005", "МАКСИМАЛЬНИЙ КРОК ІНТЕГРУВАННЯ     .0010",
       "МАКСИМАЛЬНИЙ КРОК ІНТЕГРУВАННЯ     .0005", true},
      {"tol", "0.0004", "ТОЧНІСТЬ ІНТЕГРУВАННЯ     .0040", "ТОЧНІСТЬ ІНТЕГРУВАННЯ     .0004", true},
      {"g", "9.7", "", "", true},
      {"eta_tr", "0.7", "", "", true},
  };
  const Outcome& plain = example_run();
  const std::string plain_echo = echo_of(plain.files.at("result.rez"));
  ASSERT_EQ(plain.run.exit_status, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome set = run_input(example_input(), {"--set", std::string(c.name) + "=" + c.value});
    EXPECT_EQ(set.run.exit_status, 0);
    EXPECT_EQ(set.run.err, "");

    std::string echo = plain_echo;
    if (*c.before != '\0') {
      const std::string before = cp1251(c.before) + "\r\n", after = cp1251(c.after) + "\r\n";
      const std::size_t at = echo.find(before);
      ASSERT_NE(at, std::string::npos);
      ASSERT_EQ(echo.find(before, at + 1), std::string::npos);
      echo.replace(at, before.size(), after);
    }
    EXPECT_EQ(echo_of(set.files.at("result.rez")), echo);

    int changed = 0;
    for (const auto& [name, bytes] : plain.files) {
      if (is_history(name)) changed += set.files.at(name) != bytes;
    }
    if (c.used) {
      EXPECT_GT(changed, 0) << "the value did not reach the run";
    } else {
      EXPECT_EQ(changed, 0);
      EXPECT_EQ(set.run.out, plain.run.out);
      EXPECT_EQ(set.files.at("result.rez").substr(echo.size()),
                plain.files.at("result.rez").substr(echo.size()));
    }

    // The built-in value itself, written out in full: a default run to the byte.
    std::string built_in;
    for (const auto& ref : reference_params()) {
      if (ref.name == c.name) built_in = text_of(ref.built_in.value());
    }
    expect_same(run_input(example_input(), {"--set", std::string(c.name) + "=" + built_in}), plain,
                true);
  }
}

TEST(ParamsFile, SameAsSetAndSetWins) {
  TempDir files;
  write_file(files / "case.toml",
             "# a lighter load, higher, on a softer lift\n"
             "m_4 = 750.25\n"
             "zc_4 = 0.75   # m\n"
             "c_lift = 100000\n"
             "t_end = 6\n");
  const std::string file = (files / "case.toml").string();
  const std::vector<std::string> sets{"--set", "m_4=750.25", "--set", "zc_4=0.75",
                                      "--set", "c_lift=1e5", "--set", "t_end=6"};
  const Outcome from_file = run_input(example_input(), {"--params", file});
  EXPECT_EQ(from_file.run.exit_status, 0);
  expect_same(from_file, run_input(example_input(), sets), true);

  // --set wins over the file, wherever it stands on the command line.
  std::vector<std::string> later = sets;
  later[1] = "m_4=1234.5";
  const Outcome expected = run_input(example_input(), later);
  expect_same(run_input(example_input(), {"--params", file, "--set", "m_4=1234.5"}), expected,
              true);
  expect_same(run_input(example_input(), {"--set", "m_4=1234.5", "--params", file}), expected,
              true);
}

// A profile of zero heights is the flat road to the byte; a bump under the wheels changes the run
// from the statics on.
TEST(RoadOption, ZeroProfileIsFlatAndABumpIsFelt) {
  TempDir files;
  write_file(files / "flat.csv", "x [m],z [m]\n-5,0\n0,0\n20,0\n");
  write_file(files / "bump.csv", "x,z\n-5,0.02\n-0.5,0.02\n-0.4,0.05\n0.5,0.05\n0.6,0\n");
  const Outcome& plain = example_run();
  expect_same(run_input(example_input(), {"--road", (files / "flat.csv").string()}), plain, true);
  const Outcome bump = run_input(example_input(), {"--road", (files / "bump.csv").string()});
  EXPECT_EQ(bump.run.exit_status, 0) << bump.run.err;
  const std::string& report = bump.files.at("result.rez");
  const std::size_t echo = echo_of(report).size();
  EXPECT_EQ(report.substr(0, echo), echo_of(plain.files.at("result.rez")));
  EXPECT_TRUE(report.substr(echo) != plain.files.at("result.rez").substr(echo)) << "statics";
  EXPECT_TRUE(bump.files.at("z_013.rez") != plain.files.at("z_013.rez"));
}

// ---------------------------------------------------------------------------------------------
// Refused values

// Name, size, inode and modification time of every entry.
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

// Gives every file a modification time long past, so that any write shows.
void age(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir)) {
    const timespec times[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
    ::utimensat(AT_FDCWD, e.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
}

// Every refusal is a usage error before anything runs: status 2, a message naming the parameter,
// the value and the allowed range (or the file and line), nothing on standard output, and a folder
// holding a finished run's files exactly as it was.
TEST(RefusedValues, UsageErrorAndFolderUntouched) {
  TempDir run_dir, inputs;
  write_file(run_dir / "dani.dat", example_input());
  ASSERT_EQ(run_liftsim(run_dir.path()).exit_status, 0);
  age(run_dir.path());
  const auto before = listing(run_dir.path());
  ASSERT_EQ(before.size(), run_file_names().size());

  const struct {
    std::vector<std::string> args;
    std::string file;  // written to inputs/<name> and passed by its full path where "@" stands
    std::vector<std::string> fragments;
  } cases[] = {
      {{"--set", "m4=100"}, "", {"unknown parameter 'm4'", "m_4"}},
      {{"--set", "m_4=heavy"}, "", {"m_4", "'heavy'", "not a number"}},
      {{"--set", "zc_4=inf"}, "", {"zc_4", "'inf'", "not a finite number"}},
      {{"--set", "m_4=1e400"}, "", {"m_4", "not a finite number"}},
      {{"--set", "m_4=0"}, "", {"value 0 for m_4", "> 0", "kg"}},
      {{"--set", "f_fr=-0.15"}, "", {"f_fr", "-0.15", ">= 0"}},
      {{"--set", "eta_tr=1.5"}, "", {"eta_tr", "1.5", "<= 1"}},
      {{"--set", "t_end=0"}, "", {"t_end = 0", "t_start = 0"}},
      {{"--set", "t_start=3", "--set", "t_end=2"}, "", {"t_end = 2", "t_start = 3"}},
      {{"--set", "stop=1"}, "", {"stop", "cannot be set"}},
      {{"--set", "m_4"}, "", {"'m_4'", "NAME=VALUE"}},
      {{"--set", "m_4=100", "--set", "J_3=-1"}, "", {"J_3", "-1", "> 0"}},
      {{"--params", "@"}, "m_4 = 100\nzc_4 = -inf\n", {"case.toml:2: ", "zc_4", "not a finite"}},
      {{"--params", "@"}, "m_4 = 100\n\nJ_3 = 0\n", {"case.toml:3: ", "J_3", "> 0"}},
      {{"--params", "@"}, "load = 100\n", {"case.toml:1: ", "unknown parameter 'load'"}},
      {{"--params", "@"}, "m_4 = = 1\n", {"case.toml:1"}},
      {{"--params", "/nonexistent/case.toml"}, "", {"/nonexistent/case.toml"}},
      {{"--road", "@"}, "x,z\n0,0\n2,0.1\n1,0\n", {"road.csv:4: ", "increase"}},
      {{"--road", "@"}, "0,0\n1,nan\n", {"road.csv:2: ", "finite"}},
      {{"--road", "@"}, "0,0\n", {"road.csv", "at least two points"}},
      {{"--road", "@"}, "0,0\n1;0.1\n", {"road.csv:2: "}},
      {{"--road", "/nonexistent/road.csv"}, "", {"/nonexistent/road.csv"}},
      {{"--max-restarts", "-1"}, "", {"--max-restarts"}},
      {{"--max-restarts", "many"}, "", {"--max-restarts"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
      if (a != "@") continue;
      a = (inputs / (args.front() == "--road" ? "road.csv" : "case.toml")).string();
      write_file(a, c.file);
    }
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = run_liftsim(run_dir.path(), args);
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("liftsim: ", 0), 0u) << r.err;
    for (const std::string& f : c.fragments) {
      EXPECT_NE(r.err.find(f), std::string::npos) << r.err;
    }
    EXPECT_EQ(listing(run_dir.path()), before);
  }
}

// ---------------------------------------------------------------------------------------------
// liftsim params

const std::map<std::string_view, double> kExampleValues{
    {"m_4", 1000.0}, {"xc_4", 0.6}, {"zc_4", 0.5},  {"xp_1", -0.8}, {"zp_1", 1.1},
    {"xp_2", -1.6},  {"zp_2", 0.5}, {"xp_3", -0.4}, {"zp_3", 2.0}};

TEST(ParamsCommand, ListsEveryNameWithUnitAndValue) {
  TempDir dir;
  write_file(dir / "dani.dat", example_input());
  age(dir.path());
  const auto before = listing(dir.path());

  const RunResult text = run_liftsim(dir.path(), {"params"});
  EXPECT_EQ(text.exit_status, 0);
  EXPECT_EQ(text.err, "");
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream lines(text.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
    if (!w.empty()) rows[w[0]] = w;
  }
  for (const auto& ref : reference_params()) {
    SCOPED_TRACE(ref.name);
    const auto& w = rows[std::string(ref.name)];
    ASSERT_GE(w.size(), 3u);
    EXPECT_EQ(std::strtod(w[1].c_str(), nullptr),
              ref.built_in ? *ref.built_in : kExampleValues.at(ref.name));
    EXPECT_EQ(w[2], ref.unit);
  }

  const RunResult json = run_liftsim(dir.path(), {"params", "--json"});
  EXPECT_EQ(json.exit_status, 0);
  const auto list = nlohmann::json::parse(json.out);
  ASSERT_TRUE(list.is_array());
  std::set<std::string> listed;
  for (const auto& item : list) listed.insert(item.at("name").get<std::string>());
  for (const auto& ref : reference_params()) {
    SCOPED_TRACE(ref.name);
    ASSERT_EQ(listed.count(std::string(ref.name)), 1u);
    for (const auto& item : list) {
      if (item.at("name") != ref.name) continue;
      EXPECT_EQ(item.at("unit"), ref.unit);
      EXPECT_EQ(item.at("value").get<double>(),
                ref.built_in ? *ref.built_in : kExampleValues.at(ref.name));
      if (ref.built_in) {
        EXPECT_EQ(item.at("built_in").get<double>(), *ref.built_in);
      } else {
        EXPECT_TRUE(item.at("built_in").is_null());
      }
      EXPECT_EQ(item.at("record").is_null() ? 0 : item.at("record").get<int>(), ref.record);
    }
  }

  // A value set by name is listed as used; a refused one is a usage error.
  const RunResult set = run_liftsim(dir.path(), {"params", "--json", "--set", "J_3=350"});
  for (const auto& item : nlohmann::json::parse(set.out)) {
    if (item.at("name") == "J_3") {
      EXPECT_EQ(item.at("value").get<double>(), 350.0);
    }
  }
  EXPECT_EQ(run_liftsim(dir.path(), {"params", "--set", "J_3=0"}).exit_status, 2);
  EXPECT_EQ(listing(dir.path()), before) << "listing reads dani.dat, writes nothing";

  // Without dani.dat the values it would supply are unknown, and none is created.
  TempDir empty;
  const RunResult bare = run_liftsim(empty.path(), {"params", "--json"});
  EXPECT_EQ(bare.exit_status, 0);
  for (const auto& item : nlohmann::json::parse(bare.out)) {
    EXPECT_EQ(item.at("value").is_null(), item.at("built_in").is_null()) << item.at("name");
  }
  EXPECT_TRUE(fs::is_empty(empty.path()));
}

TEST(ParamsCommand, HelpNamesTheInputValuesARunUses) {
  TempDir dir;
  const RunResult help = run_liftsim(dir.path(), {"--help"});
  EXPECT_EQ(help.exit_status, 0);
  for (const char* name : {"m_4", "zc_4", "--set", "--params", "--road", "--max-restarts"}) {
    EXPECT_NE(help.out.find(name), std::string::npos) << name;
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ---------------------------------------------------------------------------------------------
// Restarts

// Lines of a record file (CR LF each).
std::size_t records_in(const std::string& bytes) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 2) ++n;
  return n;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

// A load of 70 kg at 0.5 m: the step control fails again and again near t = 6.1 s, each restart
// advancing by microseconds. Without a limit it runs for hours and fills the disk.
std::string stuck_input() {
  return replace_record(example_input(), 6, "  70.0000");
}

// Whether wall-clock bounds mean anything in this build (not under sanitizers or without
// optimisation).
#ifndef LIFTSIM_TIMING_MEANINGFUL
#define LIFTSIM_TIMING_MEANINGFUL 1
#endif

TEST(Restarts, StuckRunEndsWithReportAndRecordsKept) {
  // The default limit, then a tighter one, which ends the run no later.
  const std::vector<std::string> cases[] = {{}, {"--max-restarts", "3"}};
  std::vector<std::size_t> legs;
  for (const auto& args : cases) {
    const std::string label = args.empty() ? "default" : args[0] + " " + args[1];
    SCOPED_TRACE(label);
    TempDir dir;
    write_file(dir / "dani.dat", stuck_input());
    const auto start = Clock::now();
    Started started(dir.path(), args, {});
    const RunResult r = started.wait(std::chrono::seconds(120));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ASSERT_FALSE(r.timed_out);
    if (LIFTSIM_TIMING_MEANINGFUL) {
      EXPECT_LT(seconds, 10.0);
    }
    std::printf("stuck run, %s limit: %.2f s\n", label.c_str(), seconds);

    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err.rfind("\r\nrun-time error M6110: MATH\r\n- integration stalled: ", 0), 0u)
        << r.err;
    EXPECT_EQ(count(r.err, "\r\n"), 3u) << r.err;
    EXPECT_EQ(r.out.find("Stop"), std::string::npos);

    // Every record written so far stays: each time history holds one per progress line.
    const auto files = folder_files(dir.path());
    EXPECT_EQ(files.size(), run_file_names().size());
    const std::size_t progress_lines = count(r.out, "\r\n");
    EXPECT_GT(progress_lines, 10u);
    for (const auto& [name, bytes] : files) {
      if (is_history(name)) {
        EXPECT_EQ(records_in(bytes), progress_lines) << name;
      }
    }
    // The report shows the legs that ended early; the last one ended where the run ended.
    const std::string& report = files.at("result.rez");
    legs.push_back(count(report, "ihlf=11\r\n"));
    EXPECT_GE(legs.back(), 3u);
    const std::size_t last = report.rfind("ypop(15)=");
    ASSERT_NE(last, std::string::npos);
    const double t_report = std::strtod(report.c_str() + last + 9, nullptr);
    const std::size_t at = r.err.find("last output at t = ");
    ASSERT_NE(at, std::string::npos);
    const double t_message = std::strtod(r.err.c_str() + at + 19, nullptr);
    EXPECT_NEAR(t_report, t_message, 1e-4 * t_message);
    EXPECT_LT(t_message, 10.0);
  }
  ASSERT_EQ(legs.size(), 2u);
  EXPECT_LE(legs[1], legs[0]);
}

TEST(Restarts, NoLimitKeepsRestarting) {
  TempDir limited, unlimited;
  write_file(limited / "dani.dat", stuck_input());
  write_file(unlimited / "dani.dat", stuck_input());
  const auto start = Clock::now();
  ASSERT_EQ(run_liftsim(limited.path()).exit_status, 1);
  const auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const std::size_t legs_limited = count(read_file(limited / "result.rez"), "ihlf=11");

  // Three times as long as the limited run took, and at least three seconds: still running.
  Started started(unlimited.path(), {"--max-restarts", "0"}, {});
  const auto wait = std::chrono::milliseconds(static_cast<int>(std::max(3.0, 3 * seconds) * 1000));
  const RunResult r = started.wait(wait);
  EXPECT_TRUE(r.timed_out) << "ended with status " << r.exit_status << ": " << r.err;
  EXPECT_GT(count(read_file(unlimited / "result.rez"), "ihlf=11"), legs_limited);
}

// Combined digest of everything a run leaves but its input, in a fixed order.
std::string digest(const Outcome& o) {
  std::string all;
  auto part = [&all](const std::string& name, const std::string& bytes) {
    all += name + "\n" + std::to_string(bytes.size()) + "\n" + bytes;
  };
  for (const std::string& name : run_file_names()) {
    if (name != "dani.dat") part(name, o.files.count(name) ? o.files.at(name) : "(missing)");
  }
  part("stdout", o.run.out);
  part("stderr", o.run.err);
  return sha256_hex(all + "status " + std::to_string(o.run.exit_status));
}

// Runs that reach their end time through many restarts, some in quick succession, keep every byte
// they wrote before restarts had a limit (digests recorded from that program).
TEST(Restarts, RunsThatFinishThroughRestartsUnchanged) {
  const struct {
    const char* m_4;
    const char* zc_4;
    std::size_t restarts;
    const char* digest;
  } cases[] = {
      {" 150.0000", "   0.60000   0.50000", 22,
       "ab5d2b9f0f2d9ea260ab3d33a06d4238f5de12c1ea4aab59eb5859e340ebb11c"},
      // 16 restarts in a row advance less than a millisecond each
      {"   1.0000", "   0.60000   0.25000", 29,
       "49b66cfd1a98d990c9013f57a9633fd3a462b0b45c590c9d3a0e1c4a6878b77d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.m_4);
    const Outcome o = run_input(with_records(example_input(), {{6, c.m_4}, {10, c.zc_4}}));
    EXPECT_EQ(o.run.exit_status, 0) << o.run.err;
    EXPECT_EQ(count(o.files.at("result.rez"), "ihlf=11\r\n"), c.restarts);
    EXPECT_EQ(digest(o), c.digest);
  }
}

// ---------------------------------------------------------------------------------------------
// Warnings

// Standard error of `args` in a folder holding `input`, as a terminal would show it.
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
    const int tty = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
    const int null = ::open("/dev/null", O_RDWR);
    if (tty < 0 || null < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(tty, 2);
    ::close(master);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) text.append(buf, n);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  return text;
}

// A value dani.dat holds for a built-in parameter: one warning line with --warn or on a terminal,
// naming the record, the parameter, both values and the --set that would use the file's value;
// nothing with --quiet, with the value set by name, or on a plain run's standard error. The run
// itself is the default run in every case.
TEST(Warnings, IgnoredEngineTorque) {
  const std::string input = replace_record(example_input(), 30, "  55.0000   M_eng");
  const std::string line =
      "liftsim: warning: dani.dat record 30 holds M_eng = 55; the run uses the built-in 0 (to use "
      "the file's value: --set M_eng=55)\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
    bool default_run;  // otherwise the report echoes the value set
  } cases[] = {
      {{"--warn"}, line, true},
      {{"--warn", "--quiet"}, "", true},
      {{"--quiet"}, "", true},
      {{}, "", true},
      {{"--warn", "--set", "M_eng=55"}, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Outcome o = run_input(input, c.args);
    EXPECT_EQ(o.run.err, c.err);
    Outcome expected = example_run();
    expected.run.err = c.err;
    if (c.default_run) expect_same(o, expected);
  }
  const std::string tty = stderr_on_terminal(input, {});
  EXPECT_NE(tty.find("warning: dani.dat record 30 holds M_eng = 55"), std::string::npos) << tty;
  EXPECT_EQ(count(tty, "warning:"), 1u);
  EXPECT_EQ(stderr_on_terminal(input, {"--quiet"}), "");
}

}  // namespace
}  // namespace liftsim::testing
