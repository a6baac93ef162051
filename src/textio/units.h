// Numbered file units: connection rules, whole-record writes, record reads, normal and error stop.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace liftsim::textio {

// Run-time error numbers of the error report.
enum class ErrorCode {
  F6102,  // READ: value too large for a double
  F6103,  // READ: character that cannot belong to the number
  F6414,  // OPEN: access denied in all three modes
  F6416,  // OPEN: folder does not exist
  F6417,  // OPEN: too many open files
  F6421,  // WRITE: write refused (access denied, locked)
  F6422,  // WRITE: disk full
  F6500,  // READ: operating-system read failure
  F6501,  // READ: end of file (or Ctrl-Z inside a field)
  M6101,  // floating-point invalid operation
  M6103,  // floating-point division by zero
  M6104,  // floating-point overflow
  M6201,  // math function: DOMAIN
  M6202,  // math function: SING
  M6203,  // math function: OVERFLOW
  M6205,  // math function: TLOSS
};

enum class Statement { open, read, write, close };

// "F6501", "M6104", ...
const char* error_code_text(ErrorCode code);

// Writes the error report for a file statement to standard error and ends the process with
// status 1. Every record written before stays in its file.
[[noreturn]] void file_error(ErrorCode code, Statement statement, std::string_view file_name,
                             std::string_view message);

// The same for a floating-point or math-function error (": MATH").
[[noreturn]] void math_error(ErrorCode code, std::string_view message);

// The MATH report for the floating-point fault handler: async-signal-safe (no allocation, no
// locks, only write and _exit), ends the process with status 1.
[[noreturn]] void math_error_from_signal(ErrorCode code, const char* message) noexcept;

// Connects `unit` to the named file (blanks around the name removed): a missing file is created
// empty, an existing one is opened unchanged, read-write, else read-only, else write-only.
// Failures end the run with the OPEN report. A unit that is already connected is closed first.
void open_unit(int unit, std::string_view file_name);

// Units are numbered 0 to 99. Using a number outside that range, or reading or writing a unit
// that is not connected, is a fault of the calling code and throws std::logic_error.

// Disconnects the unit and keeps the file. Closing a free unit does nothing.
void close_unit(int unit);

// Name the unit was opened with; empty for a free unit.
std::string_view unit_file_name(int unit);

// Writes complete records (each already ending in CR LF) to the unit, in one system call when the
// operating system takes it whole. Just before the first write to a unit the file is cut at the
// current position. A refused write ends the run with F6421, a full disk with F6422.
void write_records(int unit, std::string_view records);

enum class ReadStatus { ok, end_of_file, failure };

// Takes the next record (up to LF, which is not kept; a final line without LF is a record too).
// At most `keep` leading bytes are stored in `record`; the rest of the record is skipped, however
// long. On `failure`, `error_number` holds the operating system's error.
ReadStatus read_record(int unit, std::string& record, std::size_t keep, int& error_number);

// Writes bytes to standard output (the progress lines). A failing write ends the run with the
// WRITE report for the file name "stdout". Bytes that do not end in LF leave the console line open.
void write_console(std::string_view bytes);

// Normal end: closes every unit, ends an open console line with CR LF, writes
// "Stop - Program terminated." and CR LF to standard output, exit status 0.
[[noreturn]] void normal_stop();

}  // namespace liftsim::textio
