// The PAC picture format: a 24-bit Windows bitmap file behind an 8-byte prefix, whose pixel rows
// are stored top row first. Everything here works on bytes the caller has already read: no files,
// no handles, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pac {

// Layout of a PAC file: a prefix, then a bitmap file whose file header and info header the pixel
// rows follow directly. Multi-byte fields are little-endian.
inline constexpr size_t kPrefixSize = 8;
inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kInfoHeaderSize = 40;
inline constexpr size_t kSignatureOffset = kPrefixSize;
inline constexpr size_t kWidthOffset = kPrefixSize + kFileHeaderSize + 4;
inline constexpr size_t kHeightOffset = kWidthOffset + 4;
inline constexpr size_t kDimensionsEnd = kHeightOffset + 4;  // a header shorter than this lacks one
inline constexpr size_t kPixelAreaOffset = kPrefixSize + kFileHeaderSize + kInfoHeaderSize;

// The start of a file read to learn a picture's dimensions: both lie within it.
inline constexpr size_t kPacHeaderSize = 48;

// The 40-byte BITMAPINFOHEADER that describes the bottom-up pixel block handed to a host.
inline constexpr size_t kBitmapHeaderSize = kInfoHeaderSize;
inline constexpr uint16_t kBitsPerPixel = 24;
inline constexpr int32_t kPixelsPerMetre = 2834;  // 72 dots per inch

// The largest pixel area handled: its size must fit a signed 32-bit integer.
inline constexpr int64_t kMaxPixelAreaSize = INT32_MAX;

struct PacDimensions {
  int32_t width;
  int32_t height;
};

// How the pixel area of a picture is cut: height rows of row_stride bytes, size bytes in all.
struct PixelAreaLayout {
  int32_t row_stride;
  int32_t size;
};

// True when the two bytes at the signature offset are "BM". A head shorter than that is not a PAC.
bool IsPacSignature(const uint8_t* head, size_t size);

// Width and height as stored, unvalidated. header must hold at least kDimensionsEnd bytes.
PacDimensions ReadPacDimensions(const uint8_t* header);

// Bytes per stored row: 3 × width rounded up to a multiple of 4. Empty for a negative width or a
// row that does not fit a signed 32-bit integer.
std::optional<int32_t> ComputeRowStride(int32_t width);

// Row stride and size (height × row stride) of the pixel area. Empty for negative dimensions, or a
// row or an area larger than kMaxPixelAreaSize.
std::optional<PixelAreaLayout> ComputePixelAreaLayout(PacDimensions dimensions);

// Writes the rows of source into destination in reverse order, each row copied whole. Source and
// destination are both height × row_stride bytes; they are either the same buffer (the rows are
// then swapped in place) or do not overlap at all. Nothing happens for a height of 0 or less.
void ReverseRows(const uint8_t* source, uint8_t* destination, int32_t height, int32_t row_stride);

// Writes the kBitmapHeaderSize bytes of the header of a bottom-up 24-bit picture.
void BuildBitmapHeader(int32_t width, int32_t height, uint8_t* destination);

}  // namespace pac
