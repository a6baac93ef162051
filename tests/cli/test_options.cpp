// The run's options end to end: --set, --params, --road, usage errors, params, limits, warnings.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "params/table.h"
#include "support/e2e.h"
#include "textio/codepage.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

// What a run leaves: its status, standard output and error, and every file of its folder.
struct Outcome {
  RunResult run;
  std::map<std::string, std::string> files;
};

Outcome run_input(const std::string& input, const Args& args = {}) {
  CaseDir dir(input);
  return {run_liftsim(dir.path(), args), files_in(dir.path())};  // in this order
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
  return report.substr(0, past(report, "\r\n\r\n", 10));
}

// `--set` writes what the same value edited into dani.dat writes (a built-in one: its echo line, and
// the model sees it if it uses it); setting the built-in value itself changes nothing.
TEST(SetByName, SameBytesAsAnEditedInput) {
  const struct {
    const char* name;
    const char* value;
    const char* before;  // record number and text for dani.dat; or the echo line before and after
    const char* after;
    bool used = true;  // the value reaches the model (the time histories change)
  } cases[] = {
      {"m_4", "1234.5", "6", "1234.5000"},
      {"zc_4", "0.75", "10", "   0.60000   0.75000"},
      {"m_1", "250.125", "МАСА ВАНТАЖОПІДЙОМНИКА  210.0000", "МАСА ВАНТАЖОПІДЙОМНИКА  250.1250"},
      {"J_tk", "1850", "ВАЛУ ТЯГОВОГО КОЛЕСА  .17670E+04", "ВАЛУ ТЯГОВОГО КОЛЕСА  .18500E+04"},
      {"M_eng", "123.4", "МОМЕНТ ВІД ДВИГУНА     .0000", "МОМЕНТ ВІД ДВИГУНА  123.4000", false},
      {"t_end", "5", "КІНЦЕВИЙ МОМЕНТ ЧАСУ   10.0000", "КІНЦЕВИЙ МОМЕНТ ЧАСУ    5.0000"},
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
    if (std::isdigit(static_cast<unsigned char>(*c.before))) {
      Outcome edited = run_input(replace_record(example_input(), std::atoi(c.before), c.after));
      EXPECT_GT(changed(edited, false), 1) << "the edit changed the input alone";
      edited.files["dani.dat"] = example_input();  // the input is only read
      expect_same(set, edited);
      continue;
    }
    EXPECT_TRUE(set.run.exit_status == 0 && set.run.err.empty()) << set.run.err;
    std::string echo = echo_of(plain.files.at("result.rez"));
    if (*c.before != '\0') {
      const std::string before = textio::to_cp1251(c.before) + "\r\n";
      ASSERT_EQ(count(echo, before), 1u);
      echo.replace(echo.find(before), before.size(), textio::to_cp1251(c.after) + "\r\n");
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

// A parameter file (comments, CR LF, exponents, '_' grouping) sets what --set sets; --set wins.
TEST(ParamsFile, SameAsSetAndSetWins) {
  TempDir files;
  const std::string file = files / "case.toml";
  write_file(file,
             "# a lighter load, higher\nm_4 = 750.25\nzc_4 = 0.75   # m\r\nt_end = 6\n\n"
             "xp_1 = -8e-1\nm_1 = 1_000.25\n");
  Args sets;
  for (const char* set : {"m_4=750.25", "zc_4=0.75", "t_end=6", "xp_1=-0.8", "m_1=1000.25"})
    sets = sets + Args{"--set", set};
  const Outcome from_file = run_input(example_input(), {"--params", file});
  EXPECT_EQ(from_file.run.exit_status, 0);
  expect_same(from_file, run_input(example_input(), sets));
  // --set wins over the file, wherever it stands on the command line.
  sets[1] = "m_4=1234.5";
  const Outcome expected = run_input(example_input(), sets);
  expect_same(run_input(example_input(), {"--params", file, "--set", "m_4=1234.5"}), expected);
  expect_same(run_input(example_input(), {"--set", "m_4=1234.5", "--params", file}), expected);
}

// A profile of zero heights is the flat road to the byte; a bump changes it from the statics on.
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

// Answers go to standard output; a usage error is refused before anything runs, naming the fault
// with its arguments escaped. Either way a finished run's folder stays exactly as it was.
TEST(CommandLine, AnswersAndUsageErrorsTouchNoFile) {
  CaseDir run_dir;
  TempDir inputs;
  ASSERT_EQ(run_liftsim(run_dir.path()).exit_status, 0);
  const std::string cyrillic = "\xd0\x92\xd0\x90\xd0\x9d\xd0\xa2";
  const std::string unexpected = "liftsim: The following argument was not expected: ";
  const struct {
    Args args;
    std::string file;  // written to inputs/<name> and passed by its full path where "@" stands
    int status;
    std::vector<std::string> fragments;
  } cases[] = {
      // clang-format off
      {{"--help"}, "", 0, {"Usage: liftsim", "--set", "--params", "--road", "--max-restarts", "m_4"}},
      {{"--version"}, "", 0, {"liftsim "}},
      {{"params"}, "", 0, {"\nm_4 ", "dani.dat record 6"}},
      {{"--fast"}, "", 2, {"The following argument was not expected: --fast"}},
      {{"-C", "no/such/folder"}, "", 2, {"cannot run in folder 'no/such/folder': No such file"}},
      // whole lines: escaped, nothing else
      {{"\x1b]0;owned\x07"}, "", 2, {unexpected + "\\x1B]0;owned\\x07\n"}},
      {{"\x9b" "2J"}, "", 2, {unexpected + "\\x9B2J\n"}},
      {{"\xc2\x9b" "2J"}, "", 2, {unexpected + "\\xC2\\x9B2J\n"}},
      {{cyrillic}, "", 2, {unexpected + cyrillic + "\n"}},
      {{"-C", "no/\x1b[2J"}, "", 2, {"liftsim: cannot run in folder 'no/\\x1B[2J': No such file or directory\n"}},
      {{"--set", "m_4=0"}, "", 2, {"value 0 for m_4", "> 0", "kg"}},
      {{"--set", "t_start=3", "--set", "t_end=2"}, "", 2, {"t_end = 2", "t_start = 3"}},
      {{"params", "--set", "J_3=0"}, "", 2, {"J_3", "> 0"}},
      {{"--params", "@"}, "m_4 = 100\n\nJ_3 = 0\n", 2, {"case.toml:3: ", "J_3", "> 0"}},
      {{"--params", "/nonexistent/case.toml"}, "", 2, {"/nonexistent/case.toml"}},
      {{"--road", "@"}, "x,z\n0,0\n2,0.1\n1,0\n", 2, {"road.csv:4: ", "increase"}},
      {{"--road", "/nonexistent/road.csv"}, "", 2, {"/nonexistent/road.csv"}},
      {{"--max-restarts", "-1"}, "", 2, {"--max-restarts"}},
      {{"--work-limit", "-1"}, "", 2, {"--work-limit"}},
      {{"--model", "exact"}, "", 2, {"--model 'exact': use legacy or sound"}},
      // the checks of a run hold in every case of a sweep and a capacity chart, before any runs
      {{"sweep", "--vary", "t_end=-5,0,5"}, "", 2, {"t_end = -5 s must be later", "t_start = 0"}},
      {{"sweep", "--vary", "t_start=0,10,20"}, "", 2, {"t_end = 10 s", "t_start = 20 s"}},
      {{"capacity", "--vary", "zc_4=0", "--set", "t_end=-1"}, "", 2, {"t_end = -1 s"}},
      // every option holding a number reads it as --set does, naming option, value and forms
      {{"--set", "m_4=+-1"}, "", 2, {"value of m_4: '+-1' is not a number (digits with an optional sign"}},
      {{"--csv", "a.csv", "--grid", "0x10"}, "", 2, {"--grid: '0x10' is not a number (digits with"}},
      {{"--slide-limit", "1,5"}, "", 2, {"--slide-limit: '1,5' is not a number"}},
      {{"--lift-force", "inf"}, "", 2, {"--lift-force: 'inf' is not a number"}},
      {{"--max-restarts", "3.0"}, "", 2, {"--max-restarts: '3.0' is not a whole number (digits with an optional sign"}},
      {{"sweep", "--vary", "m_4=1", "-j", "0x2"}, "", 2, {"--jobs: '0x2' is not a whole number"}},
      {{"sweep", "--vary", "m_4=1:+-2:1"}, "", 2, {"--vary: 'm_4=1:+-2:1': '+-2' is not a number"}},
      {{"sweep", "--vary", "m_4=1", "--shard", "1/1e1"}, "", 2, {"--shard '1/1e1': '1e1' is not a whole number"}},
      {{"capacity", "--vary", "zc_4=0", "--mass", "1:1e999"}, "", 2, {"--mass: '1e999' is too large"}},
      {{"capacity", "--vary", "zc_4=0", "--resolution", "0x1p-1"}, "", 2, {"--resolution: '0x1p-1' is not a number"}},
      {{"merge", "a.csv", "-o", "b.csv", "--cases", "99999999999999999999"}, "", 2, {"--cases: '99999999999999999999' is out of range"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    Args args = c.args;
    for (std::string& a : args)
      if (a == "@")
        write_file(a = inputs / (args[0] == "--road" ? "road.csv" : "case.toml"), c.file);
    if (c.status == 2) {
      expect_refused(run_dir.path(), args, c.fragments);
      continue;
    }
    SCOPED_TRACE(::testing::PrintToString(args));
    const auto before = tree(run_dir.path(), true);
    const RunResult r = run_liftsim(run_dir.path(), args);
    EXPECT_TRUE(r.exit_status == 0 && r.err.empty()) << r.err;
    for (const std::string& f : c.fragments) EXPECT_NE(r.out.find(f), std::string::npos) << r.out;
    EXPECT_TRUE(tree(run_dir.path()) == before);
  }
  // A run-time report escapes a file name the same way.
  CaseDir dir;
  const std::string name = "\x1b[2J\r\n.csv";
  fs::create_symlink("/dev/full", dir / name);
  EXPECT_EQ(run_liftsim(dir.path(), {"-q", "--csv", name}).err,
            "\r\nrun-time error F6422: WRITE(\\x1B[2J\\x0D\\n.csv)\r\n- cannot write to "
            "\\x1B[2J\\x0D\\n.csv: No space left on device\r\n");
}

// The listing shows the value a run would use, with its unit; without dani.dat the file's values are
// unknown (none is created); an unreadable dani.dat is reported as a run reports it.
TEST(ParamsCommand, ListsTheValuesARunUses) {
  CaseDir dir(replace_record(example_input(), 6, "1234.5000"));
  TempDir empty;
  std::map<std::string, nlohmann::json> items;
  const Args sets = {"--set", "J_3=350", "--set", "R_t=0.401", "--set", "R_k=0.4009999930858612"};
  for (const auto& item :
       nlohmann::json::parse(run_liftsim(dir.path(), Args{"params", "--json"} + sets).out))
    items[item.at("name")] = item;
  EXPECT_EQ(items.size(), params::all_params().size());
  // A built-in single-precision constant is shown as the decimal it was written as, beside its
  // exact double; a value set by name or read is the double nearest its decimal, shown as such.
  const std::tuple<const char*, double, const char*, const char*, bool> expected[] = {
      {"m_4", 1234.5, "kg", "1234.5", false},
      {"zc_4", 0.5, "m", "0.5", false},
      {"J_3", 350.0, "kg*m^2", "350", false},
      {"g", 9.81f, "m/s^2", "9.81", true},
      {"R_t", 0.401, "m", "0.401", false},
      {"R_k", 0.401f, "m", "0.4009999930858612", false},
      {"J_4", 80.0, "kg*m^2", "80", false}};
  for (const auto& [name, value, unit, written, single] : expected) {
    const nlohmann::json& item = items[name];
    EXPECT_TRUE(item["value"] == value && item["unit"] == unit && item["written"] == written &&
                item["single_precision"] == single)
        << item;
  }
  const std::string text = run_liftsim(dir.path(), Args{"params"} + sets).out;
  for (const char* line : {"\ng        9.81 *        m/s^2 ", "\nR_t      0.401         m ",
                           "(xc_1 = 0.07 stands for 0.07000000029802322; --set xc_1=0.07 "})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  for (const auto& item :
       nlohmann::json::parse(run_liftsim(empty.path(), {"params", "--json"}).out))
    EXPECT_EQ(item.at("value").is_null(),
              !params::find_param(item.at("name").get<std::string>())->built_in);
  EXPECT_TRUE(fs::is_empty(empty.path()));
  CaseDir broken(replace_record(example_input(), 6, "12x4"));
  const RunResult refused = run_liftsim(broken.path(), {"params"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_NE(refused.err.find("run-time error F6103: READ(dani.dat)"), std::string::npos)
      << refused.err;
}

// Runs stuck in restarts (70 kg at 0.5 m) or inside one leg (h_max = 1e-300 s) end at the work
// limit with the stall report, every record kept; without a limit they go on. A run that ends by
// itself through 22 restarts (150 kg) is untouched by a limit it stays within.
TEST(WorkLimit, StuckRunsEndWithTheReportAndRecordsKeptRunsThatEndAreUntouched) {
  const struct {
    const char* what;
    std::string input;
    Args args;
  } stuck[] = {
      {"70 kg", replace_record(example_input(), 6, "  70.0000"), {}},
      {"h_max = 1e-300", example_input(), {"--set", "h_max=1e-300"}},
  };
  for (const auto& c : stuck) {
    SCOPED_TRACE(c.what);
    CaseDir dir(c.input);
    const RunResult r = run_liftsim(dir.path(), c.args + Args{"--work-limit", "200000"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(r.err.starts_with("\r\nrun-time error M6110: MATH\r\n- integration stalled: 2000"))
        << r.err;
    EXPECT_NE(r.err.find("the largest step is now"), std::string::npos) << r.err;
    EXPECT_EQ(count(r.err, "\r\n"), 3u) << r.err;
    const std::size_t progress_lines = count(r.out, "\r\n");
    EXPECT_GT(progress_lines, 0u);
    EXPECT_EQ(files_in(dir.path()).size(), run_file_names().size());
    for (const auto& name : run_file_names())
      EXPECT_TRUE(!is_history(name) || count(read_file(dir / name), "\r\n") == progress_lines)
          << name;
  }
  CaseDir unlimited(stuck[0].input);
  const RunResult r = Started(unlimited.path(), {"--work-limit", "0"}, {}).wait(std::chrono::seconds(3));
  EXPECT_TRUE(r.timed_out) << "ended with status " << r.exit_status << ": " << r.err;

  // The run through restarts needs N derivative calls: a limit of N leaves it alone, N/2 ends it.
  auto limited = [](const std::string& n) {
    CaseDir dir(replace_record(example_input(), 6, " 150.0000"));
    return Outcome{run_liftsim(dir.path(), {"--stats", "--work-limit", n}), files_in(dir.path())};
  };
  const Outcome free = limited("0");
  ASSERT_EQ(free.run.exit_status, 0) << free.run.err;
  EXPECT_EQ(count(free.files.at("result.rez"), "ihlf=11"), 22u);
  const long n = std::stol(free.run.err.substr(free.run.err.find("derivative calls ") + 17));
  expect_same(limited(std::to_string(n)), free);
  const RunResult half = limited(std::to_string(n / 2)).run;
  EXPECT_EQ(half.exit_status, 1);
  EXPECT_NE(half.err.find("M6110"), std::string::npos) << half.err;
}

// Standard error of a run on a terminal (given by util-linux's script; it ends lines in CR LF).
std::string stderr_on_terminal(const std::string& input, const Args& args) {
  CaseDir dir(input);
  std::string command = "cd '" + dir.path().string() + "' && '" + std::getenv("LIFTSIM_EXE") + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command = "script -q -e -c \"" + command + " > /dev/null\" /dev/null < /dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buf[4096];
  for (std::size_t n; pipe != nullptr && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
    text.append(buf, n);
  if (pipe != nullptr) ::pclose(pipe);
  return text;
}

// Warnings about input that reads surprisingly or is not used: with --warn or on a terminal, not
// with --quiet or the value set by name. (Without either, the golden runs pin standard error.)
TEST(Warnings, PointAtInputThatReadsSurprisinglyOrIsNotUsed) {
  const std::string torque =
      "liftsim: warning: dani.dat record 30 holds M_eng = 55; the run uses the built-in 0 (to use "
      "the file's value: --set M_eng=55)\r\n";
  const std::string m_eng = "  55.0000   M_eng";
  const struct {
    int record;  // 0: the example as it is
    std::string text;
    Args args;
    std::string err;
    bool terminal = false;
  } cases[] = {
      // clang-format off
      {0, "", {"--warn"}, ""},  // the example's values are the built-in ones as written
      {30, m_eng, {"--warn"}, torque},
      {30, m_eng, {"--warn", "--quiet"}, ""},
      {30, m_eng, {"--warn", "--set", "M_eng=55"}, ""},
      {30, m_eng, {}, torque, true},
      {30, m_eng, {"--quiet"}, "", true},
      {6, "     1000", {"--warn"},
       "liftsim: warning: dani.dat record 6: '1000' has no decimal point, so the field's implied "
       "one makes m_4 = 0.1 (write it with a point, e.g. '1000.', to mean 1000)\r\n"
       "liftsim: warning: load mass m_4 = 0.1 kg is below 1 kg; the run will end at its first "
       "output point (the analytic wheel load divides by the whole kilograms of the load)\r\n"
       "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n"},
      // a pair with a comma and a CR LF line end: the second field is what follows the comma
      {10, "0.6,50000\r", {"--warn"},
       "liftsim: warning: dani.dat record 10: '50000' has no decimal point, so the field's "
       "implied one makes zc_4 = 0.5 (write it with a point, e.g. '50000.', to mean 50000)\r\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + ::testing::PrintToString(c.args));
    const std::string input =
        c.record ? replace_record(example_input(), c.record, c.text) : example_input();
    std::string err = c.err;
    if (c.terminal && !err.empty()) err.insert(err.size() - 1, "\r");
    EXPECT_EQ(c.terminal ? stderr_on_terminal(input, c.args) : run_input(input, c.args).run.err,
              err);
  }
}

// Every option of --help acts the same before a subcommand as after it, or is refused naming it.
TEST(CommandLine, EveryOptionBeforeASubcommandActsAsAfterItOrIsRefused) {
  const std::map<std::string, Args> values = {
      {"-C", {"sub"}}, {"--set", {"m_4=1500"}}, {"--params", {"@params"}}, {"--road", {"@road"}},
      {"--drive", {"off"}}, {"--brake", {"hold"}}, {"--work-limit", {"100000"}},
      {"--max-restarts", {"0"}}, {"--model", {"legacy"}}, {"-q", {}}, {"--warn", {}},
      {"--stats", {}}, {"--csv", {"x.csv"}}, {"--columns", {"t,F_kp"}}, {"--grid", {"0.005"}},
      {"--force", {}}, {"--summary", {"s.json"}}, {"--html", {"p.html"}},
      {"--stop-when-decided", {}}, {"--slide-limit", {"0.1"}}, {"--lift-force", {"10"}},
      {"--convergence", {}}};
  const std::vector<std::pair<std::string, Args>> subcommands = {
      {"params", {}},
      {"columns", {}},
      {"sweep", {"--vary", "zc_4=0,1", "--set", "t_end=0.01", "-o", "out.csv"}},
      {"capacity", {"--vary", "zc_4=0", "--mass", "1:3", "--set", "t_end=0.01", "-o", "cap.csv"}},
      {"merge", {"shard.csv", "-o", "merged.csv"}}};
  TempDir inputs;
  write_file(inputs / "params.toml", "f_fr = 0.2\n");
  write_file(inputs / "road.csv", "x,z\n-5,0\n5,0.01\n");
  const std::string help = run_liftsim(inputs.path(), {"--help"}).out;
  std::size_t checked = 0;
  for (std::size_t at = help.find("\n  -"); at != std::string::npos;
       at = help.find("\n  -", at + 1)) {
    std::string names = help.substr(at + 3, help.find(' ', at + 3) - at - 3);
    if (names.starts_with("-h,") || names == "--version") continue;
    const std::string option = names.substr(0, names.find(','));
    ASSERT_TRUE(values.count(option)) << option << " has no value in this test";
    Args given{option};
    for (const std::string& v : values.at(option))
      given.push_back(v.starts_with("@") ? (inputs / (v.substr(1) + (v == "@road" ? ".csv" : ".toml"))).string() : v);
    for (const auto& [sub, args] : subcommands) {
      SCOPED_TRACE(option + " before " + sub);
      auto run = [](const Args& command) {
        CaseDir dir;
        fs::create_directory(dir / "sub");
        write_file(dir / "sub" / "dani.dat", example_input());
        write_file(dir / "shard.csv", "case,zc_4,outcome\n0,0,completed\n");
        return Outcome{run_liftsim(dir.path(), command), files_in(dir.path())};
      };
      const Outcome before = run(given + Args{sub} + args), after = run(Args{sub} + args + given);
      if (before.run.exit_status == 2 && after.run.exit_status == 2) {
        EXPECT_NE(before.run.err.find(option), std::string::npos) << before.run.err;
      } else {
        expect_same(before, after);
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, values.size() * subcommands.size());
}

}  // namespace
}  // namespace liftsim::testing
