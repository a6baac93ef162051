// The tilting-table test: the forward slope at which the braked truck, standing still, tips over
// its front wheels.
#pragma once

#include <atomic>
#include <optional>

#include "sweep/case_run.h"

namespace liftsim::sweep {

// The load's friction coefficient on the forks during the test, unless the base case sets one: a
// test load is secured, so that the truck, not the load, is what the table tips.
inline constexpr double kSecured = 10.0;

struct TiltOptions {
  double resolution = 0.01;  // per cent of slope the critical slope is found to
  double margin = 0.1;       // per cent below and above it that the dynamic runs confirm
  // A slope the truck must stand on: each row then says whether the critical slope is above it.
  std::optional<double> require;
  // Ends the test early: the runs under way end at their next output point, and the row is
  // dropped (tilt_test returns nothing).
  const std::atomic<int>* stop = nullptr;
};

struct TiltRow {
  double height = 0.0;
  // The forward slope, per cent, at which the braked truck standing in equilibrium has no load
  // left on its steered wheels; none when it tips on level ground already (`note` says so) or
  // stands up to the steepest slope looked at.
  std::optional<double> critical;
  double rigid = 0.0;  // the same from the rigid truck: centre of mass over the wheels' contact
  // Dynamic runs held by the brake `margin` below and above the critical slope: their verdicts.
  std::optional<results::Verdict> below, above;
  std::optional<bool> pass;  // with a required slope: the critical slope lies above it
  std::string note;
  int runs = 0;
};

// The test for the base case at one height (the value of `height_param`, normally zc_4): the
// truck on a table tilted forward, drive off, held by its brake from the start (the base case's
// drive and brake are replaced; its model is used as it is, and should be the sound one, whose
// start is its own equilibrium and whose brake reacts on the body). The critical slope comes from
// the truck's equilibrium on the slope (the run's settled start, no integration), found by false
// position to `resolution`; then a run `margin` below it and one above it, each to the base
// case's end time, say what the truck does there.
std::optional<TiltRow> tilt_test(const BaseCase& base, const params::Param& height_param,
                                 double height, const TiltOptions& options = {});

// The rigid-body estimate of the critical slope, per cent, for the values of a case: the truck as
// one rigid body on undeflected tyres, tipping about the traction wheels' contact when its centre
// of mass (truck and load, at their places at the start) passes over it: 100·tan θ with
// tan θ = horizontal distance behind the contact / height above it.
double rigid_tilt(const params::CaseValues& values);

}  // namespace liftsim::sweep
