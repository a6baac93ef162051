// A small PNG reader for screenshots: 8-bit grey, grey+alpha, RGB and RGBA, not interlaced.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace liftsim::testing {

struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;                  // 1, 2, 3 or 4 bytes per pixel
  std::vector<std::uint8_t> pixels;  // rows top to bottom, no filter bytes
};

// Throws std::runtime_error for anything but a well-formed PNG of the kinds above.
Image decode_png(std::string_view bytes);

// How much of the picture is not the commonest colour, and how many colours there are.
struct ImageStats {
  double share_off_background = 0.0;
  std::size_t colours = 0;
};
ImageStats image_stats(const Image& image);

}  // namespace liftsim::testing
