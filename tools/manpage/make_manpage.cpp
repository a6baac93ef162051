// make_manpage PROGRAM SUMMARY OUT: writes the manual page of PROGRAM to OUT, made from
// `PROGRAM --help`, `PROGRAM --version` and `PROGRAM NAME --help` for every subcommand its help
// lists. The build runs it whenever the program is linked again, so the page follows the texts.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "manpage/help_page.h"

extern char** environ;

namespace {

// Standard output of `program args...`; false with a message when it cannot run or fails.
bool output_of(const std::string& program, const std::vector<std::string>& args, std::string& out) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_fds[1]);
  if (spawned != 0) {
    ::close(pipe_fds[0]);
    std::fprintf(stderr, "make_manpage: cannot run %s: %s\n", program.c_str(),
                 std::strerror(spawned));
    return false;
  }
  out.clear();
  char buf[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string command = program;
    for (const std::string& a : args) command += " " + a;
    std::fprintf(stderr, "make_manpage: '%s' failed\n", command.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_manpage PROGRAM SUMMARY OUT\n");
    return 2;
  }
  const std::string program = argv[1];
  liftsim::manpage::Program page;
  page.name = std::filesystem::path(program).filename();
  page.summary = argv[2];
  std::string text;
  if (!output_of(program, {"--version"}, text)) return 1;
  page.version = text.substr(0, text.find('\n'));
  if (!output_of(program, {"--help"}, text)) return 1;
  page.help = liftsim::manpage::parse_help(text);
  if (const auto* subcommands = page.help.find("Subcommands")) {
    for (const auto& entry : subcommands->entries) {
      if (!output_of(program, {entry.name, "--help"}, text)) return 1;
      page.subcommands.emplace_back(entry.name, liftsim::manpage::parse_help(text));
    }
  }
  // Written beside the page and renamed over it: a failed build leaves no half page.
  const std::string out = argv[3], temporary = out + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << liftsim::manpage::render(page);
    if (!file.flush()) {
      std::fprintf(stderr, "make_manpage: cannot write %s\n", temporary.c_str());
      return 1;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, out, error);
  if (error) {
    std::fprintf(stderr, "make_manpage: cannot write %s: %s\n", out.c_str(),
                 error.message().c_str());
    return 1;
  }
  return 0;
}
