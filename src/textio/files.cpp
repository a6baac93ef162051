#include "textio/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace liftsim::textio {
namespace {

constexpr std::size_t kReadBufferSize = 64 * 1024;

bool is_refusal(int error) {
  return error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY || error == EISDIR;
}

bool is_disk_full(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

[[noreturn]] void open_failure(const std::string& name, int error, bool creating) {
  ErrorCode code = ErrorCode::F6414;
  if (error == EMFILE || error == ENFILE) {
    code = ErrorCode::F6417;
  } else if (error == ENOENT || error == ENOTDIR) {
    code = ErrorCode::F6416;
  }
  std::string message = creating ? "cannot create " : "cannot open ";
  message += name;
  message += ": ";
  message += std::strerror(error);
  fail(code, Statement::open, name, std::move(message));
}

[[noreturn]] void write_failure(std::string_view name, std::string_view shown_as, int error,
                                std::string_view note = {}) {
  std::string message = "cannot write to ";
  message += shown_as;
  message += ": ";
  message += std::strerror(error);
  message += note;
  fail(is_disk_full(error) ? ErrorCode::F6422 : ErrorCode::F6421, Statement::write, name,
       std::move(message));
}

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

int open_retrying(int dir_fd, const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::openat(dir_fd, path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

bool write_all(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

FileSet::FileSet(int dir_fd) : dir_fd_(dir_fd) {}

FileSet::~FileSet() {
  close_all();
}

FileSet::Unit& FileSet::slot(int unit) {
  if (unit < 0 || unit >= kUnitCount) {
    throw std::out_of_range("unit number " + std::to_string(unit) + " is outside 0.." +
                            std::to_string(kUnitCount - 1));
  }
  return units_[static_cast<std::size_t>(unit)];
}

const FileSet::Unit& FileSet::slot(int unit) const {
  return const_cast<FileSet*>(this)->slot(unit);
}

FileSet::Unit& FileSet::connected(int unit) {
  Unit& u = slot(unit);
  if (u.fd < 0) throw std::logic_error("unit " + std::to_string(unit) + " is not connected");
  return u;
}

void FileSet::attach(int unit, int fd, std::string name, Access access, int refusal) {
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    open_failure(name, EISDIR, false);
  }
  ::lseek(fd, 0, SEEK_SET);  // fails harmlessly on pipes and terminals
  Unit& u = slot(unit);
  u.fd = fd;
  u.name = std::move(name);
  u.access = access;
  u.refusal = refusal;
  u.written = false;
  u.begin = u.end = 0;
}

void FileSet::open(int unit, std::string_view file_name) {
  if (slot(unit).fd >= 0) close(unit);

  std::string name(trim_blanks(file_name));
  const char* path = name.c_str();
  int fd = -1;
  Access access = Access::read_write;
  int refusal = 0;
  // A missing file is created exclusively, so an existing one is never cut. Should another
  // process create or remove the file between the two opens, the attempt is repeated.
  for (int attempt = 0;; ++attempt) {
    fd = open_retrying(dir_fd_, path, O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) break;
    if (errno != EEXIST) open_failure(name, errno, true);

    // Existing file: read-write, else read-only, else write-only.
    static constexpr struct {
      int flags;
      Access access;
    } kModes[] = {
        {O_RDWR, Access::read_write}, {O_RDONLY, Access::read_only}, {O_WRONLY, Access::write_only}};
    int error = 0;
    refusal = 0;
    for (const auto& mode : kModes) {
      fd = open_retrying(dir_fd_, path, mode.flags);
      if (fd >= 0) {
        access = mode.access;
        break;
      }
      if (!is_refusal(errno)) {
        error = errno;
        break;
      }
      if (refusal == 0) refusal = errno;
      error = refusal;
    }
    if (fd >= 0) break;
    if (error == ENOENT && attempt < 3) continue;
    open_failure(name, error, false);
  }
  attach(unit, fd, std::move(name), access, refusal);
}

void FileSet::open_for_reading(int unit, std::string_view file_name) {
  if (slot(unit).fd >= 0) close(unit);
  std::string name(trim_blanks(file_name));
  const int fd = open_retrying(dir_fd_, name.c_str(), O_RDONLY);
  if (fd < 0) open_failure(name, errno, false);
  attach(unit, fd, std::move(name), Access::read_only, 0);
}

void FileSet::close(int unit) {
  Unit& u = slot(unit);
  if (u.fd < 0) return;
  ::close(u.fd);
  u.fd = -1;
  u.name.clear();
  u.written = false;
  u.begin = u.end = 0;
}

void FileSet::close_all() {
  for (int unit = 0; unit < kUnitCount; ++unit) close(unit);
}

std::string_view FileSet::file_name(int unit) const {
  return slot(unit).name;
}

void FileSet::write_records(int unit, std::string_view records) {
  Unit& u = connected(unit);
  if (records.empty()) return;
  // Puts back what the reader took ahead of the records it delivered, so that the descriptor's
  // position is the unit's position again.
  if (u.end > u.begin) ::lseek(u.fd, -static_cast<off_t>(u.end - u.begin), SEEK_CUR);
  u.begin = u.end = 0;
  if (!u.written) {
    if (u.access == Access::read_only) {
      write_failure(u.name, u.name, u.refusal != 0 ? u.refusal : EBADF,
                    " (the file could be opened for reading only)");
    }
    // What the file held beyond this point is from an earlier run. Only regular files are cut:
    // devices and pipes have nothing to cut.
    struct stat info {};
    if (::fstat(u.fd, &info) == 0 && S_ISREG(info.st_mode)) {
      const off_t position = ::lseek(u.fd, 0, SEEK_CUR);
      if (position >= 0 && ::ftruncate(u.fd, position) != 0) write_failure(u.name, u.name, errno);
    }
    u.written = true;
  }
  if (!write_all(u.fd, records)) write_failure(u.name, u.name, errno);
}

ReadStatus FileSet::read_record(int unit, std::string& record, std::size_t keep,
                                int& error_number) {
  Unit& u = connected(unit);
  record.clear();
  if (!u.buffer) u.buffer = std::make_unique<char[]>(kReadBufferSize);
  bool any = false;
  for (;;) {
    if (u.begin == u.end) {
      const ssize_t n = ::read(u.fd, u.buffer.get(), kReadBufferSize);
      if (n < 0) {
        if (errno == EINTR) continue;
        error_number = errno;
        return ReadStatus::failure;
      }
      if (n == 0) return any ? ReadStatus::ok : ReadStatus::end_of_file;
      u.begin = 0;
      u.end = static_cast<std::size_t>(n);
    }
    const char* start = u.buffer.get() + u.begin;
    const std::size_t available = u.end - u.begin;
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', available));
    const std::size_t length = lf != nullptr ? static_cast<std::size_t>(lf - start) : available;
    if (record.size() < keep) record.append(start, std::min(length, keep - record.size()));
    any = true;
    u.begin += length;
    if (lf != nullptr) {
      ++u.begin;
      return ReadStatus::ok;
    }
  }
}

void Console::write(std::string_view bytes) {
  if (bytes.empty()) return;
  if (!write_all(fd_, bytes)) write_failure("stdout", "standard output", errno);
  line_open_ = bytes.back() != '\n';
}

void Console::write_stop_line() {
  if (line_open_) write("\r\n");
  write("Stop - Program terminated.\r\n");
}

}  // namespace liftsim::textio
