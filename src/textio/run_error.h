// A run's failure as a value: error number, statement kind, file and message, and its report text.
#pragma once

#include <exception>
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
  M6110,  // the integration stopped making progress (restarts without advance)
  M6201,  // math function: DOMAIN
  M6202,  // math function: SING
  M6203,  // math function: OVERFLOW
  M6205,  // math function: TLOSS
  S6600,  // the run was interrupted by a signal
};

// The statement kind a report names: a file statement with its file, or MATH, or SIGNAL.
enum class Statement { open, read, write, close, math, signal };

// "F6501", "M6104", ...
const char* error_code_text(ErrorCode code);

struct RunError {
  ErrorCode code = ErrorCode::M6101;
  Statement statement = Statement::math;
  std::string file;     // file statements: the file name as opened
  std::string message;  // the line after "- "

  bool operator==(const RunError&) const = default;
};

// The report bytes: an empty line, "run-time error F6501: READ(dani.dat)" (or ": MATH"), then
// "- " and the message, each line ending in CR LF.
std::string report_text(const RunError& error);

// Carries a RunError from where it happens up to the run's boundary, which turns it back into a
// value. Nothing outside a run sees it.
class RunFailure : public std::exception {
 public:
  explicit RunFailure(RunError error) : error_(std::move(error)) {}
  const RunError& error() const { return error_; }
  const char* what() const noexcept override { return error_.message.c_str(); }

 private:
  RunError error_;
};

// "SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT", or "signal N" for a signal without a name here.
std::string signal_name(int signal);

// The SIGNAL report values of a run stopped on request: S6600, "interrupted by " and the name of
// the signal whose number `signal` is.
RunError interrupted_error(int signal);

[[noreturn]] void fail(ErrorCode code, Statement statement, std::string_view file,
                       std::string message);
[[noreturn]] void fail_math(ErrorCode code, std::string message);

}  // namespace liftsim::textio
