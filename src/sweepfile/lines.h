// A file read line by line in bounded memory: a buffer of 64 KiB and the line being read, which
// may not grow beyond a limit.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace liftsim::sweepfile {

// The longest line a result file may hold: far beyond any row or head line this program writes.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 20;

class LineReader {
 public:
  // Reads `fd` (not owned) from where it stands. A read interrupted by a signal while `stop` is
  // set fails (EINTR) instead of going on.
  explicit LineReader(int fd, const std::atomic<int>* stop = nullptr,
                      std::size_t longest = kLongestLine)
      : fd_(fd), stop_(stop), longest_(longest) {}

  enum class Got {
    line,      // a line ended by a line feed
    cut,       // the file's last bytes, not ended by one
    end,       // nothing more
    too_long,  // a line longer than the limit (the rest of the file is not read)
    failed,    // a read failed; see error_number()
  };
  // The next line, without its line feed.
  Got next(std::string& line);

  // The bytes up to the end of the last whole line handed out.
  std::uint64_t whole_bytes() const { return whole_; }
  // The number of the last line handed out, from 1.
  std::int64_t line_number() const { return lines_; }
  int error_number() const { return error_; }

 private:
  int fd_;
  const std::atomic<int>* stop_;
  std::size_t longest_;
  char buffer_[65536];
  std::size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
  std::uint64_t whole_ = 0;
  std::int64_t lines_ = 0;
  int error_ = 0;
};

}  // namespace liftsim::sweepfile
