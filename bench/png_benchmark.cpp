// PNG encoding of a 2048 × 2048 photo-like picture (smooth gradients with a little noise):
// spihost's encoder at every compression level against stb_image_write, the encoder spihost used
// before, at its own default. Prints size and median time of each, and both as a share of stb's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/photo_like.h"
#include "host/picture_files.h"
#include "loader/dib.h"
#include "loader/little_endian.h"

#include "host/stb_image_write_implementation.h"

namespace {

constexpr int32_t kSide = 2048;
constexpr int kRepetitions = 5;

double MedianSeconds(const std::function<size_t()>& encode, size_t& size) {
  std::vector<double> times;
  for (int i = 0; i < kRepetitions; ++i) {
    const auto start = std::chrono::steady_clock::now();
    size = encode();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void AppendToVector(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

}  // namespace

int main() {
  const auto stride = static_cast<size_t>(dib::RowStride(kSide));
  const std::vector<uint8_t> pixels = photo_like::Pixels(kSide, kSide, stride, 0);
  uint8_t header[dib::kInfoHeaderSize] = {};
  little_endian::Store(dib::kInfoHeaderSize, 4, header);
  const spihost::PictureView picture{header, pixels.data(), kSide, kSide, stride};

  // stb_image_write takes top-down RGB rows: the conversion spihost made is part of its cost.
  size_t stb_size = 0;
  const double stb_seconds = MedianSeconds(
      [&] {
        std::vector<uint8_t> rgb(3 * static_cast<size_t>(kSide) * kSide);
        for (size_t y = 0; y < kSide; ++y) {
          const uint8_t* source = pixels.data() + (kSide - 1 - y) * stride;
          for (size_t x = 0; x < 3 * static_cast<size_t>(kSide); x += 3) {
            rgb[y * 3 * kSide + x] = source[x + 2];
            rgb[y * 3 * kSide + x + 1] = source[x + 1];
            rgb[y * 3 * kSide + x + 2] = source[x];
          }
        }
        std::vector<uint8_t> file;
        stbi_write_png_to_func(AppendToVector, &file, kSide, kSide, 3, rgb.data(), 3 * kSide);
        return file.size();
      },
      stb_size);
  std::printf("%-24s %10s %9s %8s %8s\n", "encoder", "bytes", "seconds", "size/stb", "time/stb");
  std::printf("%-24s %10zu %9.3f %8.2f %8.2f\n", "stb_image_write (8)", stb_size, stb_seconds, 1.0,
              1.0);
  for (int level = spihost::kLowestPngLevel; level <= spihost::kHighestPngLevel; ++level) {
    size_t size = 0;
    const double seconds = MedianSeconds(
        [&] {
          std::string error;
          return spihost::EncodePng(picture, level, error).size();
        },
        size);
    const std::string name = "spihost, level " + std::to_string(level) +
                             (level == spihost::kDefaultPngLevel ? " (default)" : "");
    std::printf("%-24s %10zu %9.3f %8.2f %8.2f\n", name.c_str(), size, seconds,
                static_cast<double>(size) / static_cast<double>(stb_size), seconds / stb_seconds);
  }
  return 0;
}
