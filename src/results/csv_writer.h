// Dense results as CSV: one row per output point, or rows on a fixed time grid by cubic Hermite
// interpolation between output points.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output/step_output.h"
#include "results/columns.h"
#include "textio/buffered_file.h"
#include "textio/shortest.h"

namespace liftsim::results {

// Writes a header row of the column names, then the rows: UTF-8, comma-separated, LF line ends,
// numbers as the shortest text that reads back as the same double.
class CsvWriter : public output::PointObserver {
 public:
  // `grid_step`: rows at t_start + k·step instead of at every output point. With `rows`, every
  // row's values are also kept there (for a page that plots them); `file` may then be null.
  // `selected`: the columns to write (see select_columns); empty for all of them.
  CsvWriter(textio::BufferedFile* file, std::optional<double> grid_step,
            std::vector<std::vector<double>>* rows = nullptr,
            std::vector<const Column*> selected = {});

  void on_point(const output::OutputPoint& point) override;
  // Writes what is left; the file stays open.
  void finish();

  long rows() const { return rows_; }

 private:
  void write_header();
  void write_row(const Sample& s);
  // `point`: the output point `to` is, for deriving the rest of it if a row falls on it.
  void grid_rows(Sample& to, const output::OutputPoint& point);

  textio::BufferedFile* file_;
  std::vector<std::vector<double>>* kept_;
  std::vector<const Column*> selected_;
  std::vector<char> row_text_;  // room for a row's text, made once
  std::optional<double> grid_step_;
  bool started_ = false;
  double t_start_ = 0.0;
  long next_k_ = 0;  // index of the next grid time
  Sample points_[2];
  Sample* last_ = &points_[0];  // the previous output point (grid)
  Sample* current_ = &points_[1];
  Sample scratch_;
  const model::Model* model_ = nullptr;
  long rows_ = 0;
};

// Appends the shortest round-trip text of `value`.
void append_number(std::string& out, double value);

}  // namespace liftsim::results
