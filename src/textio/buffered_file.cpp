#include "textio/buffered_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "textio/files.h"
#include "textio/run_error.h"

namespace liftsim::textio {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;

}  // namespace

BufferedFile::~BufferedFile() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

void BufferedFile::open(const std::string& path) {
  open_with(path, O_TRUNC);
}

void BufferedFile::adopt(int fd, const std::string& path) {
  if (owned_ && fd_ >= 0) ::close(fd_);
  name_ = path;
  fd_ = fd;
  owned_ = true;
  buffer_.reserve(kBufferSize + 4096);
}

void BufferedFile::open_with(const std::string& path, int mode) {
  name_ = path;
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    owned_ = false;
  } else {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | mode | O_CLOEXEC, 0666);
    if (fd_ < 0) {
      const int error = errno;
      fail(open_error_code(error), Statement::open, path,
           "cannot create " + path + ": " + std::strerror(error));
    }
    owned_ = true;
  }
  buffer_.reserve(kBufferSize + 4096);
}

void BufferedFile::end_record() {
  whole_ = buffer_.size();
  if (whole_ >= kBufferSize) flush();
}

void BufferedFile::flush() {
  if (fd_ < 0 || whole_ == 0) return;
  if (!write_all(fd_, std::string_view(buffer_.data(), whole_))) {
    const int error = errno;
    fail(write_error_code(error), Statement::write, name_,
         "cannot write to " + name_ + ": " + std::strerror(error));
  }
  buffer_.erase(0, whole_);
  whole_ = 0;
}

void BufferedFile::close() {
  buffer_.resize(whole_);
  flush();
  if (owned_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace liftsim::textio
