#include "results/page_sink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace liftsim::results {
namespace {

// Quiet comparisons: a value that is not a number is never an extreme (unless every value is
// one), and comparing it raises no floating-point exception; the rows are made with traps on.
bool lower(double v, double than) {
  return std::isless(v, than) || (std::isnan(than) && !std::isnan(v));
}
bool higher(double v, double than) {
  return std::isgreater(v, than) || (std::isnan(than) && !std::isnan(v));
}

std::size_t power_of_two_at_least(std::size_t n) {
  std::size_t p = 1;
  while (p < n) p *= 2;
  return p;
}

}  // namespace

PageSink::PageSink(std::size_t width, double t_start, double t_end, std::size_t max_rows,
                   std::size_t slices)
    : width_(std::max<std::size_t>(width, 1)),
      t_start_(t_start),
      span_(t_end - t_start),
      max_rows_(std::max(max_rows, 2 * width_ + 2)),
      first_slices_(power_of_two_at_least(slices)),
      low_(width_),
      high_(width_),
      last_(width_) {
  if (!(std::isfinite(span_) && span_ > 0.0)) span_ = 0.0;
}

void PageSink::on_row(std::span<const double> values) {
  if (values.size() != width_) throw std::invalid_argument("page rows: a row of the wrong width");
  ++seen_;
  if (slices_ == 0) {
    append(values.data());
    if (rows() > max_rows_) start_slicing();
    return;
  }
  add_to_slices(values.data());
}

void PageSink::append(const double* values) {
  kept_.insert(kept_.end(), values, values + width_);
}

// Slice k of n covers [k, k + 1) · span / n from the start. The number of slices is a power of two,
// so that halving it maps every time to the half of its slice's number exactly.
std::size_t PageSink::slice_of(double t) const {
  const double from_start = t - t_start_;
  if (!std::isgreater(from_start, 0.0)) return 0;
  if (!std::isless(from_start, span_)) return slices_ - 1;
  const auto k = static_cast<std::size_t>(from_start / span_ * static_cast<double>(slices_));
  return std::min(k, slices_ - 1);
}

// Every row so far (more than fit) goes into the slices instead.
void PageSink::start_slicing() {
  std::vector<double> all;
  all.swap(kept_);
  slices_ = first_slices_;
  for (std::size_t i = 0; i < all.size(); i += width_) add_to_slices(all.data() + i);
}

void PageSink::add_to_slices(const double* v) {
  if (ids_.empty()) {
    open_slice(slice_of(v[0]), v);
    return;
  }
  if (std::max(slice_of(v[0]), ids_.back()) != ids_.back()) {
    close_slice();
    while (rows() > max_rows_ && slices_ > 1) coarsen();
    // Merged, the slice just closed may be the one the row falls into.
    const std::size_t id = std::max(slice_of(v[0]), ids_.back());
    if (id != ids_.back()) {
      open_slice(id, v);
      return;
    }
    reopen_last_slice();
  }
  // The time is the first column: its least and greatest values are the slice's first and last.
  bool extreme = false;
  for (std::size_t j = 1; j < width_; ++j) {
    if (lower(v[j], low_[j])) {
      low_[j] = v[j];
      extreme = true;
    }
    if (higher(v[j], high_[j])) {
      high_[j] = v[j];
      extreme = true;
    }
  }
  std::copy_n(v, width_, last_.begin());
  last_kept_ = extreme;
  if (!extreme) return;
  append(v);
  // Rows that were extremes once but are no longer go, now and then.
  if (rows() - starts_.back() > 4 * width_ + 4) {
    kept_.resize(reduce(starts_.back(), rows(), starts_.back()) * width_);
  }
}

void PageSink::open_slice(std::size_t id, const double* v) {
  starts_.push_back(rows());
  ids_.push_back(id);
  append(v);
  std::copy_n(v, width_, low_.begin());
  std::copy_n(v, width_, high_.begin());
  std::copy_n(v, width_, last_.begin());
  last_kept_ = true;
}

void PageSink::reopen_last_slice() {
  const std::size_t from = starts_.back(), to = rows();
  std::copy_n(row(from), width_, low_.begin());
  std::copy_n(row(from), width_, high_.begin());
  for (std::size_t i = from + 1; i < to; ++i) {
    for (std::size_t j = 1; j < width_; ++j) {
      if (lower(row(i)[j], low_[j])) low_[j] = row(i)[j];
      if (higher(row(i)[j], high_[j])) high_[j] = row(i)[j];
    }
  }
  std::copy_n(row(to - 1), width_, last_.begin());
  last_kept_ = true;
}

void PageSink::close_slice() {
  if (!last_kept_) append(last_.data());
  kept_.resize(reduce(starts_.back(), rows(), starts_.back()) * width_);
  last_kept_ = true;
}

// Half as many slices: each pair of neighbours becomes one, reduced from both slices' rows.
void PageSink::coarsen() {
  slices_ /= 2;
  const std::size_t n = ids_.size(), end = rows();
  std::size_t out = 0, merged = 0;
  for (std::size_t i = 0; i < n;) {
    const std::size_t id = ids_[i] / 2;
    std::size_t next = i + 1;
    while (next < n && ids_[next] / 2 == id) ++next;
    const std::size_t from = starts_[i], to = next < n ? starts_[next] : end;
    starts_[merged] = out;  // merged <= i < next: nothing still to be read is overwritten
    ids_[merged] = id;
    ++merged;
    out = reduce(from, to, out);
    i = next;
  }
  kept_.resize(out * width_);
  starts_.resize(merged);
  ids_.resize(merged);
}

// Of rows [from, to) keeps the first, the last, and for each column the first row holding its
// least and the first holding its greatest value, in their order, moved to start at row `out`
// (out <= from); returns the row after them.
std::size_t PageSink::reduce(std::size_t from, std::size_t to, std::size_t out) {
  const std::size_t n = to - from;
  keep_.assign(n, 0);
  keep_[0] = keep_[n - 1] = 1;
  for (std::size_t j = 1; j < width_; ++j) {
    std::size_t lo = 0, hi = 0;
    for (std::size_t i = 1; i < n; ++i) {
      const double v = row(from + i)[j];
      if (lower(v, row(from + lo)[j])) lo = i;
      if (higher(v, row(from + hi)[j])) hi = i;
    }
    keep_[lo] = keep_[hi] = 1;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (keep_[i] == 0) continue;
    if (out != from + i) {
      std::memmove(kept_.data() + out * width_, row(from + i), width_ * sizeof(double));
    }
    ++out;
  }
  return out;
}

std::vector<std::vector<double>> PageSink::take_rows() {
  if (slices_ > 0 && !ids_.empty()) {
    close_slice();
    while (rows() > max_rows_ && slices_ > 1) coarsen();
  }
  std::vector<std::vector<double>> out;
  out.reserve(rows());
  for (std::size_t i = 0; i < rows(); ++i) out.emplace_back(row(i), row(i) + width_);
  kept_.clear();
  kept_.shrink_to_fit();
  starts_.clear();
  ids_.clear();
  return out;
}

}  // namespace liftsim::results
