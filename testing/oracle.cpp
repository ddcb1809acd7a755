#include "testing/oracle.h"

#include <algorithm>

#include "loader/little_endian.h"

namespace oracle {
namespace {

constexpr uint64_t kLargestArea = 0x7FFFFFFF;

void Put(Bytes& bytes, size_t offset, uint32_t value, size_t size) {
  little_endian::Store(value, size, bytes.data() + offset);
}

}  // namespace

std::optional<Dimensions> DimensionsOf(const uint8_t* bytes, size_t size) {
  if (size < kDimensionsEnd) {
    return std::nullopt;
  }
  return Dimensions{little_endian::LoadSigned32(bytes + kWidthOffset),
                    little_endian::LoadSigned32(bytes + kHeightOffset)};
}

int32_t ExpectedServed(const uint8_t* head, size_t size) {
  return size >= kSignatureOffset + 2 && head[kSignatureOffset] == 'B' &&
                 head[kSignatureOffset + 1] == 'M'
             ? 1
             : 0;
}

Bytes ExpectedRecord(const Bytes& before, const std::optional<Dimensions>& described) {
  Bytes record = before;
  Put(record, 0, 0, 4);    // left
  Put(record, 4, 0, 4);    // top
  Put(record, 16, 72, 2);  // horizontal density
  Put(record, 18, 72, 2);  // vertical density
  // Alignment bytes, where the layout has them, and the handle.
  std::fill(record.begin() + kRecordFieldsEnd, record.begin() + kRecordSize, 0);
  if (described) {
    Put(record, 8, static_cast<uint32_t>(described->width), 4);
    Put(record, 12, static_cast<uint32_t>(described->height), 4);
    Put(record, 20, 24, 2);
  }
  return record;
}

std::optional<PixelAreaLayout> LoadableLayout(const uint8_t* bytes, size_t size) {
  const std::optional<Dimensions> dimensions = DimensionsOf(bytes, size);
  if (!dimensions || dimensions->width < 0 || dimensions->height < 0) {
    return std::nullopt;
  }
  const uint64_t stride = RowStride(dimensions->width);
  // The row is checked before the area is formed, which then fits 64 bits.
  if (stride > kLargestArea) {
    return std::nullopt;
  }
  const uint64_t area = stride * static_cast<uint64_t>(dimensions->height);
  if (area > kLargestArea) {
    return std::nullopt;
  }
  return PixelAreaLayout{*dimensions, static_cast<size_t>(stride), static_cast<size_t>(area)};
}

Bytes ExpectedInfoBlock(int32_t width, int32_t height) {
  Bytes header(kInfoHeaderSize, 0);
  Put(header, 0, kInfoHeaderSize, 4);
  Put(header, 4, static_cast<uint32_t>(width), 4);
  Put(header, 8, static_cast<uint32_t>(height), 4);
  Put(header, 12, 1, 2);     // planes
  Put(header, 14, 24, 2);    // bits per pixel
  Put(header, 24, 2834, 4);  // 72 dots per inch, in pixels per metre
  Put(header, 28, 2834, 4);
  return header;
}

std::optional<Picture> ExpectedPicture(const Bytes& file) {
  const std::optional<PixelAreaLayout> layout = LoadableLayout(file.data(), file.size());
  if (!layout) {
    return std::nullopt;
  }
  Picture picture{ExpectedInfoBlock(layout->dimensions.width, layout->dimensions.height),
                  Bytes(layout->size, 0)};
  const size_t rows = layout->row_stride == 0 ? 0 : layout->size / layout->row_stride;
  for (size_t row = 0; row < rows; ++row) {
    const size_t stored = kPixelAreaOffset + (rows - 1 - row) * layout->row_stride;
    for (size_t i = 0; i < layout->row_stride && stored + i < file.size(); ++i) {
      picture.pixels[row * layout->row_stride + i] = file[stored + i];
    }
  }
  return picture;
}

}  // namespace oracle
