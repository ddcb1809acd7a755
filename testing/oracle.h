// What a host must receive from the module for any file bytes, worked out from the PAC layout
// alone and independently of the module's code: the one reference of the tests, fuzz targets,
// seed corpus, benchmark and sample generator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "loader/dib.h"

namespace oracle {

using Bytes = std::vector<uint8_t>;

// The PAC layout: an 8-byte prefix, then a bitmap file with its 14-byte file header and 40-byte
// info header, then the pixel rows, top row first.
inline constexpr size_t kPrefixSize = 8;
inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kInfoHeaderSize = dib::kInfoHeaderSize;
inline constexpr size_t kSignatureOffset = kPrefixSize;
inline constexpr size_t kWidthOffset = kPrefixSize + kFileHeaderSize + 4;
inline constexpr size_t kHeightOffset = kWidthOffset + 4;
inline constexpr size_t kDimensionsEnd = kHeightOffset + 4;
inline constexpr size_t kPixelAreaOffset = kPrefixSize + kFileHeaderSize + kInfoHeaderSize;

// The bytes IsSupported reads from a host's handle or memory.
inline constexpr size_t kProbeHeadSize = 15;

// The record GetPictureInfo fills, as this build's hosts lay it out: 4-byte left, top, width and
// height, 2-byte densities and depth, then the pointer-sized handle of an extra block, which
// 64-bit hosts place on an 8-byte boundary after two alignment bytes.
inline constexpr size_t kRecordFieldsEnd = 22;
inline constexpr size_t kRecordHandleOffset = sizeof(void*) == 8 ? 24 : kRecordFieldsEnd;
inline constexpr size_t kRecordSize = kRecordHandleOffset + sizeof(void*);

// A PAC file stores its rows as a 24-bit bitmap does.
using dib::RowStride;

struct Dimensions {
  int32_t width;
  int32_t height;
};

// The dimensions the first bytes of a file hold, or none when they are too few to hold both.
std::optional<Dimensions> DimensionsOf(const uint8_t* bytes, size_t size);

// IsSupported's answer for a file whose delivered first bytes these are.
int32_t ExpectedServed(const uint8_t* head, size_t size);

// The record GetPictureInfo leaves where `before` lay: the fixed fields (alignment bytes included)
// always, width, height and depth only when the picture was described. Its result is 0 exactly
// when it was.
Bytes ExpectedRecord(const Bytes& before, const std::optional<Dimensions>& described);

// How GetPicture cuts a picture, or none when it must refuse it: a header too short to hold both
// dimensions, a negative dimension, or a row or pixel area beyond 2^31 − 1 bytes.
struct PixelAreaLayout {
  Dimensions dimensions;
  size_t row_stride;
  size_t size;
};
std::optional<PixelAreaLayout> LoadableLayout(const uint8_t* bytes, size_t size);

// The two blocks a host receives.
struct Picture {
  Bytes info;
  Bytes pixels;
};

// The 40-byte BITMAPINFOHEADER of a bottom-up 24-bit picture at 72 dots per inch.
Bytes ExpectedInfoBlock(int32_t width, int32_t height);

// GetPicture's blocks for a file, or none when it is refused. The stored rows come last one
// first, each whole; what the file does not hold reads as zero.
std::optional<Picture> ExpectedPicture(const Bytes& file);

// Dimensions no picture can have: negative, or a row or area beyond 2^31 − 1 bytes.
struct HostileDimensions {
  const char* what;
  uint32_t width;
  uint32_t height;
};
inline constexpr HostileDimensions kHostileDimensions[] = {
    {"negative width", 0xFFFFFFFF, 4},    {"negative height", 4, 0xFFFFFFFC},
    {"INT_MIN width", 0x80000000, 1},     {"INT_MIN height", 4, 0x80000000},
    {"row beyond 32 bits", 715827882, 1}, {"INT_MAX width", 0x7FFFFFFF, 1},
    {"area of 2^31 bytes", 1, 536870912}, {"area wrapping in 32 bits", 65536, 65536},
    {"INT_MAX height", 1, 0x7FFFFFFF},
};

}  // namespace oracle
