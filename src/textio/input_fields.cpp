#include "textio/input_fields.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace liftsim::textio {
namespace {

constexpr char kCtrlZ = '\x1a';

// Exponent digits are accumulated up to this bound and then saturate: any exponent this large
// already puts every mantissa of a real field far outside the double range.
constexpr std::int64_t kExponentCap = std::int64_t{1} << 40;

// Decimal exponents of the leading digit beyond which the value is certainly infinite or zero;
// values between these bounds are left to the correctly rounded conversion.
constexpr std::int64_t kLeadExponentMax = 310;
constexpr std::int64_t kLeadExponentMin = -330;

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_sign(char c) {
  return c == '+' || c == '-';
}
bool is_exponent_letter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// One field as cut from the record: where it stands and the characters kept for the number.
struct CutField {
  std::size_t begin = 0;  // index of the field's first character
  std::size_t end = 0;    // one past its last character (a terminating comma not included)
  bool end_of_file = false;
  std::string kept;
};

// Takes at most w characters from `pos` on. A line end stops the field and leaves `pos` on it, so
// that every later field of the statement comes out empty; a comma stops it and is consumed.
CutField cut_field(std::string_view record, std::size_t& pos, int w) {
  CutField field;
  field.begin = pos;
  field.end = pos;
  for (int taken = 0; taken < w; ++taken) {
    if (pos >= record.size()) break;
    const char c = record[pos];
    if (c == '\r' || c == '\n') break;
    if (c == ',') {
      ++pos;
      break;
    }
    ++pos;
    field.end = pos;
    if (c == kCtrlZ) {
      field.end_of_file = true;
      break;
    }
    if (c == ' ' || c == '\t') continue;
    field.kept.push_back(c);
  }
  // A number that opens with a sign or a point gets a zero digit, so "-", "." and "-.5" are
  // complete numbers.
  if (!field.kept.empty()) {
    if (is_sign(field.kept[0])) {
      field.kept.insert(1, 1, '0');
    } else if (field.kept[0] == '.') {
      field.kept.insert(0, 1, '0');
    }
  }
  return field;
}

// Reads a run of exponent digits, saturating instead of overflowing.
std::int64_t read_exponent_digits(std::string_view s, std::size_t& i) {
  std::int64_t value = 0;
  while (i < s.size() && is_digit(s[i])) {
    if (value < kExponentCap) value = value * 10 + (s[i] - '0');
    ++i;
  }
  return value;
}

// Converts the kept characters of a field with d implied decimals. On bad_character `offending`
// is the first character that cannot belong to the number.
FieldError convert(std::string_view s, int d, double& value, char& offending) {
  value = 0.0;
  if (s.empty()) return FieldError::none;

  std::size_t i = 0;
  bool negative = false;
  if (is_sign(s[i])) {
    negative = s[i] == '-';
    ++i;
  }

  // Mantissa: digits with at most one point. Leading zeros are dropped so that only
  // significant digits reach the conversion.
  std::string digits;
  std::int64_t fraction_digits = 0;
  bool have_digit = false;
  bool have_point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (is_digit(c)) {
      have_digit = true;
      if (have_point) ++fraction_digits;
      if (c != '0' || !digits.empty()) digits.push_back(c);
    } else if (c == '.' && !have_point) {
      have_point = true;
    } else {
      break;
    }
  }
  if (!have_digit) {
    offending = i < s.size() ? s[i] : s[i - 1];
    return FieldError::bad_character;
  }

  // Exponent: a letter with an optional sign, or a sign alone, then at least one digit.
  std::int64_t exponent = 0;
  if (i < s.size()) {
    const std::size_t start = i;
    bool exponent_negative = false;
    if (is_exponent_letter(s[i])) {
      ++i;
      if (i < s.size() && is_sign(s[i])) exponent_negative = s[i++] == '-';
    } else if (is_sign(s[i])) {
      exponent_negative = s[i++] == '-';
    } else {
      offending = s[i];
      return FieldError::bad_character;
    }
    if (i >= s.size() || !is_digit(s[i])) {
      offending = s[start];
      return FieldError::bad_character;
    }
    exponent = read_exponent_digits(s, i);
    if (exponent_negative) exponent = -exponent;
    if (i < s.size()) {
      offending = s[i];
      return FieldError::bad_character;
    }
  }

  const double zero = negative ? -0.0 : 0.0;
  if (digits.empty()) {
    value = zero;
    return FieldError::none;
  }

  // Without a point the digits form an integer scaled by 10^-d.
  const std::int64_t scale = exponent - (have_point ? fraction_digits : std::int64_t{d});
  const auto count = static_cast<std::int64_t>(digits.size());
  const std::int64_t lead = scale + count - 1;
  if (lead > kLeadExponentMax) return FieldError::too_large;
  if (lead < kLeadExponentMin) {
    value = zero;
    return FieldError::none;
  }

  digits.push_back('e');
  digits += std::to_string(scale);
  double magnitude = 0.0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (result.ec == std::errc::result_out_of_range) {
    if (lead > 0) return FieldError::too_large;
    magnitude = 0.0;  // below the smallest subnormal
  }
  value = negative ? -magnitude : magnitude;
  return FieldError::none;
}

}  // namespace

bool read_fields(std::string_view record, std::span<const FieldFormat> fields,
                 std::span<double> values, FieldFailure& failure,
                 std::span<std::string_view> texts) {
  if (values.size() < fields.size()) {
    throw std::invalid_argument("read_fields: fewer values than fields");
  }
  if (!texts.empty() && texts.size() != fields.size()) {
    throw std::invalid_argument("read_fields: texts must be as many as the fields");
  }
  failure = FieldFailure{};
  std::size_t pos = 0;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const CutField field = cut_field(record, pos, fields[k].w);
    if (!texts.empty()) texts[k] = record.substr(field.begin, field.end - field.begin);
    char offending = '\0';
    FieldError error = FieldError::end_of_file;
    if (!field.end_of_file) error = convert(field.kept, fields[k].d, values[k], offending);
    if (error != FieldError::none) {
      failure.error = error;
      failure.field_index = static_cast<int>(k);
      failure.first_column = static_cast<int>(field.begin) + 1;
      failure.last_column = static_cast<int>(field.end);
      failure.text = std::string(record.substr(field.begin, field.end - field.begin));
      failure.offending = error == FieldError::end_of_file ? kCtrlZ : offending;
      return false;
    }
  }
  return true;
}

}  // namespace liftsim::textio
