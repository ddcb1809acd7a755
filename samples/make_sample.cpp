// Writes samples/sample.pac: a 90 × 60 PAC picture whose orientation and colours show at a
// glance. Red, green, blue and white squares sit in the top-left, top-right, bottom-left and
// bottom-right corners of a background that grows redder to the right and greener downwards.
#include <cstdio>
#include <vector>

#include "testing/files.h"
#include "testing/pac_writer.h"

namespace {

constexpr int32_t kWidth = 90;  // 270 bytes of pixels a row, so each row carries 2 pad bytes
constexpr int32_t kHeight = 60;
constexpr int32_t kSquare = 12;

struct Rgb {
  uint8_t red, green, blue;
};

Rgb ColourAt(int32_t x, int32_t y) {
  const bool left = x < kSquare, right = x >= kWidth - kSquare;
  const bool top = y < kSquare, bottom = y >= kHeight - kSquare;
  if (top && left)
    return {255, 0, 0};
  if (top && right)
    return {0, 255, 0};
  if (bottom && left)
    return {0, 0, 255};
  if (bottom && right)
    return {255, 255, 255};
  return {static_cast<uint8_t>(x * 255 / (kWidth - 1)),
          static_cast<uint8_t>(y * 255 / (kHeight - 1)), 96};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT.pac\n");
    return 2;
  }
  // Rows top first, pixels blue, green, red: the order a PAC file stores them in.
  const auto stride = static_cast<size_t>(oracle::RowStride(kWidth));
  std::vector<uint8_t> area(stride * kHeight, 0);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const Rgb colour = ColourAt(x, y);
      uint8_t* pixel = &area[static_cast<size_t>(y) * stride + 3 * static_cast<size_t>(x)];
      pixel[0] = colour.blue;
      pixel[1] = colour.green;
      pixel[2] = colour.red;
    }
  }
  test_files::WriteFileBytes(argv[1], pac_writer::EncodePac(kWidth, kHeight, area));
  return 0;
}
