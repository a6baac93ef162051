// The integrator on a stiff system, to the last bit (on the truck, the golden runs pin it).
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include "numeric/xemi.h"

namespace liftsim::numeric {
namespace {

using V = std::vector<double>;

// The fast mode forces seven halvings in the start; doublings follow. State and derivative are
// pinned from a run that a separate step-by-step transcription of the method reproduced bit for
// bit; the sum of the call times guards every stage and back-point time.
TEST(Xemi, StiffRunReproducesThePinnedArithmetic) {
  std::array<double, 5> prmt{0.0, 3.0, 0.5, 1e-4, 0.0};
  V y{1.0, 1.0}, dery{0.5, 0.5}, aux(32), calls;
  int ihlf = -1, first_ihlf = -1, outputs = 0;
  double last_x = 0.0;
  auto fct = [&](double x, const double* u, double* d) {
    calls.push_back(x);
    d[0] = -60.0 * u[0], d[1] = -u[1];
  };
  auto outp = [&](double x, const double*, const double*, int h, int, std::array<double, 5>&) {
    if (++outputs == 2) first_ihlf = h;  // the first refined start point
    last_x = x;
  };
  Xemi(prmt, y.data(), dery.data(), 2, ihlf, aux.data(), fct, outp);
  const double times = std::accumulate(calls.begin(), calls.end(), 0.0);
  EXPECT_EQ(std::tuple(first_ihlf, ihlf, last_x, calls.size(), times),
            std::tuple(7, 5, 0x1.81p+1, 856u, 0x1.2717cfd49ap+10));
  EXPECT_EQ(y, (V{-0x1.7f8b9c511cb16p-19, 0x1.94ae8a0a48d24p-5}));
  EXPECT_EQ(dery, (V{0x1.6792e28c0ae65p-13, -0x1.94ae8a0a48d24p-5}));
}

// A run stops at the first output point closer to its end than a tenth of the step: on either side
// of that margin the last point is the one before the end or the first after it.
TEST(Xemi, EndsWithinATenthOfAStepOfTheEnd) {
  for (const auto& [end, last] : {std::pair{1.02375, 1.0}, std::pair{1.02625, 1.25}}) {
    std::array<double, 5> prmt{0.0, end, 0.25, 1e-4, 0.0};
    V y{1.0}, dery{1.0}, aux(16);
    int ihlf = -1;
    double last_x = 0.0;
    auto fct = [](double, const double*, double* d) { d[0] = 0.0; };
    auto outp = [&](double x, const double*, const double*, int, int, std::array<double, 5>&) {
      last_x = x;
    };
    Xemi(prmt, y.data(), dery.data(), 1, ihlf, aux.data(), fct, outp);
    EXPECT_EQ(last_x, last) << end;
  }
}

}  // namespace
}  // namespace liftsim::numeric
