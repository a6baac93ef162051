// Golden runs: for each input in golden/, a plain run must leave exactly the bytes recorded in
// golden/expected.txt (length and SHA-256 of each of the 25 run files, standard output and standard
// error, and the exit status). The manifest is regenerated only when a change of the plain run's
// output is intended (golden/regenerate.sh).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/sha256.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = LIFTSIM_GOLDEN_DIR;

struct Expected {
  std::string output;  // a run file name, "stdout", "stderr" or "status"
  std::string value;   // "<bytes> <sha256>", or the exit status
};

// The manifest: case name to its expected outputs, in manifest order.
std::map<std::string, std::vector<Expected>> manifest() {
  std::map<std::string, std::vector<Expected>> cases;
  std::ifstream in(kGolden / "expected.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, output, value, digest;
    fields >> name >> output >> value >> digest;
    cases[name].push_back({output, digest.empty() ? value : value + " " + digest});
  }
  return cases;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& [name, outputs] : manifest()) names.push_back(name);
  return names;
}

std::string fingerprint(const std::string& bytes) {
  return std::to_string(bytes.size()) + " " + sha256_hex(bytes);
}

// Every output named, in the manifest's order.
std::vector<std::string> output_names() {
  std::vector<std::string> names = run_file_names();
  names.insert(names.end(), {"stdout", "stderr", "status"});
  return names;
}

// A failed case keeps what it produced in golden-actual/<case>/ under the test's working folder,
// to be compared with a run of the reference build.
void keep_outputs(const std::string& name, const fs::path& dir, const RunResult& r) {
  const fs::path keep = fs::current_path() / "golden-actual" / name;
  fs::remove_all(keep);
  fs::create_directories(keep);
  fs::copy(dir, keep, fs::copy_options::recursive);
  write_file(keep / "stdout", r.out);
  write_file(keep / "stderr", r.err);
  write_file(keep / "status", std::to_string(r.exit_status) + "\n");
  ADD_FAILURE() << "the outputs of this run are kept in " << keep.string();
}

TEST(GoldenManifest, ListsEveryOutputOfEveryInput) {
  const auto cases = manifest();
  EXPECT_GE(cases.size(), 8u);
  std::vector<std::string> outputs;
  for (const auto& [name, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(fs::is_regular_file(kGolden / (name + ".dat")));
    outputs.clear();
    for (const auto& e : expected) outputs.push_back(e.output);
    EXPECT_EQ(outputs, output_names());
  }
}

class PlainRun : public ::testing::TestWithParam<std::string> {};

TEST_P(PlainRun, LeavesTheRecordedBytes) {
  const std::string& name = GetParam();
  TempDir dir;
  write_file(dir / "dani.dat", read_file(kGolden / (name + ".dat")));
  const RunResult r = run_liftsim(dir.path());

  std::map<std::string, std::string> actual{{"stdout", fingerprint(r.out)},
                                            {"stderr", fingerprint(r.err)},
                                            {"status", std::to_string(r.exit_status)}};
  for (const auto& file : run_file_names()) {
    actual[file] = fs::exists(dir / file) ? fingerprint(read_file(dir / file)) : "missing";
  }
  bool same = true;
  const auto cases = manifest();
  for (const auto& e : cases.at(name)) {
    EXPECT_EQ(actual[e.output], e.value) << e.output << " differs (bytes and SHA-256, or status)";
    same = same && actual[e.output] == e.value;
  }
  // The run leaves nothing beyond its 25 files.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string file = entry.path().filename().string();
    EXPECT_TRUE(actual.contains(file)) << "unexpected file " << file;
    same = same && actual.contains(file);
  }
  if (!same) keep_outputs(name, dir.path(), r);
}

INSTANTIATE_TEST_SUITE_P(Golden, PlainRun, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace liftsim::testing
