#include "cli/result_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/common.h"
#include "sweepfile/stored.h"

namespace liftsim::cli {
namespace {

textio::RunError open_error(const std::string& path, int error) {
  const textio::ErrorCode code = error == EMFILE || error == ENFILE    ? textio::ErrorCode::F6417
                                 : error == ENOENT || error == ENOTDIR ? textio::ErrorCode::F6416
                                                                       : textio::ErrorCode::F6414;
  return {code, textio::Statement::open, path, "cannot open " + path + ": " + std::strerror(error)};
}

textio::RunError write_error(const std::string& path, int error) {
  return {error == ENOSPC || error == EDQUOT || error == EFBIG ? textio::ErrorCode::F6422
                                                               : textio::ErrorCode::F6421,
          textio::Statement::write, path, "cannot write to " + path + ": " + std::strerror(error)};
}

}  // namespace

std::optional<textio::RunError> ResultFile::open(const std::string& path, bool for_reading) {
  path_ = path;
  if (path == "-") {
    file_.open("-");
    return std::nullopt;
  }
  fd_ = ::open(path.c_str(), (for_reading ? O_RDWR : O_WRONLY) | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return open_error(path, errno);
  file_.adopt(fd_, path);  // closed, and the lock released, with the object
  int locked = 0;
  do {
    locked = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0 && errno == EWOULDBLOCK) {
    return textio::RunError{textio::ErrorCode::F6421, textio::Statement::open, path,
                            path +
                                " is being written by another liftsim, which holds its lock; "
                                "it was left as it is"};
  }
  // A file system without locks (some network ones) leaves the file unguarded, but usable.
  struct stat st {};
  regular_ = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  return std::nullopt;
}

std::optional<textio::RunError> ResultFile::truncate_to(std::uint64_t bytes) {
  if (!regular_) return std::nullopt;
  if (::ftruncate(fd_, static_cast<off_t>(bytes)) != 0 ||
      ::lseek(fd_, static_cast<off_t>(bytes), SEEK_SET) < 0) {
    return write_error(path_, errno);
  }
  return std::nullopt;
}

std::optional<textio::RunError> ResultFile::resume(
    const std::vector<std::string>& head, const sweepfile::Study& study,
    const std::function<void(sweepfile::ReadRow&)>& on_row, const std::atomic<int>* stop) {
  if (fd_ < 0) throw UsageError{"--resume needs an output file, not standard output"};
  sweepfile::Resumable kept;
  if (regular_) {
    if (auto bad = sweepfile::read_resumable(fd_, head, study, on_row, kept, stop)) {
      if (stop != nullptr && stop->load() != 0) return textio::interrupted_error(stop->load());
      throw UsageError{"--resume: " + path_ + ": " + *bad};
    }
  }
  if (kept.bytes == 0) return start(head);
  kept_rows_ = kept.rows;
  return truncate_to(kept.bytes);
}

std::optional<textio::RunError> ResultFile::start(const std::vector<std::string>& head) {
  if (fd_ >= 0) {
    if (auto bad = truncate_to(0)) return bad;
  }
  try {
    for (const std::string& line : head) write(line);
  } catch (const textio::RunFailure& failure) {
    return failure.error();
  }
  return std::nullopt;
}

void ResultFile::write(std::string_view bytes, bool now) {
  file_.buffer() += bytes;
  file_.end_record();
  if (now) file_.flush();
}

void ResultFile::close() {
  file_.close();
  fd_ = -1;
}

}  // namespace liftsim::cli
