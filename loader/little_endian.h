// Little-endian numbers in the records a host exchanges with a module and in the files it reads
// and writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace little_endian {

inline uint32_t Load(const uint8_t* bytes, size_t size) {
  uint32_t value = 0;
  for (size_t i = size; i-- > 0;) {
    value = value << 8 | bytes[i];
  }
  return value;
}

inline int32_t LoadSigned32(const uint8_t* bytes) {
  return static_cast<int32_t>(Load(bytes, 4));
}

inline void Store(uint32_t value, size_t size, uint8_t* bytes) {
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

}  // namespace little_endian
