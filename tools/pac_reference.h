// What a host must receive from GetPicture for a PAC file's bytes, worked out from the bytes alone
// and independently of the module's own code: the oracle of tests and fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pac_writer.h"

namespace pac_reference {

// The 40-byte BITMAPINFOHEADER of a bottom-up 24-bit picture at 72 dots per inch.
inline std::vector<uint8_t> ExpectedInfoBlock(int32_t width, int32_t height) {
  std::vector<uint8_t> header(40, 0);
  pac_writer::PutLittleEndian(header, 0, 40, 4);
  pac_writer::PutLittleEndian(header, 4, static_cast<uint32_t>(width), 4);
  pac_writer::PutLittleEndian(header, 8, static_cast<uint32_t>(height), 4);
  pac_writer::PutLittleEndian(header, 12, 1, 2);
  pac_writer::PutLittleEndian(header, 14, 24, 2);
  pac_writer::PutLittleEndian(header, 24, 2834, 4);
  pac_writer::PutLittleEndian(header, 28, 2834, 4);
  return header;
}

// The file's stored rows, last one first, each whole; what the file does not hold reads as zero.
inline std::vector<uint8_t> ExpectedPixelBlock(const std::vector<uint8_t>& file, int32_t width,
                                               int32_t height) {
  const size_t stride = pac_writer::RowStrideOf(width);
  if (stride == 0) {
    return {};  // no bytes, however many rows
  }
  std::vector<uint8_t> area(stride * static_cast<size_t>(height), 0);
  for (size_t i = 0; i < area.size() && pac_writer::kPixelAreaOffset + i < file.size(); ++i) {
    area[i] = file[pac_writer::kPixelAreaOffset + i];
  }
  std::vector<uint8_t> block;
  block.reserve(area.size());
  for (size_t row = static_cast<size_t>(height); row-- > 0;) {
    block.insert(block.end(), area.begin() + static_cast<ptrdiff_t>(row * stride),
                 area.begin() + static_cast<ptrdiff_t>((row + 1) * stride));
  }
  return block;
}

}  // namespace pac_reference
