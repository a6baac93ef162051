// Road profile under the truck.
#pragma once

namespace liftsim::model {

// Height of the road surface under the abscissa x: the road is flat.
inline double z_road(double /*x*/) {
  return 0.0;
}

}  // namespace liftsim::model
