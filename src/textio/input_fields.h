// Numeric input fields: cutting fixed-width fields out of a record and converting them.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace liftsim::textio {

// Width w and decimal count d of one input field (Fw.d and Ew.d read alike).
struct FieldFormat {
  int w = 0;
  int d = 0;
};

enum class FieldError {
  none,
  bad_character,  // F6103
  too_large,      // F6102
  end_of_file,    // F6501: Ctrl-Z inside a field
};

// Where a conversion failed, for the error message.
struct FieldFailure {
  FieldError error = FieldError::none;
  int field_index = 0;   // 0-based index into the field list
  int first_column = 0;  // 1-based columns the field took
  int last_column = 0;
  std::string text;       // the characters of the field as they stand in the record
  char offending = '\0';  // bad_character: first character that cannot belong to the number;
                          // end_of_file: the Ctrl-Z
};

// Cuts the fields of `fields` from `record` (the record's bytes without its LF) and converts them
// into `values` (at least as long; std::invalid_argument otherwise). A CR ends the field it stands
// in and leaves every later field empty (0.0); text after the last field is ignored. Returns false
// and fills `failure` at the first field that is not a number or holds a Ctrl-Z; the values of
// the fields before it are then stored, the others are left unchanged. When `texts` is not
// empty (it must then be as long as `fields`), it receives the characters each field took as they
// stand in the record (no terminating comma, no line end): views into `record`.
bool read_fields(std::string_view record, std::span<const FieldFormat> fields,
                 std::span<double> values, FieldFailure& failure,
                 std::span<std::string_view> texts = {});

}  // namespace liftsim::textio
