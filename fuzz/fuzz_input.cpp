// Fuzz target: whole input files through the record reader, checked against the record rules.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "params/table.h"
#include "property.h"
#include "run/input.h"
#include "textio/run_error.h"

namespace {

using liftsim::fuzz::broken;
using liftsim::params::CaseValues;
using liftsim::params::kInputRecords;
using liftsim::run::InputNotes;
using liftsim::run::RecordSource;
using liftsim::textio::error_code_text;
using liftsim::textio::ErrorCode;
using liftsim::textio::ReadStatus;
using liftsim::textio::RunFailure;
using liftsim::textio::Statement;

// The reader keeps this many leading bytes of a record; nothing past them can matter.
constexpr std::size_t kKept = 64;

// The file cut into records: each ends at LF, which is not kept; a last line without LF is a
// record too, and an empty file has none.
std::vector<std::string_view> split_records(std::string_view file) {
  std::vector<std::string_view> records;
  while (!file.empty()) {
    const std::size_t lf = file.find('\n');
    if (lf == std::string_view::npos) {
      records.push_back(file);
      break;
    }
    records.push_back(file.substr(0, lf));
    file.remove_prefix(lf + 1);
  }
  return records;
}

struct Outcome {
  bool ok = false;
  ErrorCode code{};
  int record = 0;  // the record the reader failed on: the number of its requests
  std::string message;
  int requests = 0;  // records the reader asked for
  CaseValues values;
  InputNotes notes;
};

// The whole file through the reader, held in memory as a run holds input given as text.
Outcome read(const std::string& file) {
  Outcome out;
  std::size_t position = 0;
  const RecordSource memory = liftsim::run::memory_source(file, position);
  const RecordSource source = [&](std::string& record, std::size_t keep, int& error_number) {
    ++out.requests;
    return memory(record, keep, error_number);
  };
  out.values = liftsim::params::built_in_case();
  try {
    liftsim::run::read_case(source, "dani.dat", {}, out.values, {}, &out.notes);
    out.ok = true;
  } catch (const RunFailure& failure) {
    const auto& e = failure.error();
    if (e.statement != Statement::read || e.file != "dani.dat") {
      broken("a read failure not reported as READ(dani.dat): " + e.file);
    }
    out.code = e.code;
    out.record = out.requests;
    out.message = e.message;
  }
  return out;
}

// The quantities the file supplies; everything else is built in.
std::vector<double> values_read(const CaseValues& v) {
  const auto& p = v.par;
  const auto& o = v.obs;
  return {p.m_4, p.xc_4, p.zc_4, o.xp[0], o.zp[0], o.xp[1], o.zp[1], o.xp[2], o.zp[2]};
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

std::string describe(const Outcome& o) {
  if (o.ok) return "read all records";
  return std::string(error_code_text(o.code)) + " at record " + std::to_string(o.record) + ": " +
         o.message;
}

void check_success(const Outcome& o, std::size_t records) {
  if (o.requests != kInputRecords) {
    broken("success after " + std::to_string(o.requests) + " record requests");
  }
  if (records < static_cast<std::size_t>(kInputRecords)) {
    broken("success although the file has only " + std::to_string(records) + " records");
  }
  for (double v : values_read(o.values)) {
    if (!std::isfinite(v)) broken("a value read is not finite");
  }
  // Whatever the file says, the built-in values stand.
  const auto& p = o.values.par;
  const auto& prmt = o.values.prmt;
  const bool built_in = p.m_1 == 210.0 && p.m_2 == 90.0 && p.m_3 == 1880.0 &&
                        p.xc_3 == double{-0.999f} && p.zc_1 == double{0.825f} && p.J_tk == 1767.0 &&
                        p.c_tilt == 12000000.0 && p.R_t == double{0.401f} &&
                        p.L_b == double{0.9f} && p.M_eng == 0.0 && p.eps == double{0.001f} &&
                        prmt[0] == 0.0 && prmt[1] == 10.0 && prmt[2] == double{0.001f} &&
                        prmt[3] == double{0.004f} && prmt[4] == 0.0;
  if (!built_in) broken("a built-in value was taken from the file");
  // What the notes say agrees with the values: an ignored value is a built-in one the file
  // contradicts; an implied point is a value the file gave, from a field without a point.
  for (const auto& n : o.notes.ignored) {
    if (!n.param->built_in || n.used != *n.param->built_in || n.read == n.used ||
        n.param->record != n.record) {
      broken("an ignored-value note that does not hold: " + std::string(n.param->name));
    }
  }
  for (const auto& n : o.notes.implied_points) {
    if (n.param->built_in || n.param->record != n.record || n.text.find('.') != std::string::npos ||
        n.value != liftsim::params::get(*n.param, o.values)) {
      broken("an implied-point note that does not hold: " + std::string(n.param->name));
    }
  }
}

bool contains_byte(std::string_view record, char byte) {
  return record.substr(0, kKept).find(byte) != std::string_view::npos;
}

// Digits, blanks, tabs and CR alone always make valid numbers (at most 20 digits are read).
bool only_digits_and_blanks(std::string_view record) {
  for (char c : record.substr(0, kKept)) {
    if ((c < '0' || c > '9') && c != ' ' && c != '\t' && c != '\r') return false;
  }
  return true;
}

void check_failure(const Outcome& o, const std::vector<std::string_view>& records) {
  const int n = static_cast<int>(records.size());
  if (o.record < 1 || o.record > kInputRecords || o.record > n + 1) {
    broken("failed at record " + std::to_string(o.record) + " of a file with " + std::to_string(n) +
           " records");
  }
  if (o.code != ErrorCode::F6501 && o.code != ErrorCode::F6102 && o.code != ErrorCode::F6103) {
    // F6500 is a failing operating-system read, which a file in memory never has.
    broken(std::string("unexpected error code ") + error_code_text(o.code));
  }
  if (o.record == n + 1) {
    if (o.code != ErrorCode::F6501) broken("a missing record is not reported as end of file");
  } else {
    const std::string_view record = records[static_cast<std::size_t>(o.record - 1)];
    if (o.record <= 2) broken("a heading record, which is skipped, failed: " + describe(o));
    if (o.code == ErrorCode::F6501 && !contains_byte(record, '\x1a')) {
      broken("end of file reported inside a record without Ctrl-Z: " + describe(o));
    }
    if (o.code != ErrorCode::F6501 && only_digits_and_blanks(record)) {
      broken("a record of digits and blanks was rejected: " + describe(o));
    }
  }

  // One line of plain text that names the record, whatever bytes the file holds.
  if (o.message.empty()) broken("empty error message");
  for (char c : o.message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7e) broken("error message holds byte " + std::to_string(byte));
  }
  const std::string name = "record " + std::to_string(o.record);
  const std::size_t at = o.message.find(name);
  const std::size_t after = at + name.size();
  if (at == std::string::npos ||
      (after < o.message.size() && o.message[after] >= '0' && o.message[after] <= '9')) {
    broken("error message does not name " + name + ": " + o.message);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> records = split_records(file);
  const Outcome plain = read(file);
  if (plain.ok) {
    check_success(plain, records.size());
  } else {
    check_failure(plain, records);
  }

  // The same file with CR LF line ends reads the same: a CR before the LF is not data.
  std::string crlf;
  crlf.reserve(file.size() + records.size());
  for (char c : file) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const Outcome windows = read(crlf);
  const bool same = windows.ok == plain.ok &&
                    (plain.ok ? same_bits(values_read(windows.values), values_read(plain.values))
                              : windows.code == plain.code && windows.record == plain.record);
  if (!same) {
    broken("CR LF line ends change the result: " + describe(plain) + " / " + describe(windows));
  }
  return 0;
}
