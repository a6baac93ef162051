// A run's files: numbered units opened relative to the run's folder, record writes and reads.
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "textio/run_error.h"

namespace liftsim::textio {

enum class ReadStatus {
  ok,
  end_of_file,
  failure,
  too_long,  // the record goes on beyond the limit the reader set
};

// The files one run has open, each on a unit number 0..99, opened relative to the run's folder
// (a directory descriptor, not the process's working directory). Nothing here is shared between
// runs. Failures throw RunFailure with the OPEN, READ or WRITE report's values; using a unit
// number outside 0..99, or a unit that is not connected, is a fault of the calling code and
// throws std::logic_error. The destructor closes every unit still connected.
//
// A regular file connected by open() or open_input() is locked (flock) while connected: outputs
// exclusively, the input shared, so that a second run using the same files ends at OPEN instead
// of writing into files another run is writing. Locks are per connection, so two sets in one
// process exclude each other too. Devices, FIFOs and file systems without locks are not locked.
class FileSet {
 public:
  static constexpr int kUnitCount = 100;

  // `dir_fd`: the run's folder (AT_FDCWD for the working directory); not owned. `stop`, when
  // given, is polled before an open or a read that may block and when one is interrupted by a
  // signal: a non-zero value (the number of the signal that asked) ends the operation with
  // RunFailure carrying interrupted_error(value).
  explicit FileSet(int dir_fd, const std::atomic<int>* stop = nullptr);
  ~FileSet();
  FileSet(const FileSet&) = delete;
  FileSet& operator=(const FileSet&) = delete;

  // Connects `unit` to the named file (blanks around the name removed): a missing file is created
  // empty, an existing one is opened unchanged, read-write, else read-only, else write-only; a
  // symbolic link to a missing file creates that file. A unit that is already connected is
  // closed first. A regular file that is the same file as another connected unit (a link, or the
  // same name twice) is refused with F6414, as is one that another run has locked.
  void open(int unit, std::string_view file_name);

  // As open(), for the file a run reads its input from: an existing file that is not a regular
  // file (a FIFO, a device) is opened for reading only, since holding a FIFO's write end would
  // keep its end of file from ever coming; a regular file is locked shared.
  void open_input(int unit, std::string_view file_name);

  // Connects `unit` to an existing file for reading only; nothing is created or changed.
  void open_for_reading(int unit, std::string_view file_name);

  // Disconnects the unit and keeps the file. Closing a free unit does nothing.
  void close(int unit);
  void close_all();

  // Writes complete records (each already ending in CR LF) to the unit, in one system call when the
  // operating system takes it whole. Just before the first write to a unit the file is cut at the
  // current position. A refused write is F6421, a full disk F6422; a regular file is then cut
  // back to where the records began, so that it holds whole records only.
  void write_records(int unit, std::string_view records);

  // Takes the next record (up to LF, which is not kept; a final line without LF is a record too).
  // At most `keep` leading bytes are stored in `record`; the rest of the record is skipped up to
  // `limit` bytes in all: a record longer than that gives `too_long`, with the unit left inside
  // the record. On `failure`, `error_number` holds the operating system's error.
  ReadStatus read_record(int unit, std::string& record, std::size_t keep, int& error_number,
                         std::size_t limit = SIZE_MAX);

 private:
  enum class Access { read_write, read_only, write_only };
  enum class Use { output, input };
  struct Unit {
    int fd = -1;
    std::string name;
    Access access = Access::read_write;
    bool regular = false;  // a regular file: cut, checked for aliases, locked
    dev_t device = 0;      // the file's identity, for regular files
    ino_t inode = 0;
    int refusal = 0;                 // why read-write access was refused, when the unit got less
    bool written = false;            // set at the first write; the file is cut only then
    std::unique_ptr<char[]> buffer;  // read-ahead, allocated at the first read
    std::size_t begin = 0;           // unconsumed bytes are buffer[begin, end)
    std::size_t end = 0;
  };

  Unit& slot(int unit);
  Unit& connected(int unit);
  void open_as(int unit, std::string_view file_name, Use use);
  void attach(int unit, int fd, std::string name, Access access, int refusal, Use use);
  int open_at(const char* path, int flags, mode_t mode = 0) const;
  void check_stop() const;

  int dir_fd_;
  const std::atomic<int>* stop_;
  std::array<Unit, kUnitCount> units_;
};

// Standard output of a run: the progress lines and the stop line. A failing write is the WRITE
// report for the file name "stdout".
class Console {
 public:
  explicit Console(int fd) : fd_(fd) {}
  void write(std::string_view bytes);
  // Ends an open line with CR LF, then writes "Stop - Program terminated." and CR LF.
  void write_stop_line();

 private:
  int fd_;
  bool line_open_ = false;
};

// Writes every byte to `fd`, going on after partial writes and interruptions. Async-signal-safe.
// The report's code for an open or create that failed with the error number `error`: F6417 too
// many open files, F6416 a folder on the way missing, F6414 anything else.
ErrorCode open_error_code(int error);

// The report's code for a write that failed with the error number `error`: F6422 a full disk (or
// quota, or the file-size limit), F6421 anything else.
ErrorCode write_error_code(int error);

// Returns false with errno set when the descriptor refuses the bytes.
bool write_all(int fd, std::string_view bytes);

}  // namespace liftsim::textio
