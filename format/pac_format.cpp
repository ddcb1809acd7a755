#include "format/pac_format.h"

#include <algorithm>
#include <cstring>

namespace pac {
namespace {

// Rows are swapped through a small stack buffer, so an in-place reversal needs no allocation
// whatever the row length.
constexpr size_t kSwapChunkSize = 4096;

int32_t LoadLittleEndian32(const uint8_t* bytes) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
      static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

void StoreLittleEndian(uint32_t value, size_t size, uint8_t* bytes) {
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

// A size computed in 64 bits, empty where it exceeds what the format handles.
std::optional<int32_t> CheckedSize(int64_t value) {
  if (value > kMaxPixelAreaSize) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

void SwapBytes(uint8_t* first, uint8_t* second, size_t size) {
  uint8_t chunk[kSwapChunkSize];
  while (size > 0) {
    const size_t step = std::min(size, kSwapChunkSize);
    std::memcpy(chunk, first, step);
    std::memcpy(first, second, step);
    std::memcpy(second, chunk, step);
    first += step;
    second += step;
    size -= step;
  }
}

}  // namespace

bool IsPacSignature(const uint8_t* head, size_t size) {
  return size >= kSignatureOffset + 2 && head[kSignatureOffset] == 'B' &&
         head[kSignatureOffset + 1] == 'M';
}

PacDimensions ReadPacDimensions(const uint8_t* header) {
  return {LoadLittleEndian32(header + kWidthOffset), LoadLittleEndian32(header + kHeightOffset)};
}

std::optional<int32_t> ComputeRowStride(int32_t width) {
  if (width < 0) {
    return std::nullopt;
  }
  const int64_t pixel_bytes = int64_t{3} * width;
  const int64_t pad = (4 - pixel_bytes % 4) % 4;
  return CheckedSize(pixel_bytes + pad);
}

std::optional<PixelAreaLayout> ComputePixelAreaLayout(PacDimensions dimensions) {
  const std::optional<int32_t> row_stride = ComputeRowStride(dimensions.width);
  if (!row_stride || dimensions.height < 0) {
    return std::nullopt;
  }
  const std::optional<int32_t> size = CheckedSize(int64_t{*row_stride} * dimensions.height);
  if (!size) {
    return std::nullopt;
  }
  return PixelAreaLayout{*row_stride, *size};
}

void ReverseRows(const uint8_t* source, uint8_t* destination, int32_t height, int32_t row_stride) {
  if (height <= 0 || row_stride <= 0) {
    return;
  }
  const auto stride = static_cast<size_t>(row_stride);
  const auto rows = static_cast<size_t>(height);
  if (source == destination) {
    for (size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
      SwapBytes(destination + top * stride, destination + bottom * stride, stride);
    }
    return;
  }
  for (size_t row = 0; row < rows; ++row) {
    std::memcpy(destination + row * stride, source + (rows - 1 - row) * stride, stride);
  }
}

void BuildBitmapHeader(int32_t width, int32_t height, uint8_t* destination) {
  std::memset(destination, 0, kBitmapHeaderSize);
  StoreLittleEndian(kBitmapHeaderSize, 4, destination + 0);
  StoreLittleEndian(static_cast<uint32_t>(width), 4, destination + 4);
  StoreLittleEndian(static_cast<uint32_t>(height), 4, destination + 8);
  StoreLittleEndian(1, 2, destination + 12);  // planes
  StoreLittleEndian(kBitsPerPixel, 2, destination + 14);
  // Compression (none), image size (left 0) at 16 and 20.
  StoreLittleEndian(kPixelsPerMetre, 4, destination + 24);
  StoreLittleEndian(kPixelsPerMetre, 4, destination + 28);
  // Colours used and colours important at 32 and 36 stay 0: no colour table follows.
}

}  // namespace pac
