// Dense results as CSV: one row per output point, or rows on a fixed time grid (see rows.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/rows.h"
#include "textio/buffered_file.h"

namespace liftsim::results {

// Writes a header row of the column names, then the rows: UTF-8, comma-separated, LF line ends,
// numbers as the shortest text that reads back as the same double.
class CsvSink : public RowSink {
 public:
  // Writes the header at once: it goes out even when the run ends before its first row.
  CsvSink(textio::BufferedFile& file, const std::vector<const Column*>& columns);

  void on_row(std::span<const double> row) override;

 private:
  textio::BufferedFile& file_;
  std::vector<char> row_text_;  // room for a row's text, made once
};

// The CSV of a run as one observer: the rows made and written to `file`.
class CsvWriter : public output::PointObserver {
 public:
  // `grid_step`, `selected`: as for RowMaker.
  CsvWriter(textio::BufferedFile* file, std::optional<double> grid_step,
            std::vector<const Column*> selected = {});

  void on_point(const output::OutputPoint& point) override { maker_.on_point(point); }
  // Writes what is left; the file stays open.
  void finish() { file_->flush(); }

  long rows() const { return maker_.rows(); }

 private:
  textio::BufferedFile* file_;
  CsvSink sink_;
  RowMaker maker_;
};

// Appends the shortest round-trip text of `value`.
void append_number(std::string& out, double value);

}  // namespace liftsim::results
