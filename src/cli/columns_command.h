// `liftsim columns`: the CSV columns with their units and meanings.
#pragma once

namespace liftsim::cli {

int columns_command(bool json);

}  // namespace liftsim::cli
