// Test support for end-to-end runs of the built executable in temporary folders.
#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace liftsim::testing {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir() { std::filesystem::remove_all(path_, ignored_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
  std::error_code ignored_;
};

struct RunResult {
  int exit_status = -1;    // -1 when the process did not exit normally
  int signal = 0;          // the signal that ended it, when one did
  bool timed_out = false;  // it did not end in time and was killed
  std::string out, err;    // the bytes of standard output and standard error
};

struct RunOptions {
  bool unprivileged = false;     // become the user and group 65534 first (exit status 125 if not)
  int max_open_files = 0;        // when positive, the child's limit of open file descriptors
  std::array<bool, 3> closed{};  // standard descriptors (0, 1, 2) the program starts without
  long long max_file_size = 0;   // when positive, the limit on the size of a file it writes, bytes
  long long max_address_space = 0;  // when positive, the limit of its virtual memory, bytes
  bool stdout_reader_gone = false;  // standard output is a pipe whose reading end is closed
};

// A liftsim process started in the background. Every signal has its default action in it.
class Started {
 public:
  Started(const std::filesystem::path& dir, const std::vector<std::string>& args,
          const RunOptions& options);
  ~Started();  // kills the process if it still runs
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  pid_t pid() const { return pid_; }
  // Waits for the end; after `timeout` the process is killed and the result says so.
  RunResult wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  std::unique_ptr<TempDir> capture_;
  pid_t pid_ = -1;
};

// Runs the built liftsim (LIFTSIM_EXE) with `args` in `dir`.
RunResult run_liftsim(const std::filesystem::path& dir, const std::vector<std::string>& args = {},
                      RunOptions options = {});

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, std::string_view bytes);

// The bundled example input (LIFTSIM_EXAMPLES/dani.dat).
std::string example_input();

// A fresh temporary folder holding `input` (the bundled example by default) as dani.dat.
struct CaseDir : TempDir {
  explicit CaseDir(std::string_view input = example_input()) {
    write_file(*this / "dani.dat", input);
  }
};

// Every file of a folder (not its subfolders) with its bytes.
std::map<std::string, std::string> files_in(const std::filesystem::path& dir);

using Args = std::vector<std::string>;
inline Args operator+(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// `input` with record `number` (1-based) replaced by `text`.
std::string replace_record(std::string_view input, int number, std::string_view text);

// A CSV text: the header's names and each row's fields (quotes honoured, '#' lines first skipped).
struct CsvText {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> lines;  // each row's text without its line feed
  // The column of `name`; throws std::out_of_range when there is none.
  std::size_t col(std::string_view name) const;
  const std::string& at(std::size_t row, std::string_view name) const {
    return rows[row][col(name)];
  }
};
CsvText split_csv(std::string_view text);

// The shortest text that reads back as `v`, as the program writes numbers.
std::string text(double v);

// How many times `what` occurs in `text`, none overlapping.
std::size_t count(std::string_view text, std::string_view what);
// The position just past the n-th `sep` in `s`.
std::size_t past(std::string_view s, std::string_view sep, int n);

// The 25 file names of a run, in opening order.
const std::vector<std::string>& run_file_names();

// `args` made quiet with -q, but for merge, which has no such option (and warns of nothing).
Args quiet(const Args& args);

// Every entry under `dir`, subfolders too, with its bytes (a link's target, "/" for a folder),
// inode and time; with `age` the entries are first dated 2001 so that any later write shows.
std::map<std::string, std::string> tree(const std::filesystem::path& dir, bool age = false);

// Refused before any work (status 2 unless said): nothing on standard output, every fragment on
// standard error, the folder as it was; a usage error is one printable line, then the help pointer.
void expect_refused(const std::filesystem::path& dir, const Args& args,
                    const std::vector<std::string>& fragments, int status = 2);

// Length and SHA-256 of a file, the digest from sha256sum.
std::string fingerprint(const std::filesystem::path& file);

// Calls `ready` every millisecond until it holds, for at most `timeout`; whether it came to hold.
template <typename Ready>
bool wait_until(Ready ready, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
  for (const auto end = std::chrono::steady_clock::now() + timeout; !ready();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace liftsim::testing
