#include "results/csv_writer.h"

#include <utility>

#include "textio/shortest.h"

namespace liftsim::results {

void append_number(std::string& out, double value) {
  char buf[textio::kShortestRoom];
  out.append(buf, textio::write_shortest(buf, value));
}

CsvWriter::CsvWriter(textio::BufferedFile* file, std::optional<double> grid_step,
                     std::vector<std::vector<double>>* rows, std::vector<const Column*> selected)
    : file_(file), kept_(rows), selected_(std::move(selected)), grid_step_(grid_step) {
  if (selected_.empty()) {
    for (const Column& c : columns()) selected_.push_back(&c);
  }
  row_text_.resize(selected_.size() * (textio::kShortestRoom + 1));
  // The header goes out even when the run ends before its first output point.
  write_header();
}

void CsvWriter::write_header() {
  if (file_ == nullptr) return;
  std::string& out = file_->buffer();
  bool first = true;
  for (const Column* c : selected_) {
    if (!first) out += ',';
    out += c->name;
    first = false;
  }
  out += '\n';
  file_->end_record();
}

void CsvWriter::write_row(const Sample& s) {
  ++rows_;
  if (kept_ != nullptr) {
    std::vector<double>& row = kept_->emplace_back();
    row.reserve(selected_.size());
    for (const Column* c : selected_) row.push_back(c->value(s));
  }
  if (file_ == nullptr) return;
  // The row is put together in its own room and appended whole: one append per row, not per number.
  char* const text = row_text_.data();
  char* end = text;
  for (const Column* c : selected_) {
    if (end != text) *end++ = ',';
    end = textio::write_shortest(end, c->value(s));
  }
  *end++ = '\n';
  file_->buffer().append(text, end);
  file_->end_record();
}

// Rows at the grid times in (last.t, to.t]: a time that is an output point's own takes its values;
// the others lie between two points and take the cubic through both values and derivatives.
void CsvWriter::grid_rows(Sample& to, const output::OutputPoint& point) {
  const Sample& last = *last_;
  const double step = *grid_step_;
  for (;;) {
    const double t = t_start_ + static_cast<double>(next_k_) * step;
    if (t > to.t) return;
    ++next_k_;
    if (t <= last.t) continue;
    if (t == to.t) {
      derive_at_point(to, *point.model, *point.pub, *point.obs, *point.hist);
      write_row(to);
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
    write_row(scratch_);
  }
}

void CsvWriter::on_point(const output::OutputPoint& p) {
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
      write_row(s);  // the first grid time is the start time, the first output point's
      next_k_ = 1;
      std::swap(last_, current_);
      return;
    }
  }
  if (!grid_step_) {
    write_row(s);
    return;
  }
  grid_rows(s, p);
  std::swap(last_, current_);
}

void CsvWriter::finish() {
  if (file_ != nullptr) file_->flush();
}

}  // namespace liftsim::results
