#include "png.h"

#include <zlib.h>

#include <cstdlib>
#include <map>
#include <string>

namespace liftsim::testing {
namespace {

std::uint32_t be32(std::string_view b, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(b[at])} << 24 |
         std::uint32_t{static_cast<unsigned char>(b[at + 1])} << 16 |
         std::uint32_t{static_cast<unsigned char>(b[at + 2])} << 8 |
         std::uint32_t{static_cast<unsigned char>(b[at + 3])};
}

void need(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("PNG: ") + what);
}

int paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

Image decode_png(std::string_view bytes) {
  need(bytes.size() >= 8 && bytes.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8),
       "no signature");
  Image img;
  std::string idat;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const std::uint32_t length = be32(bytes, at);
    const std::string_view type = bytes.substr(at + 4, 4);
    need(at + 12 + length <= bytes.size(), "chunk runs past the end");
    const std::string_view body = bytes.substr(at + 8, length);
    if (type == "IHDR") {
      need(length == 13, "bad header");
      img.width = static_cast<int>(be32(body, 0));
      img.height = static_cast<int>(be32(body, 4));
      const int depth = static_cast<unsigned char>(body[8]), colour = body[9];
      need(depth == 8 && body[10] == 0 && body[11] == 0 && body[12] == 0,
           "only 8-bit, not interlaced");
      switch (colour) {
        case 0:
          img.channels = 1;
          break;
        case 4:
          img.channels = 2;
          break;
        case 2:
          img.channels = 3;
          break;
        case 6:
          img.channels = 4;
          break;
        default:
          need(false, "palette images are not read");
      }
    } else if (type == "IDAT") {
      idat.append(body);
    } else if (type == "IEND") {
      break;
    }
    at += 12 + length;
  }
  need(img.width > 0 && img.height > 0 && img.channels > 0, "no image");
  const std::size_t stride = static_cast<std::size_t>(img.width) * img.channels;
  std::vector<std::uint8_t> raw((stride + 1) * img.height);
  uLongf raw_size = raw.size();
  need(uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(idat.data()),
                  idat.size()) == Z_OK &&
           raw_size == raw.size(),
       "bad image data");
  img.pixels.resize(stride * img.height);
  const int bpp = img.channels;
  for (int y = 0; y < img.height; ++y) {
    const std::uint8_t filter = raw[y * (stride + 1)];
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* out = &img.pixels[y * stride];
    const std::uint8_t* up = y > 0 ? out - stride : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= static_cast<std::size_t>(bpp) ? out[i - bpp] : 0;
      const int b = up ? up[i] : 0;
      const int c = up && i >= static_cast<std::size_t>(bpp) ? up[i - bpp] : 0;
      int predictor = 0;
      switch (filter) {
        case 0:
          predictor = 0;
          break;
        case 1:
          predictor = a;
          break;
        case 2:
          predictor = b;
          break;
        case 3:
          predictor = (a + b) / 2;
          break;
        case 4:
          predictor = paeth(a, b, c);
          break;
        default:
          need(false, "unknown row filter");
      }
      out[i] = static_cast<std::uint8_t>(in[i] + predictor);
    }
  }
  return img;
}

ImageStats image_stats(const Image& image) {
  std::map<std::uint32_t, std::size_t> counts;
  const std::size_t n = static_cast<std::size_t>(image.width) * image.height;
  for (std::size_t p = 0; p < n; ++p) {
    std::uint32_t key = 0;
    for (int k = 0; k < image.channels; ++k) key = key << 8 | image.pixels[p * image.channels + k];
    ++counts[key];
  }
  std::size_t most = 0;
  for (const auto& [colour, count] : counts) most = std::max(most, count);
  return {n ? 1.0 - static_cast<double>(most) / n : 0.0, counts.size()};
}

}  // namespace liftsim::testing
