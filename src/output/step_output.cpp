#include "output/step_output.h"

#include <algorithm>

namespace liftsim::output {
namespace {

namespace ix = model::ix;

}  // namespace

void update_history(double x, const double* y, int ndim, const model::Model& model,
                    model::OutputHistory& hist) {
  const model::Road& road = model.road;
  // The state vector has kNdim components; never copy past the history's arrays.
  const int n = std::clamp(ndim, 0, model::kNdim);

  for (int i = 0; i < n; ++i) hist.ypop[i] = y[i];
  hist.ypop[model::kNdim] = x;

  // Rolling angle of the traction wheel from the forward speed over the axle height (the legacy
  // model's traction tyre reads it).
  const double dt = x - hist.t_prev;
  hist.t_prev = x;
  hist.fi_roll = hist.fi_roll + (y[ix::VX_013] / (y[ix::Z_013] - road.z(y[ix::X_013]))) * dt;

  // Rates between output points; kept when the time has not moved.
  if (x != hist.t_last) {
    const double h = x - hist.t_last;
    model::Rates& acc = hist.acc_fd;
    acc.ax_013 = (y[ix::VX_013] - hist.y_prev[ix::VX_013]) / h;
    acc.az_013 = (y[ix::VZ_013] - hist.y_prev[ix::VZ_013]) / h;
    acc.afi_1 = (y[ix::VFi_1] - hist.y_prev[ix::VFi_1]) / h;
    acc.az_02 = (y[ix::VZ_02] - hist.y_prev[ix::VZ_02]) / h;
    acc.ax_c4 = (y[ix::VX_C4] - hist.y_prev[ix::VX_C4]) / h;
    acc.afi_3 = (y[ix::VFi_3] - hist.y_prev[ix::VFi_3]) / h;
    hist.t_last = x;
  }
  for (int i = 0; i < n; ++i) hist.y_prev[i] = y[i];
}

bool StepOutput::operator()(double x, const double* y, const double* dery, int ihlf, int ndim) {
  update_history(x, y, ndim, model_, hist_);
  const OutputPoint point{x, y, dery, ihlf, hist_.n_out, &model_, &pub_, &hist_, &obs_};
  bool finished = false;
  for (PointObserver* observer : observers_) {
    observer->on_point(point);
    finished = finished || observer->finished();
  }
  // A 32-bit count that wraps rather than overflows.
  hist_.n_out =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(hist_.n_out) + std::uint32_t{1});
  return finished;
}

}  // namespace liftsim::output
