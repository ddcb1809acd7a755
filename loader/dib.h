// The device-independent bitmap a module hands a host: a 40-byte BITMAPINFOHEADER and rows of
// 24-bit pixels, each row padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dib {

inline constexpr size_t kInfoHeaderSize = 40;

// Bytes per row of a 24-bit bitmap of a non-negative width: 3 × width rounded up to 4.
inline uint64_t RowStride(int32_t width) {
  return (3 * static_cast<uint64_t>(width) + 3) / 4 * 4;
}

}  // namespace dib
