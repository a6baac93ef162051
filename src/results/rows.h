// The rows of the dense results: made from the output points (at every point, or on a time grid by
// cubic Hermite interpolation between them) and handed to sinks that write or keep them.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "output/step_output.h"
#include "results/columns.h"

namespace liftsim::results {

// Takes the rows of a run one at a time: a value per selected column, in their order, the time
// first. A sink reports a failure by throwing textio::RunFailure; it runs in the integration
// loop, so what it holds must stay bounded whatever the number of rows.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void on_row(std::span<const double> row) = 0;
};

// Makes the rows and hands each to every sink, in the order given.
class RowMaker : public output::PointObserver {
 public:
  // `grid_step`: rows at t_start + k·step instead of at every output point. `selected`: the
  // columns (see select_columns); empty for all of them.
  RowMaker(std::optional<double> grid_step, std::vector<const Column*> selected,
           std::vector<RowSink*> sinks);

  void on_point(const output::OutputPoint& point) override;

  const std::vector<const Column*>& columns() const { return selected_; }
  long rows() const { return rows_; }

 private:
  void emit(const Sample& s);
  // `point`: the output point `to` is, for deriving the rest of it if a row falls on it.
  void grid_rows(Sample& to, const output::OutputPoint& point);

  std::vector<const Column*> selected_;
  std::vector<RowSink*> sinks_;
  std::vector<double> row_;  // the values of one row, made once
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

// Every column when `selected` is empty, else `selected`.
std::vector<const Column*> all_if_none(std::vector<const Column*> selected);

}  // namespace liftsim::results
