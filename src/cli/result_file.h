// The file a sweep, a capacity chart or a merge writes: standard output, or a file locked while it
// is written, started anew or continued (--resume) after its rows are checked.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sweepfile/format.h"
#include "textio/buffered_file.h"
#include "textio/run_error.h"

namespace liftsim::cli {

class ResultFile {
 public:
  // Opens `path` ("-": standard output) and takes its lock (flock, exclusive) before anything in
  // it changes. A file another process holds locked is left untouched: the error says so (F6421),
  // as it says when the file cannot be opened.
  std::optional<textio::RunError> open(const std::string& path, bool for_reading);

  // Continues the file: reads it back (sweepfile::read_resumable; each row it holds goes to
  // `on_row`), cuts it after its last whole row of the study, and writes `head` when it held
  // none. Throws UsageError, with the file unchanged, when it holds another study's results.
  std::optional<textio::RunError> resume(const std::vector<std::string>& head,
                                         const sweepfile::Study& study,
                                         const std::function<void(sweepfile::ReadRow&)>& on_row,
                                         const std::atomic<int>* stop);
  // Starts the file anew with `head` (a regular file is emptied first).
  std::optional<textio::RunError> start(const std::vector<std::string>& head);

  // The rows it held when resumed.
  std::int64_t kept_rows() const { return kept_rows_; }
  const std::string& path() const { return path_; }

  // Writes bytes that end a record, to the file at once or, without `now`, when the buffer is
  // full (throws textio::RunFailure).
  void write(std::string_view bytes, bool now = true);
  // Flushes and closes, releasing the lock.
  void close();  // throws textio::RunFailure

 private:
  std::optional<textio::RunError> truncate_to(std::uint64_t bytes);

  std::string path_;
  int fd_ = -1;  // owned by file_ once adopted
  bool regular_ = false;
  textio::BufferedFile file_;
  std::int64_t kept_rows_ = 0;
};

}  // namespace liftsim::cli
