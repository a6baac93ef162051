#include "support/e2e.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace liftsim::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "liftsim-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

RunResult run_liftsim(const fs::path& dir, const std::vector<std::string>& args,
                      RunOptions options) {
  const char* exe = std::getenv("LIFTSIM_EXE");
  if (exe == nullptr) throw std::runtime_error("LIFTSIM_EXE is not set");
  TempDir capture;
  const std::string out_path = (capture / "stdout").string();
  const std::string err_path = (capture / "stderr").string();

  std::vector<std::string> argv_storage{exe};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_storage) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    // Nothing but the three standard streams is handed on.
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    if (options.max_open_files > 0) {
      const rlimit limit{static_cast<rlim_t>(options.max_open_files),
                         static_cast<rlim_t>(options.max_open_files)};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(124);
    }
    if (options.unprivileged) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
        ::_exit(125);
      }
    }
    ::execv(exe, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  RunResult r;
  r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  return r;
}

std::string example_input() {
  const char* dir = std::getenv("LIFTSIM_EXAMPLES");
  if (dir == nullptr) throw std::runtime_error("LIFTSIM_EXAMPLES is not set");
  return read_file(fs::path(dir) / "dani.dat");
}

std::string example_with_record(int number, std::string_view text) {
  return replace_record(example_input(), number, text);
}

std::string replace_record(std::string_view input, int number, std::string_view text) {
  std::istringstream in{std::string(input)};
  std::string line, result;
  for (int n = 1; std::getline(in, line); ++n) {
    result += (n == number) ? std::string(text) : line;
    result += '\n';
  }
  return result;
}

std::string cp1251(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    if (b0 < 0x80) {
      out += static_cast<char>(b0);
      ++i;
      continue;
    }
    if (i + 1 >= utf8.size()) throw std::invalid_argument("truncated UTF-8");
    const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
    const unsigned cp = ((b0 & 0x1Fu) << 6) | (b1 & 0x3Fu);
    i += 2;
    if (cp >= 0x410 && cp <= 0x44F) {
      out += static_cast<char>(0xC0 + (cp - 0x410));
    } else {
      switch (cp) {
        case 0x404:
          out += '\xAA';
          break;  // Є
        case 0x454:
          out += '\xBA';
          break;  // є
        case 0x406:
          out += '\xB2';
          break;  // І
        case 0x456:
          out += '\xB3';
          break;  // і
        case 0x407:
          out += '\xAF';
          break;  // Ї
        case 0x457:
          out += '\xBF';
          break;  // ї
        default:
          throw std::invalid_argument("letter outside the test table");
      }
    }
  }
  return out;
}

std::string crlf_lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

bool can_drop_privileges() {
  if (::geteuid() != 0) return false;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const std::vector<std::string>& run_file_names() {
  static const std::vector<std::string> names{
      "dani.dat", "result.rez", "statica.dat", "vx_013.rez", "vz_013.rez",
      "vfi1.rez", "vfi3.rez",   "vz_02.rez",   "x_013.rez",  "z_013.rez",
      "fi1.rez",  "fi3.rez",    "z_02.rez",    "vx_c4.rez",  "vfi_tk.rez",
      "x_c4.rez", "fi_tk.rez",  "F_13.rez",    "F_12.rez",   "F_tp.rez",
      "F_kp.rez", "1XZ2P.rez",  "2XZ2P.rez",   "3XZ2P.rez",  "Engine.rez"};
  return names;
}

}  // namespace liftsim::testing
