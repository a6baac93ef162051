// The rows a page plots, kept in bounded memory whatever the number of rows of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "results/rows.h"

namespace liftsim::results {

// Keeps every row while they number at most `max_rows`. Beyond, it splits the time span into
// slices and keeps of each slice its first and last row and, for every column, the first row that
// holds the column's least value and the first that holds its greatest: whole rows of the run, so
// that every peak and trough of every column is kept and the side view draws real states. While
// the rows kept would number more than `max_rows`, neighbouring slices are merged in pairs (their
// kept rows hold everything the merged slice keeps). What it holds never depends on the number of
// rows: at most `max_rows` rows, and the open slice's at most 4·width + 5 more.
class PageSink : public RowSink {
 public:
  // `width`: values per row, the first a time that does not decrease. `t_start`, `t_end`: the span
  // the slices cover (times outside it fall into the first or the last slice). `max_rows`: at
  // least 2·width + 2 are kept (one slice's worth). `slices`: how many slices to begin with,
  // rounded up to a power of two.
  PageSink(std::size_t width, double t_start, double t_end, std::size_t max_rows,
           std::size_t slices = 4096);

  void on_row(std::span<const double> row) override;

  // The rows kept, in their order. Ends the sink: call it once, after the last row.
  std::vector<std::vector<double>> take_rows();

  std::int64_t rows_seen() const { return seen_; }
  // The number of time slices the rows were reduced over; 0 while every row is kept.
  std::size_t slices() const { return slices_; }

 private:
  std::size_t rows() const { return kept_.size() / width_; }
  const double* row(std::size_t i) const { return kept_.data() + i * width_; }
  void append(const double* values);
  std::size_t slice_of(double t) const;
  void add_to_slices(const double* values);
  void open_slice(std::size_t id, const double* values);
  void reopen_last_slice();
  void close_slice();
  void coarsen();
  std::size_t reduce(std::size_t from, std::size_t to, std::size_t out);
  void start_slicing();

  std::size_t width_;
  double t_start_;
  double span_;
  std::size_t max_rows_;
  std::size_t first_slices_;
  std::size_t slices_ = 0;
  std::int64_t seen_ = 0;
  std::vector<double> kept_;         // the rows kept, one after another
  std::vector<std::size_t> starts_;  // each slice's first row in kept_
  std::vector<std::size_t> ids_;     // each slice's number, increasing
  std::vector<double> low_, high_;   // the open slice's least and greatest value of each column
  std::vector<double> last_;         // the open slice's latest row
  bool last_kept_ = false;           // whether that row is the last one of kept_
  std::vector<unsigned char> keep_;  // scratch of reduce
};

}  // namespace liftsim::results
