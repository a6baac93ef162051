#include "textio/units.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

namespace liftsim::textio {
namespace {

constexpr int kUnitCount = 100;
constexpr std::size_t kReadBufferSize = 64 * 1024;

enum class Access { read_write, read_only, write_only };

struct Unit {
  int fd = -1;
  std::string name;
  Access access = Access::read_write;
  int refusal = 0;                 // why read-write access was refused, when the unit got less
  bool written = false;            // set at the first write; the file is cut only then
  std::unique_ptr<char[]> buffer;  // read-ahead, allocated at the first read
  std::size_t begin = 0;           // unconsumed bytes are buffer[begin, end)
  std::size_t end = 0;
};

Unit g_units[kUnitCount];
bool g_console_line_open = false;

Unit& slot(int unit) {
  if (unit < 0 || unit >= kUnitCount) {
    throw std::out_of_range("unit number " + std::to_string(unit) + " is outside 0.." +
                            std::to_string(kUnitCount - 1));
  }
  return g_units[unit];
}

Unit& connected(int unit) {
  Unit& u = slot(unit);
  if (u.fd < 0) throw std::logic_error("unit " + std::to_string(unit) + " is not connected");
  return u;
}

// --- the error report -------------------------------------------------------------------------

iovec piece(std::string_view text) {
  return iovec{const_cast<char*>(text.data()), text.size()};
}

// Writes every byte of the pieces to `fd`, going on after partial writes and interruptions.
// Async-signal-safe. Returns false with errno set when the descriptor refuses the bytes.
bool write_all(int fd, iovec* iov, int count) {
  while (count > 0 && iov->iov_len == 0) {
    ++iov;
    --count;
  }
  while (count > 0) {
    const ssize_t n = ::writev(fd, iov, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    auto left = static_cast<std::size_t>(n);
    while (count > 0 && left >= iov->iov_len) {
      left -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<char*>(iov->iov_base) + left;
      iov->iov_len -= left;
    }
  }
  return true;
}

bool write_all(int fd, std::string_view bytes) {
  iovec one = piece(bytes);
  return write_all(fd, &one, 1);
}

const char* statement_text(Statement statement) {
  switch (statement) {
    case Statement::open:
      return ": OPEN(";
    case Statement::read:
      return ": READ(";
    case Statement::write:
      return ": WRITE(";
    case Statement::close:
      return ": CLOSE(";
  }
  return ": ?(";
}

// `statement` null: the MATH form. Nothing here allocates, so the signal handler may use it.
void write_report(ErrorCode code, const char* statement, std::string_view file_name,
                  std::string_view message) noexcept {
  iovec iov[7];
  int n = 0;
  iov[n++] = piece("\r\nrun-time error ");
  iov[n++] = piece(error_code_text(code));
  if (statement != nullptr) {
    iov[n++] = piece(statement);
    iov[n++] = piece(file_name);
    iov[n++] = piece(")\r\n- ");
  } else {
    iov[n++] = piece(": MATH\r\n- ");
  }
  iov[n++] = piece(message);
  iov[n++] = piece("\r\n");
  write_all(STDERR_FILENO, iov, n);  // nowhere left to report a failure of the error stream
}

// --- failures of the unit operations ----------------------------------------------------------

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
  file_error(code, Statement::open, name, message);
}

[[noreturn]] void write_failure(std::string_view name, std::string_view shown_as, int error,
                                std::string_view note = {}) {
  std::string message = "cannot write to ";
  message += shown_as;
  message += ": ";
  message += std::strerror(error);
  message += note;
  file_error(is_disk_full(error) ? ErrorCode::F6422 : ErrorCode::F6421, Statement::write, name,
             message);
}

// --- opening ----------------------------------------------------------------------------------

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// Opens an existing file without changing it: read-write, else read-only, else write-only.
// Returns -1 with `error` set when a mode fails for a reason other than a refusal, or when all
// three are refused (then `error` is the read-write refusal).
int open_existing(const char* path, Access& access, int& refusal, int& error) {
  static constexpr struct {
    int flags;
    Access access;
  } kModes[] = {
      {O_RDWR, Access::read_write}, {O_RDONLY, Access::read_only}, {O_WRONLY, Access::write_only}};
  refusal = 0;
  for (const auto& mode : kModes) {
    int fd;
    do {
      fd = ::open(path, mode.flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      access = mode.access;
      return fd;
    }
    if (!is_refusal(errno)) {
      error = errno;
      return -1;
    }
    if (refusal == 0) refusal = errno;
  }
  error = refusal;
  return -1;
}

// Puts back what the reader took ahead of the records it delivered, so that the descriptor's
// position is the unit's position again.
void drop_read_ahead(Unit& u) {
  if (u.end > u.begin) ::lseek(u.fd, -static_cast<off_t>(u.end - u.begin), SEEK_CUR);
  u.begin = u.end = 0;
}

}  // namespace

const char* error_code_text(ErrorCode code) {
  // In the order of the enumeration.
  static constexpr const char* kText[] = {"F6102", "F6103", "F6414", "F6416", "F6417", "F6421",
                                          "F6422", "F6500", "F6501", "M6101", "M6103", "M6104",
                                          "M6201", "M6202", "M6203", "M6205"};
  static_assert(std::size(kText) == static_cast<std::size_t>(ErrorCode::M6205) + 1);
  const auto index = static_cast<std::size_t>(code);
  return index < std::size(kText) ? kText[index] : "?????";
}

// Every write of the units is a system call of its own, so nothing is pending here: the records
// written so far are in their files, and the descriptors close with the process.
void file_error(ErrorCode code, Statement statement, std::string_view file_name,
                std::string_view message) {
  write_report(code, statement_text(statement), file_name, message);
  std::exit(1);
}

void math_error(ErrorCode code, std::string_view message) {
  write_report(code, nullptr, {}, message);
  std::exit(1);
}

void math_error_from_signal(ErrorCode code, const char* message) noexcept {
  write_report(code, nullptr, {}, std::string_view(message, std::strlen(message)));
  ::_exit(1);
}

void open_unit(int unit, std::string_view file_name) {
  Unit& u = slot(unit);
  if (u.fd >= 0) close_unit(unit);

  const std::string name(trim_blanks(file_name));
  const char* path = name.c_str();
  int fd = -1;
  Access access = Access::read_write;
  int refusal = 0;
  // A missing file is created exclusively, so an existing one is never cut. Should another
  // process create or remove the file between the two opens, the attempt is repeated.
  for (int attempt = 0;; ++attempt) {
    do {
      fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) break;
    if (errno != EEXIST) open_failure(name, errno, true);

    int error = 0;
    fd = open_existing(path, access, refusal, error);
    if (fd >= 0) break;
    if (error == ENOENT && attempt < 3) continue;
    open_failure(name, error, false);
  }

  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    open_failure(name, EISDIR, false);
  }
  ::lseek(fd, 0, SEEK_SET);  // fails harmlessly on pipes and terminals

  u.fd = fd;
  u.name = name;
  u.access = access;
  u.refusal = refusal;
  u.written = false;
  u.begin = u.end = 0;
}

void close_unit(int unit) {
  Unit& u = slot(unit);
  if (u.fd < 0) return;
  ::close(u.fd);
  u.fd = -1;
  u.name.clear();
  u.written = false;
  u.begin = u.end = 0;
}

std::string_view unit_file_name(int unit) {
  return slot(unit).name;
}

void write_records(int unit, std::string_view records) {
  Unit& u = connected(unit);
  if (records.empty()) return;
  drop_read_ahead(u);
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

ReadStatus read_record(int unit, std::string& record, std::size_t keep, int& error_number) {
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

void write_console(std::string_view bytes) {
  if (bytes.empty()) return;
  if (!write_all(STDOUT_FILENO, bytes)) write_failure("stdout", "standard output", errno);
  g_console_line_open = bytes.back() != '\n';
}

void normal_stop() {
  for (int unit = 0; unit < kUnitCount; ++unit) close_unit(unit);
  if (g_console_line_open) write_console("\r\n");
  write_console("Stop - Program terminated.\r\n");
  std::exit(0);
}

}  // namespace liftsim::textio
