// A data file written through a buffer: whole records handed over, one system call per buffer load.
#pragma once

#include <string>
#include <string_view>

namespace liftsim::textio {

// Output for data files (CSV, JSON). Records are appended to a buffer and the buffer goes to the
// file when it is full, on flush() and on close(). Only whole records are handed to the file: a
// record that was begun but not ended by end_record() (a run interrupted in the middle of one) is
// dropped. A failing write throws RunFailure with the WRITE report for the file name; what the
// system took before it failed (a full disk) stays, so the file may end inside a record.
class BufferedFile {
 public:
  BufferedFile() = default;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;
  ~BufferedFile();

  // Creates or truncates `path` (relative to the working directory unless absolute), or uses
  // standard output for "-". Throws RunFailure (OPEN) when it cannot.
  void open(const std::string& path);
  // Writes to `fd`, an open file named `path`, from where it stands; the file owns it from now on
  // (closes it, which also releases any lock held through it).
  void adopt(int fd, const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  const std::string& name() const { return name_; }

  std::string& buffer() { return buffer_; }  // append the current record here
  void end_record();                         // the record is whole; writes when the buffer is full
  void flush();                              // writes every whole record
  void close();                              // flush, then close (standard output stays open)

 private:
  void open_with(const std::string& path, int mode);

  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
  std::string buffer_;
  std::size_t whole_ = 0;  // bytes of buffer_ that form whole records
};

}  // namespace liftsim::textio
