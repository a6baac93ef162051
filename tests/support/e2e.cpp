#include "support/e2e.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace liftsim::testing {

namespace fs = std::filesystem;

namespace {

std::string env(const char* name) {
  if (const char* value = std::getenv(name)) return value;
  throw std::runtime_error(std::string(name) + " is not set");
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = fs::temp_directory_path() / "liftsim-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

Started::Started(const fs::path& dir, const std::vector<std::string>& args,
                 const RunOptions& options)
    : capture_(std::make_unique<TempDir>()) {
  std::string exe = env("LIFTSIM_EXE");
  std::vector<char*> argv{exe.data()};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string out = *capture_ / "out", err = *capture_ / "err";
  int pipe_fds[2] = {-1, -1};
  if (options.stdout_reader_gone && ::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  pid_ = ::fork();
  if (pid_ == 0) {
    int fds[] = {::open("/dev/null", O_RDONLY), ::open(out.c_str(), O_WRONLY | O_CREAT, 0666),
                 ::open(err.c_str(), O_WRONLY | O_CREAT, 0666)};
    if (options.stdout_reader_gone) fds[1] = pipe_fds[1];
    if (std::min({fds[0], fds[1], fds[2]}) < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
    // Copies above the standard descriptors first, so that placing one cannot replace another.
    for (int& fd : fds)
      if ((fd = ::fcntl(fd, F_DUPFD, 3)) < 0) ::_exit(126);
    for (int fd = 0; fd < 3; ++fd) ::dup2(fds[fd], fd);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);  // only these three
    for (int fd = 0; fd < 3; ++fd)
      if (options.closed[fd]) ::close(fd);
    const rlimit limit{rlim_t(options.max_open_files), rlim_t(options.max_open_files)};
    const rlimit size{rlim_t(options.max_file_size), rlim_t(options.max_file_size)};
    if (options.max_file_size > 0 && ::setrlimit(RLIMIT_FSIZE, &size) != 0) ::_exit(124);
    const rlimit memory{rlim_t(options.max_address_space), rlim_t(options.max_address_space)};
    if (options.max_address_space > 0 && ::setrlimit(RLIMIT_AS, &memory) != 0) ::_exit(124);
    if (options.max_open_files > 0) {
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(124);
      // A sanitizer build's leak check at exit needs descriptors the limit leaves none for.
      const char* asan = std::getenv("ASAN_OPTIONS");
      const std::string options_text = std::string(asan ? asan : "") + ":detect_leaks=0";
      ::setenv("ASAN_OPTIONS", options_text.c_str(), 1);
    }
    if (options.unprivileged &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(125);  // not allowed to become the user and group "nobody"
    }
    // Whatever the test process ignores or blocks, the program starts with the defaults.
    for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(exe.c_str(), argv.data());
    ::_exit(127);
  }
  if (options.stdout_reader_gone) ::close(pipe_fds[0]), ::close(pipe_fds[1]);
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

Started::~Started() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

RunResult Started::wait(std::chrono::milliseconds timeout) {
  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = read_file(*capture_ / "out");
  result.err = read_file(*capture_ / "err");
  return result;
}

RunResult run_liftsim(const fs::path& dir, const std::vector<std::string>& args,
                      RunOptions options) {
  return Started(dir, args, options).wait();
}

std::string example_input() {
  return read_file(fs::path(env("LIFTSIM_EXAMPLES")) / "dani.dat");
}

std::string replace_record(std::string_view input, int number, std::string_view text) {
  std::string result;
  for (std::size_t start = 0, end; start < input.size(); start = end + 1, --number) {
    end = std::min(input.find('\n', start), input.size());
    result.append(number == 1 ? text : input.substr(start, end - start)) += '\n';
  }
  return result;
}

std::map<std::string, std::string> files_in(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[e.path().filename()] = read_file(e.path());
  return files;
}

std::size_t CsvText::col(std::string_view name) const {
  const auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) throw std::out_of_range("no column " + std::string(name));
  return static_cast<std::size_t>(at - names.begin());
}

CsvText split_csv(std::string_view text) {
  CsvText csv;
  bool header = true;
  for (std::size_t pos = 0, lf; pos < text.size(); pos = lf + 1) {
    lf = std::min(text.find('\n', pos), text.size());
    const std::string_view line = text.substr(pos, lf - pos);
    if (header && line.starts_with("#")) continue;
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '"' && fields.back().empty()) {
        for (++i; i < line.size(); ++i) {
          if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            ++i;
          } else if (line[i] == '"') {
            break;  // the closing quote
          }
          fields.back() += line[i];
        }
      } else if (line[i] == ',') {
        fields.emplace_back();
      } else {
        fields.back() += line[i];
      }
    }
    if (header) {
      csv.names = std::move(fields);
      header = false;
    } else {
      csv.rows.push_back(std::move(fields));
      csv.lines.emplace_back(line);
    }
  }
  return csv;
}

std::size_t count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string_view::npos; ++n)
    at += what.size();
  return n;
}

std::size_t past(std::string_view s, std::string_view sep, int n) {
  std::size_t pos = 0;
  while (n-- > 0) pos = s.find(sep, pos) + sep.size();
  return pos;
}

const std::vector<std::string>& run_file_names() {
  // clang-format off
  static const std::vector<std::string> names{"dani.dat", "result.rez", "statica.dat",
      "vx_013.rez", "vz_013.rez", "vfi1.rez", "vfi3.rez", "vz_02.rez", "x_013.rez", "z_013.rez",
      "fi1.rez", "fi3.rez", "z_02.rez", "vx_c4.rez", "vfi_tk.rez", "x_c4.rez", "fi_tk.rez",
      "F_13.rez", "F_12.rez", "F_tp.rez", "F_kp.rez", "1XZ2P.rez", "2XZ2P.rez", "3XZ2P.rez",
      "Engine.rez"};
  // clang-format on
  return names;
}

std::string text(double v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

Args quiet(const Args& args) {
  return args.empty() || args[0] == "merge" ? args : Args{"-q"} + args;
}

std::map<std::string, std::string> tree(const fs::path& dir, bool age) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const timespec times[2] = {{978307200, 0}, {978307200, 0}};
    if (age) ::utimensat(AT_FDCWD, e.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    out[fs::relative(e.path(), dir).string()] =
        std::to_string(st.st_ino) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
        std::to_string(st.st_mtim.tv_nsec) + " " +
        (e.is_symlink()     ? "-> " + fs::read_symlink(e.path()).string()
         : e.is_directory() ? "/"
                            : read_file(e.path()));
  }
  return out;
}

void expect_refused(const fs::path& dir, const Args& args,
                    const std::vector<std::string>& fragments, int status) {
  SCOPED_TRACE(::testing::PrintToString(args));
  const auto before = tree(dir, true);
  const RunResult r = run_liftsim(dir, args);
  EXPECT_EQ(r.exit_status, status);
  EXPECT_EQ(r.out, "");
  for (const std::string& f : fragments) EXPECT_NE(r.err.find(f), std::string::npos) << r.err;
  EXPECT_TRUE(tree(dir) == before) << "the folder changed";
  if (status != 2) return;
  std::string help = "Try 'liftsim --help' for more information.\n";
  for (const std::string& a : args)
    if (a == "sweep" || a == "capacity" || a == "tilt-test" || a == "merge" || a == "params" ||
        a == "columns") {
      help = "Try 'liftsim " + a + " --help' for more information.\n";
      break;
    }
  EXPECT_TRUE(r.err.starts_with("liftsim: ") && r.err.ends_with(help)) << r.err;
  EXPECT_EQ(count(r.err, "\n"), 2u) << r.err;
  for (char ch : r.err) EXPECT_TRUE(ch == '\n' || static_cast<unsigned char>(ch) >= 0x20) << r.err;
}

std::string fingerprint(const fs::path& file) {
  FILE* pipe = ::popen(("sha256sum < '" + file.string() + "'").c_str(), "r");
  char digest[65] = {};
  const bool read = pipe != nullptr && std::fread(digest, 1, 64, pipe) == 64;
  if (pipe != nullptr) ::pclose(pipe);
  return std::to_string(fs::file_size(file)) + " " + (read ? digest : "(no sha256sum)");
}

}  // namespace liftsim::testing
