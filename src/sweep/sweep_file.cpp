#include "sweep/sweep_file.h"

#include <charconv>
#include <queue>

#include "results/csv_writer.h"

namespace liftsim::sweep {
namespace {

void field(std::string& out, const std::optional<double>& v) {
  out += ',';
  if (v) results::append_number(out, *v);
}

// The first field of a row as a case number; false when it is not one.
bool row_number(std::string_view line, std::int64_t& n) {
  const auto comma = line.find(',');
  const std::string_view first = line.substr(0, comma);
  const auto r = std::from_chars(first.data(), first.data() + first.size(), n);
  return r.ec == std::errc() && r.ptr == first.data() + first.size() && n >= 0;
}

}  // namespace

std::string sweep_header(const std::vector<Axis>& axes) {
  std::string h = "case";
  for (const Axis& a : axes) {
    h += ',';
    h += a.param->name;
  }
  h += ",outcome,verdict,t_reached,min_F_kp,t_min_F_kp,lift_off_t,max_abs_Fi_3,load_travel,"
       "restarts,derivative_calls,error\n";
  return h;
}

std::string sweep_row(std::int64_t index, const std::vector<double>& values,
                      const results::Summary& s) {
  const results::Facts& f = s.facts;
  const bool any = f.points > 0;
  auto when = [any](double v) { return any ? std::optional<double>(v) : std::nullopt; };
  std::string row = std::to_string(index);
  for (double v : values) field(row, v);
  row += ',';
  row += run::outcome_name(s.outcome);
  row += ',';
  row += results::verdict_name(s.verdict);
  field(row, s.t_reached);
  field(row, when(f.min_F_kp));
  field(row, when(f.t_min_F_kp));
  field(row, f.lift_off_t);
  field(row, when(f.max_abs_Fi_3));
  field(row, when(f.load_travel));
  row += ',' + std::to_string(s.restarts);
  row += ',' + std::to_string(s.derivative_calls);
  row += ',';
  if (s.error) row += textio::error_code_text(s.error->code);
  row += '\n';
  return row;
}

std::optional<params::ParseError> check_resumable(const std::string& text,
                                                  const std::string& header,
                                                  const std::vector<std::int64_t>& expected,
                                                  Resumable& out) {
  if (text.compare(0, header.size(), header) != 0) {
    return params::ParseError{
        "its header is not the one this sweep writes (other parameters "
        "or another kind of file)"};
  }
  std::size_t pos = header.size();
  out = {0, header.size()};
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    if (lf == std::string::npos) break;  // a cut last line is run again
    std::int64_t n = -1;
    if (!row_number(std::string_view(text).substr(pos, lf - pos), n) ||
        out.rows >= static_cast<std::int64_t>(expected.size()) ||
        n != expected[static_cast<std::size_t>(out.rows)]) {
      return params::ParseError{"row " + std::to_string(out.rows + 2) +
                                " is not the next case of this sweep"};
    }
    ++out.rows;
    pos = lf + 1;
    out.bytes = pos;
  }
  return std::nullopt;
}

std::optional<params::ParseError> merge_files(const std::vector<std::string>& texts,
                                              const std::vector<std::string>& names,
                                              std::string& merged,
                                              std::optional<std::int64_t> cases) {
  if (texts.empty()) return params::ParseError{"nothing to merge"};
  const std::size_t header_end = texts[0].find('\n');
  if (header_end == std::string::npos) return params::ParseError{names[0] + ": no header"};
  const std::string header = texts[0].substr(0, header_end + 1);
  struct Cursor {
    std::int64_t number;
    std::size_t file;
    std::size_t begin, end;  // the row's bytes, line feed included
  };
  auto cmp = [](const Cursor& a, const Cursor& b) { return a.number > b.number; };
  std::priority_queue<Cursor, std::vector<Cursor>, decltype(cmp)> heads(cmp);
  std::vector<std::size_t> pos(texts.size());
  std::vector<std::int64_t> last(texts.size(), -1);

  auto advance = [&](std::size_t f) -> std::optional<params::ParseError> {
    const std::string& t = texts[f];
    if (pos[f] >= t.size()) return std::nullopt;
    const std::size_t lf = t.find('\n', pos[f]);
    if (lf == std::string::npos) return params::ParseError{names[f] + ": the last row is cut"};
    std::int64_t n = -1;
    if (!row_number(std::string_view(t).substr(pos[f], lf - pos[f]), n) || n <= last[f]) {
      return params::ParseError{names[f] + ": rows are not numbered in increasing order"};
    }
    last[f] = n;
    heads.push({n, f, pos[f], lf + 1});
    pos[f] = lf + 1;
    return std::nullopt;
  };
  for (std::size_t f = 0; f < texts.size(); ++f) {
    if (texts[f].compare(0, header.size(), header) != 0) {
      return params::ParseError{names[f] + ": its header differs from " + names[0] + "'s"};
    }
    pos[f] = header.size();
    if (auto bad = advance(f)) return bad;
  }
  merged = header;
  std::int64_t expected = 0;
  while (!heads.empty()) {
    const Cursor c = heads.top();
    heads.pop();
    if (c.number != expected) {
      return params::ParseError{c.number < expected
                                    ? "case " + std::to_string(c.number) + " appears twice"
                                    : "case " + std::to_string(expected) +
                                          " is in none of the files (a shard is missing?)"};
    }
    merged.append(texts[c.file], c.begin, c.end - c.begin);
    ++expected;
    if (auto bad = advance(c.file)) return bad;
  }
  if (cases && expected != *cases) {
    return params::ParseError{"the files hold " + std::to_string(expected) + " cases, not " +
                              std::to_string(*cases) + " (a shard missing or cut short?)"};
  }
  return std::nullopt;
}

}  // namespace liftsim::sweep
