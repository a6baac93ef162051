// Runs a piece of code in a forked child and captures its exit status and exact output bytes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

namespace liftsim::testing {

struct ChildResult {
  int exit_code = -1;  // -1 when the child was killed by a signal
  int signal = 0;
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Exit codes a child body may use besides those of the code under test.
inline constexpr int kBodyReturned = 90;  // the body came back instead of ending the process
inline constexpr int kBodyThrew = 91;
inline constexpr int kCannotArrange = 77;  // the situation under test could not be set up

namespace detail {
inline std::string slurp(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}
}  // namespace detail

template <class Body>
ChildResult run_in_child(Body&& body) {
  std::fflush(nullptr);  // buffered output of the parent must not be written twice
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ChildResult result;
  if (out == nullptr || err == nullptr) return result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::fileno(out), 1);
    ::dup2(::fileno(err), 2);
    try {
      std::forward<Body>(body)();
    } catch (...) {
      ::_exit(kBodyThrew);
    }
    ::_exit(kBodyReturned);
  }
  int status = 0;
  if (pid > 0) ::waitpid(pid, &status, 0);
  if (pid > 0 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (pid > 0 && WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = detail::slurp(out);
  result.err = detail::slurp(err);
  return result;
}

}  // namespace liftsim::testing
