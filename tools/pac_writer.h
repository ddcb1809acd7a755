// Writes PAC pictures byte by byte, independently of the decoder: for tests, fuzzing seeds,
// benchmarks and the sample picture.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pac_writer {

inline constexpr size_t kPixelAreaOffset = 62;

inline void PutLittleEndian(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// Bytes per stored row: 3 × width rounded up to a multiple of 4.
inline size_t RowStrideOf(int32_t width) {
  return (3 * static_cast<size_t>(width) + 3) & ~size_t{3};
}

// A recognisable pixel area: every byte depends on its row and column, so a row out of place or
// a byte shifted shows up. Rows are given top first, as a PAC file stores them.
inline std::vector<uint8_t> PatternedPixelArea(int32_t width, int32_t height) {
  const size_t stride = RowStrideOf(width);
  std::vector<uint8_t> area(stride * static_cast<size_t>(height));
  for (size_t row = 0; row < static_cast<size_t>(height); ++row) {
    for (size_t column = 0; column < stride; ++column) {
      area[row * stride + column] = static_cast<uint8_t>((row * 37 + column * 11 + 5) % 251 + 1);
    }
  }
  return area;
}

// A PAC file: an 8-byte prefix, a bitmap file header, a 40-byte info header and the pixel area.
// The headers describe a 24-bit uncompressed bitmap of the given size.
inline std::vector<uint8_t> EncodePac(int32_t width, int32_t height,
                                      const std::vector<uint8_t>& pixel_area) {
  std::vector<uint8_t> file(kPixelAreaOffset + pixel_area.size(), 0);
  const uint8_t prefix[8] = {'P', 'A', 'C', ' ', 0x01, 0x00, 0x00, 0x00};
  for (size_t i = 0; i < sizeof prefix; ++i) {
    file[i] = prefix[i];
  }
  file[8] = 'B';
  file[9] = 'M';
  const auto area_size = static_cast<uint32_t>(pixel_area.size());
  PutLittleEndian(file, 10, 54 + area_size, 4);  // size of the bitmap file
  PutLittleEndian(file, 18, 54, 4);              // offset of its pixel data
  PutLittleEndian(file, 22, 40, 4);              // info-header size
  PutLittleEndian(file, 26, static_cast<uint32_t>(width), 4);
  PutLittleEndian(file, 30, static_cast<uint32_t>(height), 4);
  PutLittleEndian(file, 34, 1, 2);   // planes
  PutLittleEndian(file, 36, 24, 2);  // bits per pixel
  PutLittleEndian(file, 42, area_size, 4);
  PutLittleEndian(file, 46, 2834, 4);
  PutLittleEndian(file, 50, 2834, 4);
  std::copy(pixel_area.begin(), pixel_area.end(), file.begin() + kPixelAreaOffset);
  return file;
}

inline std::vector<uint8_t> EncodePatternedPac(int32_t width, int32_t height) {
  return EncodePac(width, height, PatternedPixelArea(width, height));
}

}  // namespace pac_writer
