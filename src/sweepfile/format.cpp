#include "sweepfile/format.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

#include "results/csv_writer.h"
#include "textio/codepage.h"

namespace liftsim::sweepfile {
namespace {

constexpr std::string_view kShardLine = "# shard: ";
constexpr std::string_view kVaryLine = "# vary: ";
constexpr std::string_view kConvergenceLine = "# convergence: ";
constexpr std::string_view kTiltLine = "# tilt: ";

const char* kind_word(Kind kind) {
  switch (kind) {
    case Kind::sweep:
      return "sweep";
    case Kind::capacity:
      return "capacity";
    case Kind::tilt:
      return "tilt-test";
  }
  return "?";
}

std::string number(double v) {
  std::string text;
  results::append_number(text, v);
  return text;
}

// "m_4 = 1000 kg, zc_4 = 0.5 m" ("1": a pure number, no unit).
std::string value_list(const std::vector<sweep::NamedValue>& values) {
  std::string text;
  for (const sweep::NamedValue& v : values) {
    if (!text.empty()) text += ", ";
    text += std::string(v.param->name) + " = " + number(v.value);
    if (v.param->unit != "1") text += " " + std::string(v.param->unit);
  }
  return text;
}

// `text` on one line of UTF-8: control characters as blanks, other bytes that are not UTF-8 as '?'.
std::string one_line(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
      out += ' ';
    } else if (byte >= 0x80) {
      if (const std::size_t n = textio::utf8_length(text.substr(i)); n > 0) {
        out.append(text.substr(i, n));
        i += n;
        continue;
      }
      out += '?';
    } else {
      out += text[i];
    }
    ++i;
  }
  return out;
}

void append_text(std::string& out, std::string_view text) {
  const std::string line = one_line(text);
  if (line.find_first_of(",\"") == std::string::npos) {
    out += line;
    return;
  }
  out += '"';
  for (const char c : line) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The fields of a CSV line; a field in quotes may hold commas and doubled quotes. False when the
// quotes do not close or a quote stands inside a field that does not begin with one.
bool split(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::size_t i = 0;
  for (;;) {
    std::string field;
    if (i < line.size() && line[i] == '"') {
      for (++i;; ++i) {
        if (i >= line.size()) return false;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        field += line[i];
      }
      if (i < line.size() && line[i] != ',') return false;
    } else {
      const std::size_t end = std::min(line.find(',', i), line.size());
      field.assign(line.substr(i, end - i));
      if (field.find('"') != std::string::npos) return false;
      i = end;
    }
    fields.push_back(std::move(field));
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

template <class Int>
bool whole(std::string_view text, Int& value) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool real(std::string_view text, double& value) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// An optional number: empty is none.
bool maybe(std::string_view text, std::optional<double>& value) {
  value.reset();
  if (text.empty()) return true;
  double v = 0;
  if (!real(text, v)) return false;
  value = v;
  return true;
}

std::string quoted(std::string_view text) {
  constexpr std::size_t kShown = 60;
  std::string shown = one_line(text.substr(0, kShown));
  if (text.size() > kShown) shown += "...";
  return "'" + shown + "'";
}

std::string join(const std::vector<std::string>& names) {
  std::string line;
  for (const std::string& n : names) line += (line.empty() ? "" : ",") + n;
  return line;
}

}  // namespace

std::vector<std::string> head_lines(const Study& study, const sweep::BaseFacts& base) {
  std::vector<std::string> lines;
  const bool sweep = study.kind == Kind::sweep;
  lines.push_back("# liftsim " + study.version + " " + kind_word(study.kind));
  lines.push_back("# model: " + std::string(model::kind_name(base.model)));
  for (const sweep::Axis& a : study.axes)
    lines.push_back(std::string(kVaryLine) + sweep::axis_text(a));
  if (study.kind == Kind::tilt) {
    lines.push_back(std::string(kTiltLine) + "resolution " + number(study.tilt.resolution) +
                    " %, margin " + number(study.tilt.margin) + " %, required " +
                    (study.tilt.require ? number(*study.tilt.require) + " %" : std::string("none")));
  } else if (!sweep) {
    lines.push_back("# mass: " + number(study.mass.lo) + ":" + number(study.mass.hi) + " kg by " +
                    number(study.mass.resolution) + " kg");
    lines.push_back(std::string(kConvergenceLine) + (study.convergence ? "yes" : "no"));
  }
  lines.push_back("# dani.dat: " + (base.from_input.empty() ? std::string("no value the cases use")
                                                            : value_list(base.from_input)));
  lines.push_back("# set: " + (base.set.empty() ? std::string("none") : value_list(base.set)));
  lines.push_back(base.road_points == 0
                      ? std::string("# road: flat")
                      : "# road: " + std::to_string(base.road_points) + " points, x from " +
                            number(base.road_x_first) + " to " + number(base.road_x_last) + " m");
  // Every run of a tilt test stands on the table with the drive off and the brake holding,
  // whatever the base case drives with.
  lines.push_back(
      study.kind == Kind::tilt
          ? std::string("# drive: off; brake: holds from the start (the tilt test's own)")
          : "# drive: " + sweep::drive_words(base) + "; brake: " + sweep::brake_words(base));
  lines.push_back("# verdict: slide limit " + number(base.thresholds.slide_limit) +
                  " m, lift force " + number(base.thresholds.lift_force) + " N, " +
                  (base.stop_when_decided ? "runs end once decided" : "runs go to their end"));
  lines.push_back(base.work.derivative_calls > 0
                      ? "# work limit: " + std::to_string(base.work.derivative_calls) +
                            " derivative calls a run"
                      : std::string("# work limit: none"));
  char hash[40];
  std::snprintf(hash, sizeof hash, "# base case: fnv1a64 %016" PRIx64, base.hash);
  lines.emplace_back(hash);
  if (study.shard.count > 1) {
    lines.push_back(std::string(kShardLine) + std::to_string(study.shard.index) + "/" +
                    std::to_string(study.shard.count));
  }
  lines.push_back(join(columns(study)));
  for (std::string& line : lines) line += '\n';
  return lines;
}

bool is_shard_line(std::string_view line) {
  return line.starts_with(kShardLine);
}

std::optional<std::string> parse_head(const std::vector<std::string>& lines, Study& study) {
  study = {};
  if (lines.empty() || !lines[0].starts_with("# liftsim ")) {
    return "it does not begin with '# liftsim VERSION sweep' or '... capacity' (not a result "
           "file of this program, or one from before result files said what they hold)";
  }
  const std::string_view first = lines[0];
  const auto space = first.rfind(' ');
  const std::string_view what = first.substr(space + 1);
  if (what != "sweep" && what != "capacity" && what != "tilt-test")
    return "line 1 names neither a sweep, a capacity chart nor a tilt test";
  study.kind = what == "sweep" ? Kind::sweep : what == "capacity" ? Kind::capacity : Kind::tilt;
  study.version = std::string(first.substr(10, space > 10 ? space - 10 : 0));
  for (std::size_t n = 1; n + 1 < lines.size(); ++n) {
    const std::string_view line = lines[n];
    const std::string at = "line " + std::to_string(n + 1) + ": ";
    if (line.starts_with(kVaryLine)) {
      sweep::Axis axis;
      if (auto bad = sweep::parse_axis(line.substr(kVaryLine.size()), axis))
        return at + bad->message;
      study.axes.push_back(std::move(axis));
    } else if (line.starts_with(kShardLine)) {
      if (auto bad = sweep::parse_shard(line.substr(kShardLine.size()), study.shard)) {
        return at + bad->message;
      }
    } else if (line.starts_with(kConvergenceLine)) {
      study.convergence = line.substr(kConvergenceLine.size()) == "yes";
    } else if (line.starts_with(kTiltLine)) {
      // "resolution R %, margin M %, required Q %" or "... required none"
      const std::string text(line.substr(kTiltLine.size()));
      double r = 0, m = 0, q = 0;
      if (std::sscanf(text.c_str(), "resolution %lf %%, margin %lf %%, required %lf %%", &r, &m, &q) ==
          3) {
        study.tilt.require = q;
      } else if (std::sscanf(text.c_str(), "resolution %lf %%, margin %lf %%", &r, &m) != 2) {
        return at + "the tilt test's resolution and margin cannot be read";
      }
      study.tilt.resolution = r;
      study.tilt.margin = m;
    }
  }
  if (study.axes.empty() || (study.kind == Kind::capacity && study.axes.size() > 2) ||
      (study.kind == Kind::tilt && study.axes.size() != 1)) {
    return "its '# vary:' lines do not describe a " + std::string(kind_word(study.kind));
  }
  if (sweep::case_count(study.axes) > sweep::kMostCases) {
    return "its axes make more than " + std::to_string(sweep::kMostCases) + " cases";
  }
  if (lines.back() != join(columns(study))) {
    return "its header is not the one its '# vary:' lines give";
  }
  return std::nullopt;
}

std::vector<std::string> columns(const Study& study) {
  std::vector<std::string> names{"case"};
  for (const sweep::Axis& a : study.axes) names.emplace_back(a.param->name);
  if (study.kind == Kind::sweep) {
    for (const char* n :
         {"outcome", "verdict", "t_reached", "min_F_kp", "t_min_F_kp", "lift_off_t", "max_abs_Fi_3",
          "load_travel", "restarts", "derivative_calls", "error", "message"}) {
      names.emplace_back(n);
    }
  } else if (study.kind == Kind::tilt) {
    for (const char* n : {"critical_slope", "rigid_slope", "below_verdict", "above_verdict", "pass",
                          "note", "runs"}) {
      names.emplace_back(n);
    }
  } else {
    for (const char* n : {"capacity_stable", "capacity_no_tip", "min_F_kp_stable",
                          "min_F_kp_no_tip", "stable_note", "no_tip_note", "runs"}) {
      names.emplace_back(n);
    }
    if (study.convergence) {
      names.emplace_back("shift_stable");
      names.emplace_back("shift_no_tip");
    }
  }
  return names;
}

std::vector<Value> sweep_values(const sweep::SweepRow& row) {
  const results::Summary& s = row.summary;
  const results::Facts& f = s.facts;
  const bool any = f.points > 0;
  auto when = [any](double v) { return any ? Value(v) : Value(); };
  auto maybe_value = [](const std::optional<double>& v) { return v ? Value(*v) : Value(); };
  std::vector<Value> out{row.index};
  for (double v : row.values) out.emplace_back(v);
  out.emplace_back(std::string(run::outcome_name(s.outcome)));
  out.push_back(row.verdict ? Value(std::string(results::verdict_name(*row.verdict))) : Value());
  out.emplace_back(s.t_reached);
  out.push_back(when(f.min_F_kp));
  out.push_back(when(f.t_min_F_kp));
  out.push_back(maybe_value(f.lift_off_t));
  out.push_back(when(f.max_abs_Fi_3));
  out.push_back(when(f.load_travel));
  out.emplace_back(static_cast<std::int64_t>(s.restarts));
  out.emplace_back(static_cast<std::int64_t>(s.derivative_calls));
  out.push_back(s.error ? Value(std::string(textio::error_code_text(s.error->code))) : Value());
  out.push_back(s.error ? Value(s.error->message) : Value());
  return out;
}

std::vector<Value> capacity_values(std::int64_t index, const sweep::CapacityRow& row,
                                   bool convergence) {
  auto maybe_value = [](const std::optional<double>& v) { return v ? Value(*v) : Value(); };
  std::vector<Value> out{index, row.height};
  if (row.across) out.emplace_back(*row.across);
  out.push_back(maybe_value(row.stable.mass));
  out.push_back(maybe_value(row.no_tip.mass));
  out.push_back(maybe_value(row.stable.min_F_kp));
  out.push_back(maybe_value(row.no_tip.min_F_kp));
  out.emplace_back(row.stable.note);
  out.emplace_back(row.no_tip.note);
  out.emplace_back(static_cast<std::int64_t>(row.runs));
  if (convergence) {
    out.push_back(maybe_value(row.stable.shift));
    out.push_back(maybe_value(row.no_tip.shift));
  }
  return out;
}

std::vector<Value> tilt_values(std::int64_t index, const sweep::TiltRow& row) {
  auto verdict = [](const std::optional<results::Verdict>& v) {
    return v ? Value(std::string(results::verdict_name(*v))) : Value();
  };
  std::vector<Value> out{index, row.height};
  out.push_back(row.critical ? Value(*row.critical) : Value());
  out.emplace_back(row.rigid);
  out.push_back(verdict(row.below));
  out.push_back(verdict(row.above));
  out.push_back(row.pass ? Value(std::string(*row.pass ? "yes" : "no")) : Value());
  out.emplace_back(row.note);
  out.emplace_back(static_cast<std::int64_t>(row.runs));
  return out;
}

std::string row_text(const std::vector<Value>& values) {
  std::string out;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k > 0) out += ',';
    const Value& v = values[k];
    if (const double* d = std::get_if<double>(&v)) {
      results::append_number(out, *d);
    } else if (const std::int64_t* i = std::get_if<std::int64_t>(&v)) {
      out += std::to_string(*i);
    } else if (const std::string* s = std::get_if<std::string>(&v)) {
      append_text(out, *s);
    }
  }
  out += '\n';
  return out;
}

RowReader::RowReader(const Study& study) : study_(study), grid_(study.axes) {
  total_ = grid_.size();
  names_ = columns(study);
}

std::optional<std::string> RowReader::read(std::string_view line, ReadRow& row) const {
  std::vector<std::string> f;
  if (!split(line, f)) return "its quotes do not pair up";
  if (f.size() != names_.size()) {
    return "it has " + std::to_string(f.size()) + " fields, not the " +
           std::to_string(names_.size()) + " of the header";
  }
  std::int64_t index = -1;
  if (!whole(f[0], index) || index < 0 || index >= total_) {
    return "its case number " + quoted(f[0]) + " is not one of the " + std::to_string(total_) +
           " cases";
  }
  row = {};
  row.index = index;
  if (auto bad = study_.kind == Kind::sweep      ? read_sweep(f, row)
                 : study_.kind == Kind::capacity ? read_capacity(f, row)
                                                 : read_tilt(f, row)) {
    return bad;
  }
  const std::string again =
      row_text(study_.kind == Kind::sweep      ? sweep_values(row.sweep)
               : study_.kind == Kind::capacity ? capacity_values(index, row.capacity,
                                                                 study_.convergence)
                                               : tilt_values(index, row.tilt));
  if (std::string_view(again).substr(0, again.size() - 1) != line) {
    return "it is not written as liftsim writes what it holds";
  }
  return std::nullopt;
}

std::optional<std::string> RowReader::read_sweep(const std::vector<std::string>& f,
                                                 ReadRow& row) const {
  sweep::SweepRow& r = row.sweep;
  r.index = row.index;
  grid_.values(row.index, r.values);
  std::size_t k = 1;
  for (std::size_t a = 0; a < study_.axes.size(); ++a, ++k) {
    double v = 0;
    if (!real(f[k], v)) return "its " + names_[k] + " " + quoted(f[k]) + " is not a number";
    if (v != r.values[a]) {
      return "its " + names_[k] + " is " + f[k] + ", not the " + number(r.values[a]) + " of case " +
             f[0];
    }
  }
  results::Summary& s = r.summary;
  const std::string& outcome = f[k++];
  bool known = false;
  for (auto o : {run::Outcome::completed, run::Outcome::error, run::Outcome::stalled,
                 run::Outcome::decided, run::Outcome::invalid}) {
    if (outcome == run::outcome_name(o)) {
      s.outcome = o;
      known = true;
    }
  }
  if (!known) return "its outcome " + quoted(outcome) + " is not one liftsim reports";
  const std::string& verdict = f[k++];
  if (!verdict.empty()) {
    for (int v = 0; v <= static_cast<int>(results::Verdict::out_of_model); ++v) {
      if (verdict == results::verdict_name(static_cast<results::Verdict>(v))) {
        r.verdict = static_cast<results::Verdict>(v);
      }
    }
    if (!r.verdict) return "its verdict " + quoted(verdict) + " is not one liftsim reports";
    s.verdict = *r.verdict;
  }
  if (!real(f[k++], s.t_reached)) return "its t_reached " + quoted(f[k - 1]) + " is not a number";
  std::optional<double> min_F_kp, t_min_F_kp, max_abs_Fi_3, load_travel;
  for (std::optional<double>* into :
       {&min_F_kp, &t_min_F_kp, &s.facts.lift_off_t, &max_abs_Fi_3, &load_travel}) {
    if (!maybe(f[k], *into)) return "its " + names_[k] + " " + quoted(f[k]) + " is not a number";
    ++k;
  }
  if (min_F_kp) {
    s.facts.points = 1;
    s.facts.min_F_kp = *min_F_kp;
    s.facts.t_min_F_kp = t_min_F_kp.value_or(0.0);
    s.facts.max_abs_Fi_3 = max_abs_Fi_3.value_or(0.0);
    s.facts.load_travel = load_travel.value_or(0.0);
  }
  std::int64_t restarts = 0, calls = 0;
  if (!whole(f[k++], restarts) || restarts < 0 || restarts > INT32_MAX) {
    return "its restarts " + quoted(f[k - 1]) + " is not a count";
  }
  if (!whole(f[k++], calls) || calls < 0) {
    return "its derivative_calls " + quoted(f[k - 1]) + " is not a count";
  }
  s.restarts = static_cast<int>(restarts);
  s.derivative_calls = static_cast<long>(calls);
  const std::string& code = f[k++];
  if (!code.empty()) {
    textio::RunError e;
    bool found = false;
    for (int c = 0; c <= static_cast<int>(textio::ErrorCode::S6600); ++c) {
      if (code == textio::error_code_text(static_cast<textio::ErrorCode>(c))) {
        e.code = static_cast<textio::ErrorCode>(c);
        found = true;
      }
    }
    if (!found) return "its error " + quoted(code) + " is not a code liftsim reports";
    e.message = f[k];
    s.error = e;
  }
  if (!r.verdict && !(s.outcome == run::Outcome::error && s.error)) {
    return "it has no verdict, which only a case that failed on its own files has";
  }
  return std::nullopt;
}

std::optional<std::string> RowReader::read_capacity(const std::vector<std::string>& f,
                                                    ReadRow& row) const {
  sweep::CapacityRow& r = row.capacity;
  std::vector<double> values;
  grid_.values(row.index, values);
  for (std::size_t a = 0; a < values.size(); ++a) {
    const std::size_t k = a + 1;
    double v = 0.0;
    if (!real(f[k], v)) return "its " + names_[k] + " " + quoted(f[k]) + " is not a number";
    if (v != values[a]) {
      return "its " + names_[k] + " is " + f[k] + ", not the " + number(values[a]) + " of case " +
             f[0];
    }
    (a == 0 ? r.height : r.across.emplace()) = v;
  }
  const int o = static_cast<int>(values.size()) - 1;  // fields after the second axis move on
  for (const auto& [k, into] :
       {std::pair{2 + o, &r.stable.mass}, std::pair{3 + o, &r.no_tip.mass},
        std::pair{4 + o, &r.stable.min_F_kp}, std::pair{5 + o, &r.no_tip.min_F_kp}}) {
    if (!maybe(f[k], *into)) return "its " + names_[k] + " " + quoted(f[k]) + " is not a number";
  }
  r.stable.note = f[6 + o];
  r.no_tip.note = f[7 + o];
  std::int64_t runs = 0;
  if (!whole(f[8 + o], runs) || runs < 0 || runs > INT32_MAX) {
    return "its runs " + quoted(f[8 + o]) + " is not a count";
  }
  r.runs = static_cast<int>(runs);
  if (study_.convergence) {
    for (const auto& [k, into] :
         {std::pair{9 + o, &r.stable.shift}, std::pair{10 + o, &r.no_tip.shift}}) {
      if (!maybe(f[k], *into)) return "its " + names_[k] + " " + quoted(f[k]) + " is not a number";
    }
  }
  return std::nullopt;
}

std::optional<std::string> RowReader::read_tilt(const std::vector<std::string>& f,
                                                ReadRow& row) const {
  sweep::TiltRow& r = row.tilt;
  const double height = study_.axes[0].values[static_cast<std::size_t>(row.index)];
  if (!real(f[1], r.height)) return "its height " + quoted(f[1]) + " is not a number";
  if (r.height != height) {
    return "its " + names_[1] + " is " + f[1] + ", not the " + number(height) + " of case " + f[0];
  }
  if (!maybe(f[2], r.critical)) return "its critical_slope " + quoted(f[2]) + " is not a number";
  if (!real(f[3], r.rigid)) return "its rigid_slope " + quoted(f[3]) + " is not a number";
  for (const auto& [k, into] : {std::pair{4, &r.below}, std::pair{5, &r.above}}) {
    if (f[k].empty()) continue;
    for (int v = 0; v <= static_cast<int>(results::Verdict::out_of_model); ++v) {
      if (f[k] == results::verdict_name(static_cast<results::Verdict>(v))) {
        *into = static_cast<results::Verdict>(v);
      }
    }
    if (!*into) return "its " + names_[k] + " " + quoted(f[k]) + " is not a verdict";
  }
  if (f[6] == "yes" || f[6] == "no") {
    r.pass = f[6] == "yes";
  } else if (!f[6].empty()) {
    return "its pass " + quoted(f[6]) + " is neither yes nor no";
  }
  r.note = f[7];
  std::int64_t runs = 0;
  if (!whole(f[8], runs) || runs < 0 || runs > INT32_MAX) {
    return "its runs " + quoted(f[8]) + " is not a count";
  }
  r.runs = static_cast<int>(runs);
  return std::nullopt;
}

}  // namespace liftsim::sweepfile
