// Golden runs: each input in golden/ leaves exactly what golden/expected.txt records.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace liftsim::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = LIFTSIM_GOLDEN_DIR;

// The manifest: case name to its outputs in order, each "<bytes> <sha256>" or the exit status.
std::map<std::string, std::vector<std::pair<std::string, std::string>>> manifest() {
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> cases;
  std::ifstream in(kGolden / "expected.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, output, value;
    fields >> name >> output;
    std::getline(fields >> std::ws, value);
    cases[name].emplace_back(output, value);
  }
  return cases;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& [name, outputs] : manifest()) names.push_back(name);
  return names;
}

class PlainRun : public ::testing::TestWithParam<std::string> {};

TEST_P(PlainRun, LeavesTheRecordedBytes) {
  const std::string& name = GetParam();
  TempDir dir, streams;
  write_file(dir / "dani.dat", read_file(kGolden / (name + ".dat")));
  const RunResult r = run_liftsim(dir.path());
  write_file(streams / "stdout", r.out);
  write_file(streams / "stderr", r.err);

  std::map<std::string, std::string> actual{{"stdout", fingerprint(streams / "stdout")},
                                            {"stderr", fingerprint(streams / "stderr")},
                                            {"status", std::to_string(r.exit_status)}};
  for (const auto& file : run_file_names())
    actual[file] = fs::exists(dir / file) ? fingerprint(dir / file) : "missing";
  // Every output named, in this order: a manifest that lost a line would check less.
  std::vector<std::string> outputs = run_file_names(), listed;
  outputs.insert(outputs.end(), {"stdout", "stderr", "status"});
  bool same = true;
  const auto cases = manifest();
  for (const auto& [output, value] : cases.at(name)) {
    listed.push_back(output);
    EXPECT_EQ(actual[output], value) << output << " differs (bytes and SHA-256, or status)";
    same = same && actual[output] == value;
  }
  EXPECT_EQ(listed, outputs);
  // The run leaves nothing beyond its 25 files.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    const std::string file = entry.path().filename().string();
    EXPECT_TRUE(actual.contains(file)) << "unexpected file " << file;
    same = same && actual.contains(file);
  }
  // A failed case keeps what it produced in golden-actual/<case>/ under the test's working folder,
  // to be compared with a run of the reference build.
  if (!same) {
    const fs::path keep = fs::current_path() / "golden-actual" / name;
    fs::remove_all(keep);
    fs::create_directories(keep);
    fs::copy(dir.path(), keep, fs::copy_options::recursive);
    fs::copy(streams.path(), keep, fs::copy_options::recursive);
    write_file(keep / "status", std::to_string(r.exit_status) + "\n");
    ADD_FAILURE() << "the outputs of this run are kept in " << keep.string();
  }
}

INSTANTIATE_TEST_SUITE_P(Golden, PlainRun, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace liftsim::testing
