#include "textio/run_error.h"

#include <signal.h>

#include <cstddef>
#include <iterator>

namespace liftsim::textio {

const char* error_code_text(ErrorCode code) {
  // In the order of the enumeration.
  static constexpr const char* kText[] = {"F6102", "F6103", "F6414", "F6416", "F6417", "F6421",
                                          "F6422", "F6500", "F6501", "M6101", "M6103", "M6104",
                                          "M6110", "M6201", "M6202", "M6203", "M6205", "S6600"};
  static_assert(std::size(kText) == static_cast<std::size_t>(ErrorCode::S6600) + 1);
  const auto index = static_cast<std::size_t>(code);
  return index < std::size(kText) ? kText[index] : "?????";
}

std::string report_text(const RunError& error) {
  std::string text = "\r\nrun-time error ";
  text += error_code_text(error.code);
  switch (error.statement) {
    case Statement::math:
      text += ": MATH";
      break;
    case Statement::signal:
      text += ": SIGNAL";
      break;
    case Statement::open:
    case Statement::read:
    case Statement::write:
    case Statement::close: {
      static constexpr const char* kKind[] = {": OPEN(", ": READ(", ": WRITE(", ": CLOSE("};
      text += kKind[static_cast<int>(error.statement)];
      text += error.file;
      text += ')';
      break;
    }
  }
  text += "\r\n- ";
  text += error.message;
  text += "\r\n";
  return text;
}

std::string signal_name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGQUIT:
      return "SIGQUIT";
    default:
      return "signal " + std::to_string(signal);
  }
}

RunError interrupted_error(int signal) {
  return RunError{ErrorCode::S6600, Statement::signal, {}, "interrupted by " + signal_name(signal)};
}

void fail(ErrorCode code, Statement statement, std::string_view file, std::string message) {
  throw RunFailure(RunError{code, statement, std::string(file), std::move(message)});
}

void fail_math(ErrorCode code, std::string message) {
  throw RunFailure(RunError{code, Statement::math, {}, std::move(message)});
}

}  // namespace liftsim::textio
