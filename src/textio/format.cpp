#include "textio/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>

#include "textio/codepage.h"

namespace liftsim::textio {

namespace {

constexpr int kDigits = 17;

// A finite non-zero real as 0.D1 D2 ... D17 x 10^n, D1 not zero.
struct Expansion {
  char digit[kDigits];  // '0' ... '9'
  int n = 0;
  bool negative = false;

  // Digit i (from 0); every position past the seventeenth is zero.
  char at(int i) const { return i < kDigits ? digit[i] : '0'; }
};

Expansion expand(double value) {
  // "-D.DDDDDDDDDDDDDDDDe-DDD" at most
  char buf[32];
  const auto result =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, kDigits - 1);
  const char* p = buf;
  Expansion x;
  x.negative = *p == '-';
  if (x.negative) ++p;
  x.digit[0] = *p;
  std::memcpy(x.digit + 1, p + 2, kDigits - 1);  // the digits after the point
  p += 2 + (kDigits - 1) + 1;                    // past 'e'
  const bool negative_exponent = *p == '-';
  int exponent = 0;
  for (++p; p < result.ptr; ++p) exponent = exponent * 10 + (*p - '0');
  x.n = (negative_exponent ? -exponent : exponent) + 1;
  return x;
}

// Keeps the first `keep` digits, rounding on digit keep+1 alone (5 to 9 adds one unit in the
// last kept place, carrying through nines; a carry out of the first digit raises n). The
// dropped positions become zeros. Returns false when the value rounds to zero.
bool round_to(Expansion& x, int keep) {
  if (keep >= kDigits) return true;
  if (keep < 0) {
    std::fill(x.digit, x.digit + kDigits, '0');
    return false;
  }
  const bool up = x.digit[keep] >= '5';
  std::fill(x.digit + keep, x.digit + kDigits, '0');
  if (!up) return keep > 0;
  int i = keep - 1;
  while (i >= 0 && x.digit[i] == '9') x.digit[i--] = '0';
  if (i >= 0) {
    ++x.digit[i];
  } else {
    x.digit[0] = '1';
    ++x.n;
  }
  return true;
}

// Right-justifies a text of `length` characters in w columns; returns false (after writing w
// asterisks) when it does not fit.
bool place(std::string& out, int length, int w) {
  if (length > w) {
    out.append(static_cast<std::size_t>(w), '*');
    return false;
  }
  out.append(static_cast<std::size_t>(w - length), ' ');
  return true;
}

void append_digits(std::string& out, const Expansion& x, int from, int to) {
  for (int i = from; i < to; ++i) out += x.at(i);
}

void append_non_finite(std::string& out, double value, int w) {
  const std::string_view text = std::isnan(value) ? "NaN" : (value < 0.0 ? "-Inf" : "Inf");
  if (place(out, static_cast<int>(text.size()), w)) out.append(text);
}

// Exponent with its sign in `width` digits (leading zeros).
void append_exponent(std::string& out, int exponent, int width) {
  out += exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  char digits[3];
  for (int k = width - 1, m = magnitude; k >= 0; --k, m /= 10) digits[k] = '0' + m % 10;
  out.append(digits, static_cast<std::size_t>(width));
}

}  // namespace

void append_e(std::string& out, double value, int w, int d) {
  if (w < 1) return;
  d = std::max(d, 0);
  if (!std::isfinite(value)) return append_non_finite(out, value, w);
  Expansion x;
  if (value == 0.0) {
    std::fill(x.digit, x.digit + kDigits, '0');  // no sign, exponent 0
  } else {
    x = expand(value);
    round_to(x, d);
  }
  // sign, point, d digits, four-character exponent part
  if (!place(out, (x.negative ? 1 : 0) + 1 + d + 4, w)) return;
  if (x.negative) out += '-';
  out += '.';
  append_digits(out, x, 0, d);
  if (x.n >= -99 && x.n <= 99) {
    out += 'E';
    append_exponent(out, x.n, 2);
  } else {
    append_exponent(out, x.n, 3);  // the letter gives way to the third digit
  }
}

void append_f(std::string& out, double value, int w, int d) {
  if (w < 1) return;
  d = std::max(d, 0);
  if (!std::isfinite(value)) return append_non_finite(out, value, w);
  Expansion x;
  const bool nonzero = value != 0.0 && (x = expand(value), round_to(x, x.n + d));
  if (!nonzero) {
    // zero, or a value that rounds to zero: never a minus sign
    if (place(out, 1 + d, w)) {
      out += '.';
      out.append(static_cast<std::size_t>(d), '0');
    }
    return;
  }
  const int whole = std::max(x.n, 0);  // digits in front of the point; no leading zero
  if (!place(out, (x.negative ? 1 : 0) + whole + 1 + d, w)) return;
  if (x.negative) out += '-';
  append_digits(out, x, 0, whole);
  out += '.';
  if (x.n >= 0) {
    append_digits(out, x, x.n, x.n + d);
  } else {
    out.append(static_cast<std::size_t>(-x.n), '0');
    append_digits(out, x, 0, d + x.n);
  }
}

void append_i(std::string& out, std::int32_t value, int w) {
  if (w < 1) return;
  char buf[16];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  const int length = static_cast<int>(result.ptr - buf);
  if (place(out, length, w)) out.append(buf, static_cast<std::size_t>(length));
}

std::string e_field(double value, int w, int d) {
  std::string field;
  append_e(field, value, w, d);
  return field;
}

std::string f_field(double value, int w, int d) {
  std::string field;
  append_f(field, value, w, d);
  return field;
}

std::string i_field(std::int32_t value, int w) {
  std::string field;
  append_i(field, value, w);
  return field;
}

void append_list_directed(std::string& out, std::int32_t count, double value) {
  constexpr int kCountWidth = 11;
  constexpr int kRealWidth = 24;
  constexpr int kSignificant = 16;
  constexpr int kFraction = kSignificant - 1;  // digits after the point in both forms
  constexpr int kFixedBelow = 8;               // decimal exponents 1..7 are written without E
  out += ' ';
  append_i(out, count, kCountWidth);
  out += ' ';
  if (!std::isfinite(value)) return append_non_finite(out, value, kRealWidth);
  if (value == 0.0) {
    constexpr std::string_view zero = "0.000000000000000E+000";
    place(out, static_cast<int>(zero.size()), kRealWidth);
    out.append(zero);
    return;
  }
  Expansion x = expand(value);
  round_to(x, kSignificant);  // the form follows the exponent after this rounding
  const int sign = x.negative ? 1 : 0;
  if (x.n > 0 && x.n < kFixedBelow) {
    // n digits, point, 15 digits; places past the sixteenth significant digit are zeros
    place(out, sign + x.n + 1 + kFraction, kRealWidth);
    if (x.negative) out += '-';
    append_digits(out, x, 0, x.n);
    out += '.';
    append_digits(out, x, x.n, x.n + kFraction);
  } else {
    // one digit, point, 15 digits, E, the exponent's sign and three digits
    place(out, sign + 1 + 1 + kFraction + 1 + 4, kRealWidth);
    if (x.negative) out += '-';
    out += x.at(0);
    out += '.';
    append_digits(out, x, 1, kSignificant);
    out += 'E';
    append_exponent(out, x.n - 1, 3);
  }
}

// ---------------------------------------------------------------------------------------------
// Format texts

namespace {

// Bounds that keep a mistyped constant from expanding into something absurd.
constexpr int kLargestNumber = 9999;
constexpr std::size_t kMostOps = 100000;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::vector<Format::Op> parse() {
    expect('(');
    std::vector<Format::Op> ops = list();
    expect(')');
    if (pos_ != text_.size()) fail("text after the closing parenthesis");
    return ops;
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw std::invalid_argument("malformed format " + std::string(text_) + ": " + what +
                                " at position " + std::to_string(pos_));
  }

  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }

  void expect(char c) {
    if (peek() != c) fail(c == ')' ? "')' expected" : c == '(' ? "'(' expected" : "'.' expected");
    ++pos_;
  }

  static Format::Op simple(Format::Op::Kind kind, int w = 0) {
    Format::Op op{};
    op.kind = kind;
    op.w = w;
    return op;
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  int number() {
    if (!is_digit(peek())) fail("number expected");
    int value = 0;
    while (is_digit(peek())) {
      value = value * 10 + (text_[pos_++] - '0');
      if (value > kLargestNumber) fail("number too large");
    }
    return value;
  }

  // Items separated by commas, up to (not including) the closing parenthesis.
  std::vector<Format::Op> list() {
    std::vector<Format::Op> ops;
    item(ops);
    while (peek() == ',') {
      ++pos_;
      item(ops);
    }
    return ops;
  }

  static void repeat(std::vector<Format::Op>& ops, const std::vector<Format::Op>& body, int count) {
    if (body.size() * static_cast<std::size_t>(count) > kMostOps - ops.size()) {
      throw std::invalid_argument("format expands to too many descriptors");
    }
    for (int k = 0; k < count; ++k) ops.insert(ops.end(), body.begin(), body.end());
  }

  void item(std::vector<Format::Op>& ops) {
    if (peek() == '\'') return ops.push_back(quoted());
    if (peek() == '/') {
      ++pos_;
      return ops.push_back(simple(Format::Op::slash));
    }
    int count = 1;
    const bool counted = is_digit(peek());
    if (counted) {
      count = number();
      if (count < 1) fail("count must be positive");
    }
    if (peek() == 'X') {
      if (!counted) fail("count expected in front of X");
      ++pos_;
      return ops.push_back(simple(Format::Op::blanks, count));
    }
    if (peek() == '(') {
      ++pos_;
      const std::vector<Format::Op> body = list();
      expect(')');
      return repeat(ops, body, count);
    }
    repeat(ops, {edit_descriptor()}, count);
  }

  Format::Op edit_descriptor() {
    Format::Op op{};
    switch (peek()) {
      case 'E':
        op.kind = Format::Op::e;
        break;
      case 'F':
        op.kind = Format::Op::f;
        break;
      case 'I':
        op.kind = Format::Op::i;
        break;
      default:
        fail("descriptor expected");
    }
    ++pos_;
    op.w = number();
    if (op.w < 1) fail("width must be positive");
    if (op.kind == Format::Op::i) return op;
    expect('.');
    op.d = number();
    if (op.kind == Format::Op::e && op.d < 1) fail("E needs at least one digit");
    return op;
  }

  Format::Op quoted() {
    ++pos_;  // opening apostrophe
    std::string utf8;
    for (;;) {
      if (at_end()) fail("unterminated text");
      const char c = text_[pos_++];
      if (c == '\'') {
        if (peek() != '\'') break;
        ++pos_;  // '' stands for one apostrophe
      }
      utf8 += c;
    }
    return {Format::Op::text, 0, 0, to_cp1251(utf8)};
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

Format::Format(std::string_view text) : ops_(Parser(text).parse()) {
  value_count_ = static_cast<int>(std::count_if(ops_.begin(), ops_.end(), [](const Op& op) {
    return op.kind == Op::e || op.kind == Op::f || op.kind == Op::i;
  }));
}

void Format::render(std::string& out, std::span<const Item> items) const {
  const std::size_t start = out.size();
  auto reject = [&](const char* what) {
    out.resize(start);
    throw std::invalid_argument(what);
  };
  if (items.size() > static_cast<std::size_t>(value_count_)) {
    reject("more items than the format has fields for");
  }
  std::size_t next = 0;
  for (const Op& op : ops_) {
    switch (op.kind) {
      case Op::blanks:
        out.append(static_cast<std::size_t>(op.w), ' ');
        continue;
      case Op::text:
        out.append(op.bytes);
        continue;
      case Op::slash:
        out.append("\r\n");
        continue;
      case Op::e:
      case Op::f:
      case Op::i:
        break;
    }
    if (next == items.size()) break;  // the statement ends at the first field without an item
    const Item& item = items[next++];
    if (item.is_integer != (op.kind == Op::i)) reject("item does not match its field");
    if (op.kind == Op::e) {
      append_e(out, item.real, op.w, op.d);
    } else if (op.kind == Op::f) {
      append_f(out, item.real, op.w, op.d);
    } else {
      append_i(out, item.integer, op.w);
    }
  }
  out.append("\r\n");
}

}  // namespace liftsim::textio
