// The rows of a run kept in memory as one block, for a caller that hands them on whole (the Python
// module's arrays).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "results/rows.h"

namespace liftsim::results {

// A row sink that appends every row to one block, row after row. The block grows by doubling;
// nothing else is allocated.
class ColumnCollector : public RowSink {
 public:
  explicit ColumnCollector(std::size_t columns) : columns_(columns) {
    values_.reserve(columns * 1024);
  }
  void on_row(std::span<const double> row) override {
    values_.insert(values_.end(), row.begin(), row.end());
  }
  std::size_t rows() const { return columns_ == 0 ? 0 : values_.size() / columns_; }
  // Row after row, rows() × the number of columns; the caller may take it.
  std::vector<double>& values() { return values_; }

 private:
  std::size_t columns_;
  std::vector<double> values_;
};

}  // namespace liftsim::results
