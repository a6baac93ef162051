// Result files read back: one to continue (--resume), shard files to merge. Both stream: memory
// holds a line per file, whatever the files' sizes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweepfile/format.h"

namespace liftsim::sweepfile {

struct Resumable {
  std::int64_t rows = 0;    // the shard's first rows the file holds, whole and in order
  std::uint64_t bytes = 0;  // what to keep of the file: its head and those rows (0: start over)
};

// Reads a result file to continue, from `fd` at its start. Its head must be `head`, line by line
// (the provenance, then the header); a file that holds nothing, or no more than the beginning of
// `head`, is started over. Its rows must be the first rows of the study's shard, in order, each
// one as RowReader reads it, and each is handed to `on_row`; a last line without its line feed
// (cut) is dropped, to be run again. Otherwise what is wrong, naming the line.
std::optional<std::string> read_resumable(int fd, const std::vector<std::string>& head,
                                          const Study& study,
                                          const std::function<void(ReadRow& row)>& on_row,
                                          Resumable& out, const std::atomic<int>* stop = nullptr);

// Merges result files (the shards of one study, or a whole one) into one. Their heads must be the
// same apart from their shard lines; every row is checked (RowReader, and against the file's own
// shard); the rows come out in case order, each case of the study exactly once (`cases`, when
// given, must be how many the study has). `write` receives the merged file's bytes in order: the
// head without a shard line, then the rows; without it the files are only checked. Otherwise what
// is wrong, naming the file and the line.
std::optional<std::string> merge_files(const std::vector<std::string>& paths,
                                       std::optional<std::int64_t> cases,
                                       const std::function<void(std::string_view bytes)>& write);

}  // namespace liftsim::sweepfile
