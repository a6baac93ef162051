#include "sweepfile/stored.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <queue>

#include "sweepfile/lines.h"

namespace liftsim::sweepfile {
namespace {

// At most this many lines before the header: far more than any head this program writes.
constexpr std::size_t kLongestHead = 1000;

std::string shown(std::string_view line) {
  constexpr std::size_t kShown = 100;
  std::string text(line.substr(0, kShown));
  if (line.size() > kShown) text += "...";
  return "'" + text + "'";
}

std::string without_lf(const std::string& line) {
  return line.empty() || line.back() != '\n' ? line : line.substr(0, line.size() - 1);
}

// What a LineReader result other than a line means, for the user.
std::string read_problem(LineReader::Got got, const LineReader& in) {
  if (got == LineReader::Got::too_long) {
    return "line " + std::to_string(in.line_number() + 1) + " is longer than " +
           std::to_string(kLongestLine >> 20) + " MiB";
  }
  return std::string("cannot read it: ") + std::strerror(in.error_number());
}

// A file descriptor closed with its owner.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// One file of a merge: its head, its reader and the row it is at.
struct Source {
  std::string path;
  std::unique_ptr<Fd> fd;
  std::unique_ptr<LineReader> in;
  std::vector<std::string> head;  // without line feeds, the header last
  sweep::Shard shard;
  std::string line;  // the current row
  std::int64_t index = -1;
};

}  // namespace

std::optional<std::string> read_resumable(int fd, const std::vector<std::string>& head,
                                          const Study& study,
                                          const std::function<void(ReadRow& row)>& on_row,
                                          Resumable& out, const std::atomic<int>* stop) {
  out = {};
  LineReader in(fd, stop);
  std::string line;
  for (std::size_t n = 0; n < head.size(); ++n) {
    const std::string expected = without_lf(head[n]);
    const LineReader::Got got = in.next(line);
    if (got == LineReader::Got::end) return std::nullopt;  // nothing, or whole head lines only
    if (got == LineReader::Got::cut && expected.starts_with(line)) return std::nullopt;
    if (got == LineReader::Got::failed || got == LineReader::Got::too_long) {
      return read_problem(got, in);
    }
    if (line != expected) {
      return "line " + std::to_string(n + 1) + " differs from what this " +
             (study.kind == Kind::sweep ? "sweep" : "chart") + " writes: the file has " +
             shown(line) + ", this one " + shown(expected) +
             (n + 1 == head.size() ? "" : " (results of another study: name another file)");
    }
  }
  out.bytes = in.whole_bytes();
  const RowReader reader(study);
  ReadRow row;
  for (;;) {
    const LineReader::Got got = in.next(line);
    if (got == LineReader::Got::end || got == LineReader::Got::cut) return std::nullopt;
    if (got != LineReader::Got::line) return read_problem(got, in);
    const std::string at = "line " + std::to_string(in.line_number()) + ": ";
    if (auto bad = reader.read(line, row)) return at + *bad;
    const std::int64_t next = study.shard.at(out.rows);
    if (row.index != next) {
      return at + "case " + std::to_string(row.index) + " is not the next case of this " +
             (study.kind == Kind::sweep ? "sweep" : "chart") +
             (next < reader.total() ? " (case " + std::to_string(next) + " is)"
                                    : " (it has no more)");
    }
    on_row(row);
    ++out.rows;
    out.bytes = in.whole_bytes();
  }
}

std::optional<std::string> merge_files(const std::vector<std::string>& paths,
                                       std::optional<std::int64_t> cases,
                                       const std::function<void(std::string_view bytes)>& write) {
  if (paths.empty()) return "nothing to merge";
  std::vector<Source> files(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    Source& s = files[i];
    s.path = paths[i];
    s.fd = std::make_unique<Fd>(::open(paths[i].c_str(), O_RDONLY | O_CLOEXEC));
    if (s.fd->fd < 0) return "cannot read '" + s.path + "': " + std::strerror(errno);
    s.in = std::make_unique<LineReader>(s.fd->fd);
    std::string line;
    for (;;) {
      const LineReader::Got got = s.in->next(line);
      if (got == LineReader::Got::end || got == LineReader::Got::cut) {
        return s.path + ": no header (an empty file, or its head cut short)";
      }
      if (got != LineReader::Got::line) return s.path + ": " + read_problem(got, *s.in);
      s.head.push_back(line);
      if (!line.starts_with("#")) break;
      if (s.head.size() >= kLongestHead) {
        return s.path + ": no header within its first " + std::to_string(kLongestHead) + " lines";
      }
    }
  }
  // The first file says what the study is; the others must say the same.
  Study study;
  for (const Source& s : files) {
    // A file that is not a result file at all is named as such, before any line is compared.
    if (!s.head.front().starts_with("# liftsim "))
      return s.path + ": " + *parse_head(s.head, study);
  }
  if (auto bad = parse_head(files[0].head, study)) return files[0].path + ": " + *bad;
  // The heads, apart from their shard lines, are the same.
  auto common = [](const std::vector<std::string>& head) {
    std::vector<std::pair<std::size_t, std::string>> lines;
    for (std::size_t n = 0; n < head.size(); ++n) {
      if (!is_shard_line(head[n])) lines.emplace_back(n + 1, head[n]);
    }
    return lines;
  };
  const auto first = common(files[0].head);
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (const std::string& line : files[i].head) {
      if (!is_shard_line(line)) continue;
      if (auto bad = sweep::parse_shard(line.substr(line.find(':') + 2), files[i].shard)) {
        return files[i].path + ": " + bad->message;
      }
    }
    const auto other = common(files[i].head);
    for (std::size_t n = 0; n < std::max(first.size(), other.size()); ++n) {
      if (n < first.size() && n < other.size() && first[n].second == other[n].second) continue;
      const std::string theirs = n < other.size() ? shown(other[n].second) : "nothing";
      const std::string ours = n < first.size() ? shown(first[n].second) : "nothing";
      return files[i].path + ": line " +
             std::to_string(n < other.size() ? other[n].first : files[i].head.size() + 1) +
             " differs from " + files[0].path + "'s: " + theirs + " against " + ours +
             " (results of different studies are not merged)";
    }
  }
  const RowReader reader(study);
  if (cases && *cases != reader.total()) {
    return "--cases " + std::to_string(*cases) + ", but the files' study has " +
           std::to_string(reader.total()) + " cases";
  }
  if (write) {
    for (const auto& [n, line] : first) {
      write(line);
      write("\n");
    }
  }

  ReadRow row;
  // Moves a file to its next row; false at its end.
  auto advance = [&](Source& s, bool& more) -> std::optional<std::string> {
    more = false;
    const LineReader::Got got = s.in->next(s.line);
    if (got == LineReader::Got::end) return std::nullopt;
    if (got == LineReader::Got::cut) {
      return s.path + ": its last row is cut (continue that shard with --resume)";
    }
    if (got != LineReader::Got::line) return s.path + ": " + read_problem(got, *s.in);
    const std::string at = s.path + " line " + std::to_string(s.in->line_number()) + ": ";
    if (auto bad = reader.read(s.line, row)) return at + *bad;
    if (!s.shard.contains(row.index)) {
      return at + "case " + std::to_string(row.index) + " does not belong to its shard " +
             std::to_string(s.shard.index) + "/" + std::to_string(s.shard.count);
    }
    if (row.index <= s.index) return at + "its rows are not in case order";
    s.index = row.index;
    more = true;
    return std::nullopt;
  };
  using Head = std::pair<std::int64_t, std::size_t>;  // case, file
  std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
  for (std::size_t i = 0; i < files.size(); ++i) {
    bool more = false;
    if (auto bad = advance(files[i], more)) return bad;
    if (more) heads.emplace(files[i].index, i);
  }
  std::int64_t expected = 0;
  while (!heads.empty()) {
    const auto [index, i] = heads.top();
    heads.pop();
    if (index != expected) {
      return index < expected ? "case " + std::to_string(index) + " appears twice"
                              : "case " + std::to_string(expected) +
                                    " is in none of the files (a shard missing?)";
    }
    if (write) {
      write(files[i].line);
      write("\n");
    }
    ++expected;
    bool more = false;
    if (auto bad = advance(files[i], more)) return bad;
    if (more) heads.emplace(files[i].index, i);
  }
  if (expected != reader.total()) {
    return "the files hold " + std::to_string(expected) + " of the study's " +
           std::to_string(reader.total()) + " cases (a shard missing or cut short?)";
  }
  return std::nullopt;
}

}  // namespace liftsim::sweepfile
