#include "results/rows.h"

#include <utility>

namespace liftsim::results {

std::vector<const Column*> all_if_none(std::vector<const Column*> selected) {
  if (selected.empty()) {
    for (const Column& c : columns()) selected.push_back(&c);
  }
  return selected;
}

RowMaker::RowMaker(std::optional<double> grid_step, std::vector<const Column*> selected,
                   std::vector<RowSink*> sinks)
    : selected_(all_if_none(std::move(selected))),
      sinks_(std::move(sinks)),
      row_(selected_.size()),
      grid_step_(grid_step) {}

void RowMaker::emit(const Sample& s) {
  ++rows_;
  for (std::size_t j = 0; j < selected_.size(); ++j) row_[j] = selected_[j]->value(s);
  for (RowSink* sink : sinks_) sink->on_row(row_);
}

// Rows at the grid times in (last.t, to.t]: a time that is an output point's own takes its values;
// the others lie between two points and take the cubic through both values and derivatives.
void RowMaker::grid_rows(Sample& to, const output::OutputPoint& point) {
  const Sample& last = *last_;
  const double step = *grid_step_;
  for (;;) {
    const double t = t_start_ + static_cast<double>(next_k_) * step;
    if (t > to.t) return;
    ++next_k_;
    if (t <= last.t) continue;
    if (t == to.t) {
      derive_at_point(to, *point.model, *point.pub, *point.obs, *point.hist);
      emit(to);
      continue;
    }
    const double h = to.t - last.t;
    const double s = (t - last.t) / h;
    const double r = 1.0 - s;
    const double h00 = (1.0 + 2.0 * s) * r * r;
    const double h10 = s * r * r;
    const double h01 = s * s * (3.0 - 2.0 * s);
    const double h11 = s * s * (s - 1.0);
    scratch_.t = t;
    for (int i = 0; i < model::kNdim; ++i) {
      scratch_.y[i] =
          h00 * last.y[i] + h10 * h * last.dery[i] + h01 * to.y[i] + h11 * h * to.dery[i];
      scratch_.dery[i] = r * last.dery[i] + s * to.dery[i];
    }
    derive_from_state(scratch_, *model_);
    // The point accelerations come from differences between output points: linear in between.
    for (int p = 0; p < model::kObservationPoints; ++p) {
      scratch_.ax_p[p] = r * last.ax_p[p] + s * to.ax_p[p];
      scratch_.az_p[p] = r * last.az_p[p] + s * to.az_p[p];
    }
    emit(scratch_);
  }
}

void RowMaker::on_point(const output::OutputPoint& p) {
  Sample& s = *current_;
  s.t = p.x;
  for (int i = 0; i < model::kNdim; ++i) {
    s.y[i] = p.y[i];
    s.dery[i] = p.dery[i];
  }
  if (!started_ || !grid_step_) {
    derive_at_point(s, *p.model, *p.pub, *p.obs, *p.hist);
  } else {
    point_accelerations(s, *p.pub, *p.obs, *p.hist);  // the rest only where a row falls on it
  }
  if (!started_) {
    started_ = true;
    model_ = p.model;
    t_start_ = p.x;
    if (grid_step_) {
      emit(s);  // the first grid time is the start time, the first output point's
      next_k_ = 1;
      std::swap(last_, current_);
      return;
    }
  }
  if (!grid_step_) {
    emit(s);
    return;
  }
  grid_rows(s, p);
  std::swap(last_, current_);
}

}  // namespace liftsim::results
