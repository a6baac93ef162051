#include "textio/files.h"

#include <fcntl.h>
#include <sys/file.h>
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

[[noreturn]] void open_failure(const std::string& name, int error, bool creating) {
  std::string message = creating ? "cannot create " : "cannot open ";
  message += name;
  message += ": ";
  message += std::strerror(error);
  fail(open_error_code(error), Statement::open, name, std::move(message));
}

[[noreturn]] void write_failure(std::string_view name, std::string_view shown_as, int error,
                                std::string_view note = {}) {
  std::string message = "cannot write to ";
  message += shown_as;
  message += ": ";
  message += std::strerror(error);
  message += note;
  fail(write_error_code(error), Statement::write, name, std::move(message));
}

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// The target a symbolic link names, for messages; empty when it cannot be read.
std::string link_target(int dir_fd, const char* path) {
  char target[4096];
  const ssize_t n = ::readlinkat(dir_fd, path, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool is_dangling_link(int dir_fd, const char* path) {
  struct stat info {};
  return ::fstatat(dir_fd, path, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode) &&
         ::fstatat(dir_fd, path, &info, 0) != 0 && errno == ENOENT;
}

}  // namespace

ErrorCode open_error_code(int error) {
  if (error == EMFILE || error == ENFILE) return ErrorCode::F6417;
  if (error == ENOENT || error == ENOTDIR) return ErrorCode::F6416;
  return ErrorCode::F6414;
}

ErrorCode write_error_code(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? ErrorCode::F6422 : ErrorCode::F6421;
}

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

FileSet::FileSet(int dir_fd, const std::atomic<int>* stop) : dir_fd_(dir_fd), stop_(stop) {}

void FileSet::check_stop() const {
  if (stop_ == nullptr) return;
  if (const int signal = stop_->load(std::memory_order_relaxed); signal != 0) {
    throw RunFailure(interrupted_error(signal));
  }
}

// An open that a FIFO may keep waiting: a signal's interruption ends it when a stop was asked for.
int FileSet::open_at(const char* path, int flags, mode_t mode) const {
  for (;;) {
    check_stop();
    const int fd = ::openat(dir_fd_, path, flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

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

FileSet::Unit& FileSet::connected(int unit) {
  Unit& u = slot(unit);
  if (u.fd < 0) throw std::logic_error("unit " + std::to_string(unit) + " is not connected");
  return u;
}

void FileSet::attach(int unit, int fd, std::string name, Access access, int refusal, Use use) {
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    open_failure(name, EISDIR, false);
  }
  const bool regular = S_ISREG(info.st_mode);
  if (regular) {
    // Two units on one file would write over each other, or over the input they read.
    for (const Unit& other : units_) {
      if (other.fd >= 0 && other.regular && other.device == info.st_dev &&
          other.inode == info.st_ino) {
        ::close(fd);
        fail(ErrorCode::F6414, Statement::open, name,
             "cannot open " + name + ": it is the same file as " + other.name +
                 " (through a link), which this run uses too");
      }
    }
    // A lock another connection holds is another run at work on these files. Where the file
    // system has no locks the run goes on unlocked.
    if (::flock(fd, (use == Use::input ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0 &&
        errno == EWOULDBLOCK) {
      ::close(fd);
      fail(ErrorCode::F6414, Statement::open, name,
           "cannot open " + name + ": another run is using the folder (" + name + " is locked)");
    }
  }
  ::lseek(fd, 0, SEEK_SET);  // fails harmlessly on pipes and terminals
  Unit& u = slot(unit);
  u.fd = fd;
  u.name = std::move(name);
  u.access = access;
  u.regular = regular;
  u.device = regular ? info.st_dev : 0;
  u.inode = regular ? info.st_ino : 0;
  u.refusal = refusal;
  u.written = false;
  u.begin = u.end = 0;
}

void FileSet::open(int unit, std::string_view file_name) {
  open_as(unit, file_name, Use::output);
}

void FileSet::open_input(int unit, std::string_view file_name) {
  open_as(unit, file_name, Use::input);
}

void FileSet::open_as(int unit, std::string_view file_name, Use use) {
  if (slot(unit).fd >= 0) close(unit);

  std::string name(trim_blanks(file_name));
  const char* path = name.c_str();
  int fd = -1;
  Access access = Access::read_write;
  int refusal = 0;
  // A missing file is created exclusively, so an existing one is never cut. Should another
  // process create or remove the file between the two opens, the attempt is repeated.
  for (int attempt = 0;; ++attempt) {
    fd = open_at(path, O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) break;
    if (errno != EEXIST) open_failure(name, errno, true);

    // An input that is a FIFO or a device is only read.
    struct stat info {};
    if (use == Use::input && ::fstatat(dir_fd_, path, &info, 0) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISDIR(info.st_mode)) {
      fd = open_at(path, O_RDONLY);
      if (fd < 0) open_failure(name, errno, false);
      access = Access::read_only;
      break;
    }

    // Existing file: read-write, else read-only, else write-only.
    static constexpr struct {
      int flags;
      Access access;
    } kModes[] = {{O_RDWR, Access::read_write},
                  {O_RDONLY, Access::read_only},
                  {O_WRONLY, Access::write_only}};
    int error = 0;
    refusal = 0;
    for (const auto& mode : kModes) {
      fd = open_at(path, mode.flags);
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
    // A symbolic link to a missing file: the file it names is created, as any open would.
    if (error == ENOENT && is_dangling_link(dir_fd_, path)) {
      fd = open_at(path, O_RDWR | O_CREAT, 0666);
      if (fd >= 0) break;
      if (errno != ENOENT) open_failure(name, errno, true);
      fail(ErrorCode::F6416, Statement::open, name,
           "cannot create " + name + ": it links to " + link_target(dir_fd_, path) +
               ", in a folder that does not exist");
    }
    if (error == ENOENT && attempt < 3) continue;
    open_failure(name, error, false);
  }
  attach(unit, fd, std::move(name), access, refusal, use);
}

void FileSet::open_for_reading(int unit, std::string_view file_name) {
  if (slot(unit).fd >= 0) close(unit);
  std::string name(trim_blanks(file_name));
  const int fd = open_at(name.c_str(), O_RDONLY);
  if (fd < 0) open_failure(name, errno, false);
  attach(unit, fd, std::move(name), Access::read_only, 0, Use::input);
}

void FileSet::close(int unit) {
  Unit& u = slot(unit);
  if (u.fd < 0) return;
  ::close(u.fd);  // releases the lock
  u.fd = -1;
  u.name.clear();
  u.regular = false;
  u.written = false;
  u.begin = u.end = 0;
}

void FileSet::close_all() {
  for (int unit = 0; unit < kUnitCount; ++unit) close(unit);
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
    if (u.regular) {
      const off_t position = ::lseek(u.fd, 0, SEEK_CUR);
      if (position >= 0 && ::ftruncate(u.fd, position) != 0) write_failure(u.name, u.name, errno);
    }
    u.written = true;
  }
  const off_t start = u.regular ? ::lseek(u.fd, 0, SEEK_CUR) : -1;
  if (!write_all(u.fd, records)) {
    const int error = errno;
    // A write cut short (a full disk, the file-size limit) leaves no part of a record behind.
    if (start >= 0 && ::ftruncate(u.fd, start) == 0) ::lseek(u.fd, start, SEEK_SET);
    write_failure(u.name, u.name, error);
  }
}

ReadStatus FileSet::read_record(int unit, std::string& record, std::size_t keep, int& error_number,
                                std::size_t limit) {
  Unit& u = connected(unit);
  record.clear();
  if (!u.buffer) u.buffer = std::make_unique<char[]>(kReadBufferSize);
  bool any = false;
  std::size_t taken = 0;
  for (;;) {
    if (u.begin == u.end) {
      check_stop();  // a FIFO may keep the read waiting
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
    taken += length;
    if (taken > limit) return ReadStatus::too_long;
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
