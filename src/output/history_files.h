// The 22 time-history files: one record each, and a progress line, on every 500th output point.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "output/logged.h"
#include "output/step_output.h"
#include "textio/files.h"

namespace liftsim::output {

// Only every 500th output call (counting from 0) writes.
inline constexpr int kThinning = 500;

// A value of a record: from the logged quantities, the state or the published drive torque.
using RecordValue = double (*)(const Logged& lg, const double* y, const model::Published& pub);

// One time-history file: its unit, its name and the values after the time (one or two).
struct HistoryFile {
  int unit;
  std::string_view name;
  int values;
  std::array<RecordValue, 2> value;
};

// The files in the order a writing call writes them; the progress line comes after
// kProgressLineAfter of them. They are opened in the order of their unit numbers.
extern const std::array<HistoryFile, 22> kHistoryFiles;
inline constexpr int kProgressLineAfter = 6;

// Opens the 22 files on their units, in the order of the unit numbers.
void open_history_files(textio::FileSet& files);

// Writes the records on every 500th point; the progress line goes to `console` when there is one.
// Without files it still works out the logged quantities on those points, so that a run fails
// where a run with files fails (a load below 1 kg divides by zero in the analytic wheel load).
class HistoryFiles : public PointObserver {
 public:
  HistoryFiles(textio::FileSet* files, textio::Console* console);
  void on_point(const OutputPoint& point) override;

 private:
  textio::FileSet* files_;
  textio::Console* console_;
  std::string buffer_;
};

}  // namespace liftsim::output
