#include "results/column_collector.h"

#include <utility>

namespace liftsim::results {

ColumnCollector::ColumnCollector(std::vector<const Column*> selected)
    : selected_(std::move(selected)) {
  if (selected_.empty()) {
    for (const Column& c : results::columns()) selected_.push_back(&c);
  }
  values_.reserve(selected_.size() * 1024);
}

void ColumnCollector::on_point(const output::OutputPoint& p) {
  sample_.t = p.x;
  for (int i = 0; i < model::kNdim; ++i) {
    sample_.y[i] = p.y[i];
    sample_.dery[i] = p.dery[i];
  }
  derive_at_point(sample_, *p.model, *p.pub, *p.obs, *p.hist);
  for (const Column* c : selected_) values_.push_back(c->value(sample_));
}

}  // namespace liftsim::results
