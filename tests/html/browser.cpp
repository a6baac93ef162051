#include "browser.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace liftsim::testing {
namespace {

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::optional<std::filesystem::path> find_chromium() {
  if (const char* named = std::getenv("LIFTSIM_CHROMIUM"); named && *named) {
    return std::filesystem::path(named);
  }
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    for (const char* name : {"chromium", "chromium-browser"}) {
      const std::filesystem::path candidate = std::filesystem::path(dir) / name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return std::nullopt;
}

BrowserRun run_headless(const std::filesystem::path& browser, const std::filesystem::path& work,
                        const std::string& url, const std::vector<std::string>& extra,
                        std::chrono::seconds timeout) {
  static int runs = 0;
  const std::filesystem::path profile = work / ("profile-" + std::to_string(++runs));
  const std::filesystem::path out_file = work / ("browser-" + std::to_string(runs) + ".out");
  const std::filesystem::path err_file = work / ("browser-" + std::to_string(runs) + ".err");
  std::vector<std::string> args = {browser.string(),
                                   "--headless",
                                   "--no-sandbox",
                                   "--disable-gpu",
                                   "--disable-quic",
                                   "--no-first-run",
                                   "--disable-background-networking",
                                   "--disable-component-update",
                                   "--disable-sync",
                                   "--hide-scrollbars",
                                   "--user-data-dir=" + profile.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(url);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&files, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);  // its own group, to end it whole
  posix_spawnattr_setpgroup(&attr, 0);

  BrowserRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &files, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  if (spawned != 0) {
    run.err = "could not start " + browser.string();
    return run;
  }
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() - start > timeout) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      run.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Helpers of the browser left in its group go with it.
  ::kill(-pid, SIGKILL);
  run.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!run.timed_out && WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  run.out = slurp(out_file);
  run.err = slurp(err_file);
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  return run;
}

std::optional<nlohmann::json> selftest_result(const std::string& dom) {
  const std::string open = "id=\"liftsim-selftest\">";
  const std::size_t at = dom.find(open);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t from = at + open.size();
  const std::size_t to = dom.find("</script>", from);
  if (to == std::string::npos) return std::nullopt;
  return nlohmann::json::parse(dom.substr(from, to - from), nullptr, false);
}

}  // namespace liftsim::testing
