// `liftsim sweep`, `liftsim capacity` and `liftsim merge`: many cases from one base case, on
// every core, in slices for a cluster, and the slices put back together.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/common.h"

namespace liftsim::cli {

struct SweepOptions {
  CaseOptions case_options;
  std::vector<std::string> vary;  // --vary NAME=FROM:TO:STEP | NAME=V1,V2,...
  int jobs = 0;                   // 0: the CPUs this process may use
  std::string output;             // -o FILE
  std::string save_dir;           // --save DIR (sweep only)
  std::string html_file;          // --html FILE
  bool resume = false;
  std::string shard;  // --shard K/N
  double slide_limit = 0.05;
  double lift_force = 0.0;
  bool stop_when_decided = true;  // --stop-when-decided / --no-stop-when-decided
  // capacity only
  std::string mass = "1:5000";  // --mass LO:HI
  double resolution = 1.0;      // --resolution KG
  bool convergence = false;     // --convergence
  // tilt-test only
  double slope_resolution = 0.01;  // --resolution PCT
  double margin = 0.1;             // --margin PCT
  std::optional<double> require;   // --require PCT
};

int sweep_command(const SweepOptions& options);
int capacity_command(const SweepOptions& options);
int tilt_command(const SweepOptions& options);

struct MergeOptions {
  std::vector<std::string> files;
  std::string output;
  std::optional<std::int64_t> cases;  // --cases N: how many the merged file must hold
};
int merge_command(const MergeOptions& options);

}  // namespace liftsim::cli
