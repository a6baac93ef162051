// The columns' values at every output point, kept in memory as one block for a caller that hands
// them on whole (the Python module's arrays).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "output/step_output.h"
#include "results/columns.h"

namespace liftsim::results {

// Appends one row per output point: the selected columns' values, worked out as the CSV's rows at
// the output points are, so the two agree bit for bit. The block grows by doubling; nothing else
// is allocated once set up.
class ColumnCollector : public output::PointObserver {
 public:
  // `selected`: the columns to keep (see select_columns); empty for all of them.
  explicit ColumnCollector(std::vector<const Column*> selected = {});

  void on_point(const output::OutputPoint& point) override;

  std::span<const Column* const> columns() const { return selected_; }
  std::size_t rows() const { return values_.size() / selected_.size(); }
  // Row after row, rows() × columns().size() values; the caller may take it.
  std::vector<double>& values() { return values_; }

 private:
  std::vector<const Column*> selected_;
  std::vector<double> values_;
  Sample sample_;
};

}  // namespace liftsim::results
