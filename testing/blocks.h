// The host's side of GetPicture's handover: variables that show whether a call wrote them, and
// the blocks copied out and released as a host releases them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "loader/host_services.h"
#include "testing/oracle.h"

namespace blocks {

// What a host variable holds before a call; still there afterwards, the call left it alone.
inline void* const kUntouchedHandle = reinterpret_cast<void*>(uintptr_t{0x5A5A5A5A});

// Copies the two handed-over blocks (40 and pixel_size bytes) and releases them.
inline oracle::Picture TakeBlocks(void* info, void* pixels, size_t pixel_size) {
  const auto* info_bytes = static_cast<const uint8_t*>(info);
  const auto* pixel_bytes = static_cast<const uint8_t*>(pixels);
  oracle::Picture picture{oracle::Bytes(info_bytes, info_bytes + oracle::kInfoHeaderSize),
                          oracle::Bytes(pixel_bytes, pixel_bytes + pixel_size)};
  host_services::ReleaseBlock(info);
  host_services::ReleaseBlock(pixels);
  return picture;
}

}  // namespace blocks
