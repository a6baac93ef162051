#include "sweepfile/lines.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace liftsim::sweepfile {

LineReader::Got LineReader::next(std::string& line) {
  line.clear();
  for (;;) {
    if (begin_ < end_) {
      const char* start = buffer_ + begin_;
      const void* lf = std::memchr(start, '\n', end_ - begin_);
      const std::size_t take = lf != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char*>(lf) - start)
                                   : end_ - begin_;
      if (line.size() + take > longest_) return Got::too_long;
      line.append(start, take);
      begin_ += take;
      if (lf != nullptr) {
        ++begin_;
        whole_ += line.size() + 1;
        ++lines_;
        return Got::line;
      }
    }
    if (eof_) return line.empty() ? Got::end : Got::cut;
    const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
    if (n < 0) {
      if (errno == EINTR && (stop_ == nullptr || stop_->load() == 0)) continue;
      error_ = errno;
      return Got::failed;
    }
    begin_ = 0;
    end_ = static_cast<std::size_t>(n);
    eof_ = n == 0;
  }
}

}  // namespace liftsim::sweepfile
