// Fuzz target: result files of sweeps and capacity charts read back, as --resume and merge read
// them. Whatever the bytes, the readers end with an answer; what they accept is exactly what this
// program writes: each row handed out is the text of its line, a file kept for resuming is its
// head and whole rows, and a merge of one file gives that file back (without a shard line).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "property.h"
#include "sweepfile/format.h"
#include "sweepfile/stored.h"

namespace {

using namespace liftsim;
using fuzz::require;

sweepfile::Study study(sweepfile::Kind kind) {
  sweepfile::Study s;
  s.kind = kind;
  s.version = "fuzz";
  s.axes.emplace_back();
  sweep::parse_axis("zc_4=0:1:0.5", s.axes.back());
  if (kind == sweepfile::Kind::sweep) {
    s.axes.emplace_back();
    sweep::parse_axis("m_4=500,1000", s.axes.back());
  } else {
    s.convergence = true;
  }
  return s;
}

// The head the seeds were written with: the default base case, the varied values left out.
std::vector<std::string> head(const sweepfile::Study& s) {
  std::vector<const params::Param*> varied{params::find_param("m_4")};
  for (const sweep::Axis& a : s.axes) varied.push_back(a.param);
  const params::CaseValues values = params::built_in_case();
  return sweepfile::head_lines(s, sweep::base_facts({}, values, values, varied));
}

int file_of(std::string_view text) {
  const int fd = ::memfd_create("fuzz", 0);
  require(fd >= 0, "memfd_create");
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    require(n > 0, "write");
    done += static_cast<std::size_t>(n);
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

void resume(std::string_view text, sweepfile::Kind kind) {
  const sweepfile::Study s = study(kind);
  const std::vector<std::string> lines = head(s);
  std::string expected;
  for (const std::string& l : lines) expected += l;
  const int fd = file_of(text);
  std::string rows;
  sweepfile::Resumable kept;
  const auto bad = sweepfile::read_resumable(
      fd, lines, s,
      [&](sweepfile::ReadRow& row) {
        rows += sweepfile::row_text(
            kind == sweepfile::Kind::sweep
                ? sweepfile::sweep_values(row.sweep)
                : sweepfile::capacity_values(row.index, row.capacity, s.convergence));
      },
      kept);
  ::close(fd);
  if (bad) return;
  require(kept.bytes <= text.size(), "kept more than the file");
  if (kept.bytes == 0) {
    require(kept.rows == 0 && std::string_view(expected).starts_with(text),
            "started over a file that is more than a cut head");
    return;
  }
  require(text.substr(0, kept.bytes) == expected + rows, "kept bytes are not the head and rows");
}

void merge(std::string_view text) {
  const int fd = file_of(text);
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  std::string merged;
  const auto bad = sweepfile::merge_files({path}, std::nullopt,
                                          [&](std::string_view bytes) { merged += bytes; });
  ::close(fd);
  if (bad) return;
  std::string unsharded;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t lf = text.find('\n', pos);
    require(lf != std::string_view::npos, "merged a file whose last line is cut");
    const std::string_view line = text.substr(pos, lf + 1 - pos);
    if (!sweepfile::is_shard_line(line)) unsharded += line;
    pos = lf + 1;
  }
  require(merged == unsharded, "a merge of one file is not that file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  resume(text, sweepfile::Kind::sweep);
  resume(text, sweepfile::Kind::capacity);
  merge(text);
  return 0;
}
