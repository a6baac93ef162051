#include "run/input.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <span>
#include <string>

#include "textio/input_fields.h"

namespace liftsim::run {
namespace {

using textio::ErrorCode;
using textio::Statement;

// The widest record statement reads two fields of ten columns.
constexpr std::size_t kKeptBytes = 64;

std::string describe(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte < 0x7F) return std::string("'") + c + "'";
  char hex[16];
  std::snprintf(hex, sizeof hex, "byte 0x%02X", byte);
  return hex;
}

std::string printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += (byte >= 0x20 && byte < 0x7F) ? c : '?';
  }
  return out;
}

// Whether a field's characters hold a mantissa without a decimal point (so the field's implied
// point placed it) and at least one digit other than zero.
bool implied_point_used(std::string_view field, int decimals) {
  if (decimals == 0) return false;
  bool digit = false;
  for (char c : field) {
    if (c == '.') return false;
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') break;
    if (c >= '1' && c <= '9') digit = true;
  }
  return digit;
}

std::string_view trim_blanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Built-in values are single-precision constants: a value read that rounds to the same single is
// the same value written out.
bool same_as_built_in(double read, double built_in) {
  // A value beyond the single range cannot be a built-in (and converting it is undefined).
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (!(std::fabs(read) <= kLargest) || !(std::fabs(built_in) <= kLargest)) return false;
  return static_cast<float>(read) == static_cast<float>(built_in);
}

[[noreturn]] void read_failure(std::string_view file_name, ErrorCode code, std::string message) {
  textio::fail(code, Statement::read, file_name, std::move(message));
}

}  // namespace

RecordSource memory_source(const std::string& text, std::size_t& position) {
  return [&text, &position](std::string& record, std::size_t keep, int&) {
    record.clear();
    if (position >= text.size()) return textio::ReadStatus::end_of_file;
    const std::size_t lf = text.find('\n', position);
    const std::size_t end = lf == std::string::npos ? text.size() : lf;
    record.assign(text, position, std::min(end - position, keep));
    if (end - position > kLongestRecord) {
      position += kLongestRecord;
      return textio::ReadStatus::too_long;
    }
    position = lf == std::string::npos ? text.size() : lf + 1;
    return textio::ReadStatus::ok;
  };
}

void read_case(const RecordSource& source, std::string_view file_name,
               const params::Overrides& overrides, params::CaseValues& values, const EchoFn& echo,
               InputNotes* notes) {
  const auto blocks = params::echo_blocks();
  std::size_t next_block = 0;
  if (notes != nullptr) notes->plain = params::built_in_case();
  for (const params::Assignment& a : overrides.list()) {
    if (a.param->record == 0) a.param->ref(values) = a.value;
  }
  std::string record;
  for (const params::Record& rec : params::records()) {
    const std::string number = std::to_string(rec.number);
    int error_number = 0;
    switch (source(record, kKeptBytes, error_number)) {
      case textio::ReadStatus::ok:
        break;
      case textio::ReadStatus::end_of_file:
        read_failure(file_name, ErrorCode::F6501,
                     "end of file: record " + number + " of " +
                         std::to_string(params::kInputRecords) + " (" + std::string(rec.what) +
                         ") is missing");
      case textio::ReadStatus::failure:
        read_failure(file_name, ErrorCode::F6500,
                     "read failure at record " + number + " (" + std::string(rec.what) +
                         "): " + std::strerror(error_number));
      case textio::ReadStatus::too_long:
        read_failure(file_name, ErrorCode::F6500,
                     "record " + number + " (" + std::string(rec.what) + ") runs on beyond " +
                         std::to_string(kLongestRecord) + " bytes without a line end");
    }
    const std::array<textio::FieldFormat, 2> fields{rec.field, rec.field};
    std::array<double, 2> read{};
    std::array<std::string_view, 2> texts;
    textio::FieldFailure failure;
    if (!textio::read_fields(record, std::span(fields.data(), rec.fields), read, failure,
                             std::span(texts.data(), rec.fields))) {
      const std::string where = "record " + number + ", columns " +
                                std::to_string(failure.first_column) + "-" +
                                std::to_string(failure.last_column) + " (" +
                                std::string(rec.field_what[failure.field_index]) + ")";
      switch (failure.error) {
        case textio::FieldError::bad_character:
          read_failure(file_name, ErrorCode::F6103,
                       "invalid character " + describe(failure.offending) + " in " + where);
        case textio::FieldError::too_large:
          read_failure(
              file_name, ErrorCode::F6102,
              "value '" + printable(failure.text) + "' too large for a double in " + where);
        case textio::FieldError::end_of_file:
        case textio::FieldError::none:
          break;
      }
      read_failure(file_name, ErrorCode::F6501, "end-of-file mark (Ctrl-Z) in " + where);
    }

    for (int k = 0; k < rec.fields; ++k) {
      const params::Param& p = *params::find_param(rec.params[k]);
      double used = read[k];
      if (p.built_in) used = *p.built_in;
      if (const auto set = overrides.find(p)) used = *set;
      p.ref(values) = used;
      if (notes == nullptr) continue;
      p.ref(notes->plain) = p.built_in ? *p.built_in : read[k];
      if (p.built_in && !same_as_built_in(read[k], *p.built_in) && !overrides.find(p)) {
        notes->ignored.push_back({rec.number, &p, read[k], used});
      }
      if (!p.built_in && !overrides.find(p)) {
        // Where the value reaches the model, a field without a decimal point that the implied
        // point moved deserves a word.
        const std::string_view text = trim_blanks(texts[k]);
        if (implied_point_used(text, rec.field.d)) {
          notes->implied_points.push_back({rec.number, &p, std::string(text), used});
        }
      }
    }

    if (next_block < blocks.size() && blocks[next_block].after_record == rec.number) {
      if (echo) echo(blocks[next_block], values);
      ++next_block;
    }
  }
}

}  // namespace liftsim::run
