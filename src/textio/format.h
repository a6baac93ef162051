// Fixed-format record writer: interprets format texts such as "(2X,E12.5,2X,E12.5)".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace liftsim::textio {

// One item of a write list: a double for E and F fields, a 32-bit integer for I fields.
struct Item {
  Item(double v) : real(v) {}                             // NOLINT(google-explicit-constructor)
  Item(std::int32_t v) : integer(v), is_integer(true) {}  // NOLINT(google-explicit-constructor)
  double real = 0.0;
  std::int32_t integer = 0;
  bool is_integer = false;
};

// Field texts, appended to `out`. A text wider than w becomes w asterisks. A real is first
// expanded to 17 significant digits and then rounded by the digit after the last one kept.
// NaN and infinities (which the floating-point traps normally stop first) are written as
// "NaN", "Inf" and "-Inf". A width below 1 appends nothing; a negative d counts as 0.
void append_e(std::string& out, double value, int w, int d);  // Ew.d
void append_f(std::string& out, double value, int w, int d);  // Fw.d
void append_i(std::string& out, std::int32_t value, int w);   // Iw

// Convenience forms returning the field.
std::string e_field(double value, int w, int d);
std::string f_field(double value, int w, int d);
std::string i_field(std::int32_t value, int w);

// The list-directed console record for an integer and a real (37 characters, no line end).
void append_list_directed(std::string& out, std::int32_t count, double value);

// A parsed format text. Quoted text is written in UTF-8 in the source and becomes
// Windows-1251 bytes. Supported: nX, 'text' ('' inside stands for one apostrophe), /,
// n(...) (nested), Ew.d, Fw.d, Iw, and a repeat count in front of E, F and I; items are
// separated by commas. Formats are program constants: a malformed one, or text without a
// Windows-1251 form, throws std::invalid_argument.
class Format {
 public:
  explicit Format(std::string_view text);

  // Appends the records the format produces for `items` (each ends in CR LF). When the items
  // run out, the text up to the next E, F or I descriptor (or the end) is still written. Fewer
  // items than descriptors is allowed; more items than descriptors, or an integer for E/F or a
  // real for I, throws std::invalid_argument and leaves `out` as it was. Does not allocate
  // when `out` has room for the records.
  void render(std::string& out, std::span<const Item> items) const;
  void render(std::string& out, std::initializer_list<Item> items) const {
    render(out, std::span<const Item>(items.begin(), items.size()));
  }

  // Number of E, F and I descriptors (after expanding repeat groups).
  int value_count() const { return value_count_; }

  struct Op {
    enum Kind { blanks, text, slash, e, f, i } kind;
    int w = 0;
    int d = 0;
    std::string bytes;  // for text: the Windows-1251 bytes
  };

 private:
  std::vector<Op> ops_;  // repeat groups already expanded
  int value_count_ = 0;
};

}  // namespace liftsim::textio
