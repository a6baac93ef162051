// `liftsim params`: the parameter table with the values a run in the folder would use.
#pragma once

#include "cli/common.h"

namespace liftsim::cli {

struct ParamsOptions {
  CaseOptions case_options;
  bool json = false;
};

int params_command(const ParamsOptions& options);

}  // namespace liftsim::cli
