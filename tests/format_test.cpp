#include "format/pac_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> HeadWith(size_t size, size_t at, uint8_t first, uint8_t second) {
  std::vector<uint8_t> head(size, 0x55);
  head[at] = first;
  head[at + 1] = second;
  return head;
}

TEST(IsPacSignature, DecidesOnBytesEightAndNineAlone) {
  struct Case {
    std::vector<uint8_t> head;
    bool expected;
  };
  const Case cases[] = {
      {HeadWith(15, 8, 'B', 'M'), true},
      {std::vector<uint8_t>(15, 0xFF), false},
      {HeadWith(15, 0, 'B', 'M'), false},  // a plain bitmap file
      {HeadWith(15, 8, 'b', 'm'), false},
      {HeadWith(15, 8, 'M', 'B'), false},
      {HeadWith(15, 8, 'B', 'N'), false},
      {HeadWith(10, 8, 'B', 'M'), true},  // ten bytes are enough
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pac::IsPacSignature(c.head.data(), c.head.size()), c.expected);
  }
  std::vector<uint8_t> other = HeadWith(15, 8, 'B', 'M');
  for (size_t i : {0, 1, 7, 10, 14}) {
    other[i] = static_cast<uint8_t>(i * 17);
    EXPECT_TRUE(pac::IsPacSignature(other.data(), other.size()));
  }
}

TEST(IsPacSignature, RefusesAHeadTooShortToHoldIt) {
  const std::vector<uint8_t> head = HeadWith(15, 8, 'B', 'M');
  EXPECT_FALSE(pac::IsPacSignature(head.data(), 9));
  EXPECT_FALSE(pac::IsPacSignature(head.data(), 0));
}

TEST(ReadPacDimensions, ReadsSignedLittleEndianFields) {
  uint8_t header[pac::kPacHeaderSize] = {};
  const uint8_t width[] = {0x78, 0x56, 0x34, 0x12};
  const uint8_t height[] = {0xFE, 0xFF, 0xFF, 0xFF};
  std::memcpy(header + 26, width, 4);
  std::memcpy(header + 30, height, 4);
  const pac::PacDimensions dimensions = pac::ReadPacDimensions(header);
  EXPECT_EQ(dimensions.width, 0x12345678);
  EXPECT_EQ(dimensions.height, -2);
}

TEST(ComputeRowStride, RoundsThreeBytesAPixelUpToFour) {
  const int32_t expected[] = {0, 4, 8, 12, 12, 16, 20, 24, 24};
  for (int32_t width = 0; width <= 8; ++width) {
    EXPECT_EQ(pac::ComputeRowStride(width), expected[width]) << "width " << width;
  }
}

TEST(ComputeRowStride, RefusesNegativeWidthsAndRowsBeyond32Bits) {
  EXPECT_FALSE(pac::ComputeRowStride(-1));
  EXPECT_FALSE(pac::ComputeRowStride(INT_MIN));
  EXPECT_FALSE(pac::ComputeRowStride(INT_MAX));
  // 3 × 715827882 + 2 = 2^31 is one too many; the width below it just fits.
  EXPECT_FALSE(pac::ComputeRowStride(715827882));
  EXPECT_EQ(pac::ComputeRowStride(715827881), 2147483644);
}

TEST(ComputePixelAreaLayout, CoversEveryPictureWhoseAreaFits32Bits) {
  struct Case {
    pac::PacDimensions dimensions;
    bool fits;
    int32_t row_stride;
    int32_t size;
  };
  const Case cases[] = {
      {{2, 2}, true, 8, 16},
      {{3, 5}, true, 12, 60},
      {{0, 7}, true, 0, 0},
      {{7, 0}, true, 24, 0},
      {{0, INT_MAX}, true, 0, 0},
      {{1, 536870911}, true, 4, 2147483644},  // the largest area of one-pixel rows
      {{1, 536870912}, false, 0, 0},          // 2^31 bytes
      {{715827881, 1}, true, 2147483644, 2147483644},
      {{715827881, 2}, false, 0, 0},
      {{65536, 65536}, false, 0, 0},  // wraps to a small number in 32-bit arithmetic
      {{-1, 1}, false, 0, 0},
      {{1, -1}, false, 0, 0},
      {{INT_MIN, INT_MIN}, false, 0, 0},
  };
  for (const Case& c : cases) {
    const auto layout = pac::ComputePixelAreaLayout(c.dimensions);
    ASSERT_EQ(layout.has_value(), c.fits) << c.dimensions.width << " x " << c.dimensions.height;
    if (layout) {
      EXPECT_EQ(layout->row_stride, c.row_stride);
      EXPECT_EQ(layout->size, c.size);
    }
  }
}

std::vector<uint8_t> CountingBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  }
  return bytes;
}

std::vector<uint8_t> ReversedRows(const std::vector<uint8_t>& area, size_t stride) {
  std::vector<uint8_t> reversed;
  for (size_t end = area.size(); end >= stride && end > 0; end -= stride) {
    reversed.insert(reversed.end(), area.begin() + static_cast<ptrdiff_t>(end - stride),
                    area.begin() + static_cast<ptrdiff_t>(end));
  }
  return reversed;
}

TEST(ReverseRows, CopiesRowsWholeInReverseOrderBetweenBuffersAndInPlace) {
  // Strides beyond the swap chunk check that long rows are moved whole.
  for (int32_t stride : {4, 8, 12, 4096, 4100, 10000}) {
    for (int32_t height : {1, 2, 3, 4, 5}) {
      const std::vector<uint8_t> area = CountingBytes(static_cast<size_t>(stride) * height);
      const std::vector<uint8_t> expected = ReversedRows(area, static_cast<size_t>(stride));

      std::vector<uint8_t> copied(area.size(), 0);
      pac::ReverseRows(area.data(), copied.data(), height, stride);
      EXPECT_EQ(copied, expected) << "copy, stride " << stride << ", height " << height;

      std::vector<uint8_t> in_place = area;
      pac::ReverseRows(in_place.data(), in_place.data(), height, stride);
      EXPECT_EQ(in_place, expected) << "in place, stride " << stride << ", height " << height;
    }
  }
}

TEST(ReverseRows, TouchesNothingForNoRows) {
  std::vector<uint8_t> destination(8, 0xAA);
  const std::vector<uint8_t> source(8, 0x11);
  pac::ReverseRows(source.data(), destination.data(), 0, 8);
  pac::ReverseRows(source.data(), destination.data(), -3, 8);
  EXPECT_EQ(destination, std::vector<uint8_t>(8, 0xAA));
}

TEST(BuildBitmapHeader, DescribesABottomUp24BitPicture) {
  uint8_t header[pac::kBitmapHeaderSize + 1];
  std::memset(header, 0xCC, sizeof header);
  pac::BuildBitmapHeader(0x01020304, -5, header);
  const uint8_t expected[pac::kBitmapHeaderSize] = {
      40, 0, 0, 0, 0x04, 0x03, 0x02, 0x01, 0xFB, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0, 0, 0, 0, 0,
      0,  0, 0, 0, 0x12, 0x0B, 0,    0,    0x12, 0x0B, 0,    0,    0, 0, 0,  0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(header, expected, sizeof expected), 0);
  EXPECT_EQ(header[pac::kBitmapHeaderSize], 0xCC) << "wrote past the header";
}

}  // namespace
