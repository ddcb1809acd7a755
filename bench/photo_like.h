// Photo-like pixels for the benchmarks: three slow waves across the picture per channel, and a
// little noise from a fixed sequence, so that PNG encoders meet what photographs give them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace photo_like {

// BGR rows of stride bytes, the first row first; seed varies the noise and the waves' phase.
inline std::vector<uint8_t> Pixels(int32_t width, int32_t height, size_t stride, uint32_t seed) {
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(height), 0);
  uint32_t noise = 12345 + seed;
  const double phase = seed * 0.7;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        const double wave =
            std::sin(x * (0.002 + 0.001 * channel) + y * 0.003 * (channel + 1) + phase) +
            std::cos(std::hypot(x - 900.0, y - 700.0 * channel) * 0.004);
        noise = noise * 1664525u + 1013904223u;
        const double value = 128 + 60 * wave + static_cast<int>(noise >> 29) - 4;
        pixels[static_cast<size_t>(y) * stride + 3 * static_cast<size_t>(x) + channel] =
            static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
      }
    }
  }
  return pixels;
}

}  // namespace photo_like
