// The step output: at every output point, the history the model reads back, then the observers.
#pragma once

#include <cstdint>
#include <span>

#include "model/model.h"

namespace liftsim::output {

// One output point as the observers see it, after the history has been updated for it.
struct OutputPoint {
  double x = 0.0;                // time, s
  const double* y = nullptr;     // state (kNdim components)
  const double* dery = nullptr;  // derivative of the state at x
  int ihlf = 0;                  // integrator indicator of the point
  std::int32_t n_out = 0;        // output calls of the run before this one
  const model::Model* model = nullptr;
  const model::Published* pub = nullptr;  // what the model published at its last evaluation
  const model::OutputHistory* hist = nullptr;
  const model::ObservationPoints* obs = nullptr;
};

// Something that wants every output point: the time-history files, a CSV, a summary. Observers
// run in the integration loop, with the run's floating-point traps on: they should not allocate
// once set up (a few reallocations of a growing buffer aside), and report failures by throwing
// textio::RunFailure.
class PointObserver {
 public:
  virtual ~PointObserver() = default;
  virtual void on_point(const OutputPoint& point) = 0;
  // True once the observer has all it wants and asks the run to end after this point.
  virtual bool finished() const { return false; }
};

// Updates the history for the output point (x, y): last output state, rolling angle, rates.
void update_history(double x, const double* y, int ndim, const model::Model& model,
                    model::OutputHistory& hist);

// The output routine of one run: history first, then each observer in order, then the count.
class StepOutput {
 public:
  StepOutput(const model::Model& model, const model::ObservationPoints& obs,
             const model::Published& pub, model::OutputHistory& hist,
             std::span<PointObserver* const> observers)
      : model_(model), obs_(obs), pub_(pub), hist_(hist), observers_(observers) {}

  // True when an observer finished with this point.
  bool operator()(double x, const double* y, const double* dery, int ihlf, int ndim);

 private:
  const model::Model& model_;
  const model::ObservationPoints& obs_;
  const model::Published& pub_;
  model::OutputHistory& hist_;
  std::span<PointObserver* const> observers_;
};

}  // namespace liftsim::output
