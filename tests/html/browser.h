// Headless Chromium for the page tests: find it, open a page, read back the page's self-test.
#pragma once

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace liftsim::testing {

// The browser named by LIFTSIM_CHROMIUM, else chromium or chromium-browser on the PATH.
std::optional<std::filesystem::path> find_chromium();

struct BrowserRun {
  int exit_status = -1;  // -1 when killed or not started
  bool timed_out = false;
  std::string out, err;
  double wall_seconds = 0.0;
};

// Runs `browser` headless on `url` with a fresh profile under `work` and the extra arguments;
// kills its whole process group after `timeout`.
BrowserRun run_headless(const std::filesystem::path& browser, const std::filesystem::path& work,
                        const std::string& url, const std::vector<std::string>& extra,
                        std::chrono::seconds timeout = std::chrono::seconds(90));

// The JSON a page wrote into its element with the id liftsim-selftest, from a dumped DOM;
// nullopt when there is none.
std::optional<nlohmann::json> selftest_result(const std::string& dom);

}  // namespace liftsim::testing
