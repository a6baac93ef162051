// Adaptive Hamming predictor–corrector integrator with a Runge–Kutta start.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace liftsim::numeric {

// Rows of the work array: `aux` holds kAuxRows·ndim doubles.
inline constexpr int kAuxRows = 16;

// ihlf when a step would have had to be halved an eleventh time.
inline constexpr int kIhlfStepTooSmall = 11;

// Optional counters of one integrator call. halvings counts every halving, those of the start
// included, so at a normal end ihlf = halvings − doublings.
struct XemiStats {
  std::int64_t accepted = 0;   // accepted Hamming steps (each one output point)
  std::int64_t halvings = 0;   // step halvings, start and Hamming phase
  std::int64_t doublings = 0;  // step doublings
  double min_step = +std::numeric_limits<double>::infinity();  // smallest |h| of an accepted step
};

namespace xemi_detail {

// The 16 × ndim work array, stored component by component: aux(r, i) with row r = 1..16 and
// component i = 1..ndim lives at (i − 1)·16 + (r − 1).
class Aux {
 public:
  explicit Aux(double* p) : p_(p) {}
  double& operator()(int r, int i) const { return p_[(i - 1) * kAuxRows + (r - 1)]; }

 private:
  double* p_;
};

// A state-sized vector indexed from 1.
class Vec {
 public:
  explicit Vec(double* p) : p_(p) {}
  double& operator()(int i) const { return p_[i - 1]; }

 private:
  double* p_;
};

// Constants of the method, each the single-precision value of its decimal literal.
inline constexpr double kRk2 = double{0.4f};  // stage 2 weight and time
inline constexpr double kRk3Time = double{0.4557372f};
inline constexpr double kRk3K1 = double{0.2969776f};
inline constexpr double kRk3K2 = double{0.1587596f};
inline constexpr double kRk4K1 = double{0.2181004f};
inline constexpr double kRk4K2 = double{3.050965f};
inline constexpr double kRk4K3 = double{3.832865f};
inline constexpr double kRkK1 = double{0.1747603f};
inline constexpr double kRkK2 = double{0.5514807f};
inline constexpr double kRkK3 = double{1.205536f};
inline constexpr double kRkK4 = double{0.1711848f};
inline constexpr double kStartErr = double{0.06666667f};  // 1/15
inline constexpr double kAm1 = 0.375;                     // 9/24
inline constexpr double kAm2 = double{0.7916667f};        // 19/24
inline constexpr double kAm3 = double{0.2083333f};        // 5/24
inline constexpr double kAm4 = double{0.04166667f};       // 1/24
inline constexpr double kThird = double{0.3333333f};
inline constexpr double kThreeEighths = 0.375;
inline constexpr double kPredictor = double{1.333333f};  // 4/3
inline constexpr double kModifier = double{0.9256198f};  // 112/121
inline constexpr double kFinal = double{0.07438017f};    // 9/121
inline constexpr double kEndTol = double{0.1f};
inline constexpr double kDoubleTol = double{0.02f};
inline constexpr double kRestartY = double{8.962963f};  // 242/27
inline constexpr double kRestartF = double{3.361111f};  // 121/36

}  // namespace xemi_detail

// Integrates dy/dt = fct(t, y) from prmt[0] towards prmt[1] with the initial and largest step
// prmt[2] and the error bound prmt[3]. On entry `dery` holds one error weight per component; on
// return `y` and `dery` are the state and derivative of the last output point.
//
//   fct(double t, const double* y, double* dery)     derivative at t
//   outp(double x, const double* y, const double* dery, int ihlf, int ndim,
//        std::array<double, 5>& prmt)                 every output point; prmt[4] ≠ 0 stops
//
// ihlf on return: 0–10 normal end (net number of halvings of prmt[2]), 11 a step would have had
// to be halved an eleventh time, 12 empty interval or zero step, 13 step of the wrong sign.
// `aux` is caller storage of kAuxRows·ndim doubles. Nothing is allocated.
template <class Rhs, class Observer>
void Xemi(std::array<double, 5>& prmt, double* y_, double* dery_, int ndim, int& ihlf, double* aux_,
          Rhs&& fct, Observer&& outp, XemiStats* stats = nullptr) {
  using namespace xemi_detail;
  const Aux aux(aux_);
  const Vec y(y_);
  const Vec dery(dery_);

  // ---- Entry.
  ihlf = 0;
  double x = prmt[0];  // current time, also the time of every output point
  double h = prmt[2];  // current step
  prmt[4] = 0.0;
  int n = 1;  // row pointer

  // Derivative and output at time t of the point in y.
  auto output = [&](double t) {
    fct(t, y_, dery_);
    outp(t, y_, dery_, ihlf, ndim, prmt);
  };

  // One Runge–Kutta step of length h from the state in row n at time x (its derivative already
  // in row n + 7); x is not changed, the result is left in y, the scaled increments k1..k3 in
  // rows 5..7.
  auto runge_kutta = [&]() {
    for (int i = 1; i <= ndim; ++i) {
      const double k = h * aux(n + 7, i);
      aux(5, i) = k;
      y(i) = k * kRk2 + aux(n, i);
    }
    double s = h * kRk2 + x;
    fct(s, y_, dery_);
    for (int i = 1; i <= ndim; ++i) {
      const double k = dery(i) * h;
      aux(6, i) = k;
      y(i) = (aux(5, i) * kRk3K1 + aux(n, i)) + k * kRk3K2;
    }
    s = h * kRk3Time + x;
    fct(s, y_, dery_);
    for (int i = 1; i <= ndim; ++i) {
      const double k = dery(i) * h;
      aux(7, i) = k;
      y(i) = ((aux(5, i) * kRk4K1 + aux(n, i)) - aux(6, i) * kRk4K2) + k * kRk4K3;
    }
    s = h + x;
    fct(s, y_, dery_);
    for (int i = 1; i <= ndim; ++i) {
      y(i) = (((aux(5, i) * kRkK1 + aux(n, i)) - aux(6, i) * kRkK2) + aux(7, i) * kRkK3) +
             (dery(i) * h) * kRkK4;
    }
  };

  for (int i = 1; i <= ndim; ++i) {
    aux(16, i) = 0.0;
    aux(15, i) = dery(i);  // error weights, kept for the whole call
    aux(1, i) = y(i);
  }
  // Codes 12 and 13 are decided before any step; the start point is output anyway.
  const double d = (prmt[1] - x) * h;
  if (d < 0.0) {
    ihlf = 13;
  } else if (d == 0.0) {
    ihlf = 12;
  }
  output(x);
  if (prmt[4] != 0.0 || ihlf > 0) return;
  for (int i = 1; i <= ndim; ++i) aux(8, i) = dery(i);

  // ---- Start: compare one Runge–Kutta step of 2h with two steps of h, halving until they agree.
  runge_kutta();
  x = x + h;
  for (int i = 1; i <= ndim; ++i) aux(2, i) = y(i);
  for (;;) {
    ihlf = ihlf + 1;
    if (stats) ++stats->halvings;
    x = x - h;
    for (int i = 1; i <= ndim; ++i) aux(4, i) = aux(2, i);
    h = h * 0.5;
    n = 1;
    runge_kutta();

    x = x + h;
    fct(x, y_, dery_);
    n = 2;
    for (int i = 1; i <= ndim; ++i) {
      aux(2, i) = y(i);
      aux(9, i) = dery(i);
    }
    runge_kutta();

    double e = 0.0;
    for (int i = 1; i <= ndim; ++i) e = std::fabs(y(i) - aux(4, i)) * aux(15, i) + e;
    e = e * kStartErr;
    if (!(e > prmt[3])) break;
    if (ihlf >= 10) {
      // The tenth halving did not suffice: the two-step value is output with code 11.
      ihlf = kIhlfStepTooSmall;
      x = x + h;
      output(x);
      return;
    }
  }

  // Third start point, and the derivative of the Runge–Kutta value one step further.
  x = x + h;
  fct(x, y_, dery_);
  for (int i = 1; i <= ndim; ++i) {
    aux(3, i) = y(i);
    aux(10, i) = dery(i);
  }
  n = 3;
  runge_kutta();

  // ---- Refined start values from the four start derivatives, each output in turn.
  n = 1;
  x = x + h;
  fct(x, y_, dery_);
  x = prmt[0];
  for (int i = 1; i <= ndim; ++i) {
    aux(11, i) = dery(i);
    y(i) = ((((aux(8, i) * kAm1 + aux(9, i) * kAm2) - aux(10, i) * kAm3) + dery(i) * kAm4) * h) +
           aux(1, i);
  }
  for (;;) {
    x = x + h;
    n = n + 1;
    output(x);
    if (prmt[4] != 0.0) return;
    if (n >= 4) break;
    for (int i = 1; i <= ndim; ++i) {
      aux(n, i) = y(i);
      aux(n + 7, i) = dery(i);
    }
    if (n == 2) {
      // Simpson's rule over the first two steps.
      for (int i = 1; i <= ndim; ++i) {
        double q = aux(9, i) + aux(9, i);
        q = q + q;
        y(i) = (((aux(10, i) + aux(8, i)) + q) * h) * kThird + aux(1, i);
      }
    } else {
      // Three-eighths rule over the first three steps.
      for (int i = 1; i <= ndim; ++i) {
        double q = aux(10, i) + aux(9, i);
        q = (q + q) + q;
        y(i) = (((aux(11, i) + aux(8, i)) + q) * h) * kThreeEighths + aux(1, i);
      }
    }
  }

  // ---- Hamming steps. Rows 1..7 hold the newest points (the newest in row n − 1), rows 8..14
  // their derivatives, row 16 the predictor-minus-corrector difference of the last step.
  int steps = 3;          // steps since the last change of h; the start steps count
  bool store_new = true;  // false after a halving: x already is the new target
  for (;;) {
    if (store_new) {
      if (n == 8) {
        // Each component's rows are contiguous: move rows 2..7 and 9..14 one row up, through
        // fixed-size temporaries so the moves stay inline.
        for (int i = 1; i <= ndim; ++i) {
          std::array<double, 6> ys, ds;
          for (int k = 2; k <= 7; ++k) {
            ys[k - 2] = aux(k, i);
            ds[k - 2] = aux(k + 7, i);
          }
          for (int k = 2; k <= 7; ++k) {
            aux(k - 1, i) = ys[k - 2];
            aux(k + 6, i) = ds[k - 2];
          }
        }
        n = 7;
      }
      n = n + 1;
      for (int i = 1; i <= ndim; ++i) {
        aux(n - 1, i) = y(i);
        aux(n + 6, i) = dery(i);
      }
      x = x + h;
    }

    // A 32-bit count that wraps rather than overflows.
    steps = static_cast<int>(static_cast<std::uint32_t>(steps) + 1u);
    // Predictor with the modifier from the previous step's difference.
    for (int i = 1; i <= ndim; ++i) {
      const double p =
          (((((aux(n + 6, i) + aux(n + 6, i)) - aux(n + 5, i)) + aux(n + 4, i)) + aux(n + 4, i)) *
           h) *
              kPredictor +
          aux(n - 4, i);
      y(i) = p - aux(16, i) * kModifier;
      aux(16, i) = p;
    }
    fct(x, y_, dery_);
    // Corrector, then the final value from the new difference.
    for (int i = 1; i <= ndim; ++i) {
      const double c = ((((aux(n + 6, i) + aux(n + 6, i)) + dery(i)) - aux(n + 5, i)) * h * 3.0 +
                        (aux(n - 1, i) * 9.0 - aux(n - 3, i))) *
                       0.125;
      aux(16, i) = aux(16, i) - c;
      y(i) = aux(16, i) * kFinal + c;
    }
    double e = 0.0;
    for (int i = 1; i <= ndim; ++i) e = std::fabs(aux(16, i)) * aux(15, i) + e;

    if (!(e < prmt[3])) {
      ihlf = ihlf + 1;
      if (ihlf <= 10) {
        // Halving: interpolate the state half and one and a half old steps behind the newest
        // stored point, evaluate both, and restart the difference for the shorter step.
        if (stats) ++stats->halvings;
        h = h * 0.5;
        steps = 0;
        for (int i = 1; i <= ndim; ++i) {
          y(i) = ((((aux(n - 2, i) * 135.0 + aux(n - 3, i) * 40.0) + aux(n - 1, i) * 80.0) +
                   aux(n - 4, i)) *
                  0.00390625) -
                 (((aux(n + 6, i) - aux(n + 5, i) * 6.0) - aux(n + 4, i)) * h) * 0.1171875;
          aux(n - 4, i) =
              ((((aux(n - 2, i) * 135.0 + aux(n - 3, i) * 108.0) + aux(n - 1, i) * 12.0) +
                aux(n - 4, i)) *
               0.00390625) -
              (((aux(n + 5, i) * 18.0 + aux(n + 6, i)) - aux(n + 4, i) * 9.0) * h) * 0.0234375;
          aux(n - 3, i) = aux(n - 2, i);
          aux(n + 4, i) = aux(n + 5, i);
        }
        x = x - h;
        double s = x - (h + h);
        fct(s, y_, dery_);
        for (int i = 1; i <= ndim; ++i) {
          aux(n - 2, i) = y(i);
          aux(n + 5, i) = dery(i);
          y(i) = aux(n - 4, i);
        }
        s = s - (h + h);
        fct(s, y_, dery_);
        for (int i = 1; i <= ndim; ++i) {
          double q = aux(n + 4, i) + aux(n + 5, i);
          q = (q + q) + q;
          aux(16, i) = (aux(n - 1, i) - y(i)) * kRestartY -
                       (((aux(n + 6, i) + dery(i)) + q) * h) * kRestartF;
          aux(n + 3, i) = dery(i);
        }
        store_new = false;
        continue;
      }
      // An eleventh halving: the failed point is output with code 11 below.
    } else if (stats) {
      ++stats->accepted;
      if (std::fabs(h) < stats->min_step) stats->min_step = std::fabs(h);
    }

    // Output of the point, then the end test.
    output(x);
    if (prmt[4] != 0.0) return;
    if (ihlf >= kIhlfStepTooSmall) return;
    if ((x - prmt[1]) * h >= 0.0) return;
    if (std::fabs(x - prmt[1]) - std::fabs(h) * kEndTol < 0.0) return;

    store_new = true;
    if (e - prmt[3] * kDoubleTol > 0.0) continue;
    if (!(ihlf > 0 && n >= 7 && steps >= 4 && steps % 2 == 0)) continue;

    // Doubling: the points 2, 4 and 6 old steps behind the accepted one become the points 1, 2
    // and 3 new steps behind it; the accepted point itself is stored on the next pass.
    if (stats) ++stats->doublings;
    h = h + h;
    ihlf = ihlf - 1;
    steps = 0;
    for (int i = 1; i <= ndim; ++i) {
      aux(n - 1, i) = aux(n - 2, i);
      aux(n - 2, i) = aux(n - 4, i);
      aux(n - 3, i) = aux(n - 6, i);
      aux(n + 6, i) = aux(n + 5, i);
      aux(n + 5, i) = aux(n + 3, i);
      aux(n + 4, i) = aux(n + 1, i);
      double q = aux(n + 5, i) + aux(n + 6, i);
      q = (q + q) + q;
      aux(16, i) =
          (y(i) - aux(n - 3, i)) * kRestartY - (((aux(n + 4, i) + dery(i)) + q) * h) * kRestartF;
    }
  }
}

}  // namespace liftsim::numeric
