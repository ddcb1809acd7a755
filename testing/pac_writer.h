// Writes PAC pictures byte by byte, independently of the decoder: for tests, fuzzing seeds,
// benchmarks and the sample picture.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "loader/little_endian.h"
#include "testing/oracle.h"

namespace pac_writer {

using Bytes = std::vector<uint8_t>;

// A recognisable pixel area: every byte depends on its row and column, so a row out of place or
// a byte shifted shows up. Rows are given top first, as a PAC file stores them.
inline Bytes PatternedPixelArea(int32_t width, int32_t height) {
  const auto stride = static_cast<size_t>(oracle::RowStride(width));
  Bytes area(stride * static_cast<size_t>(height));
  for (size_t row = 0; row < static_cast<size_t>(height); ++row) {
    for (size_t column = 0; column < stride; ++column) {
      area[row * stride + column] = static_cast<uint8_t>((row * 37 + column * 11 + 5) % 251 + 1);
    }
  }
  return area;
}

// Stores the two dimensions of a PAC file's header, as they are or hostile.
inline Bytes WithDimensions(Bytes file, uint32_t width, uint32_t height) {
  little_endian::Store(width, 4, file.data() + oracle::kWidthOffset);
  little_endian::Store(height, 4, file.data() + oracle::kHeightOffset);
  return file;
}

// A PAC file: an 8-byte prefix, a bitmap file header, a 40-byte info header and the pixel area.
// The headers describe a 24-bit uncompressed bitmap of the given size.
inline Bytes EncodePac(int32_t width, int32_t height, const Bytes& pixel_area) {
  Bytes file(oracle::kPixelAreaOffset + pixel_area.size(), 0);
  const uint8_t prefix[oracle::kPrefixSize] = {'P', 'A', 'C', ' ', 0x01, 0x00, 0x00, 0x00};
  std::copy(std::begin(prefix), std::end(prefix), file.begin());
  uint8_t* const bitmap = file.data() + oracle::kPrefixSize;
  const auto area_size = static_cast<uint32_t>(pixel_area.size());
  const uint32_t headers = oracle::kFileHeaderSize + oracle::kInfoHeaderSize;
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  little_endian::Store(headers + area_size, 4, bitmap + 2);  // size of the bitmap file
  little_endian::Store(headers, 4, bitmap + 10);             // offset of its pixel data
  uint8_t* const info = bitmap + oracle::kFileHeaderSize;
  little_endian::Store(oracle::kInfoHeaderSize, 4, info + 0);
  little_endian::Store(1, 2, info + 12);   // planes
  little_endian::Store(24, 2, info + 14);  // bits per pixel
  little_endian::Store(area_size, 4, info + 20);
  little_endian::Store(2834, 4, info + 24);  // 72 dots per inch
  little_endian::Store(2834, 4, info + 28);
  std::copy(pixel_area.begin(), pixel_area.end(), file.begin() + oracle::kPixelAreaOffset);
  return WithDimensions(std::move(file), static_cast<uint32_t>(width),
                        static_cast<uint32_t>(height));
}

inline Bytes EncodePatternedPac(int32_t width, int32_t height) {
  return EncodePac(width, height, PatternedPixelArea(width, height));
}

// The first size bytes, or all of them when there are fewer.
inline Bytes Prefix(const Bytes& bytes, size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(size, bytes.size())));
}

}  // namespace pac_writer
