// IsSupported on any bytes, given in memory and as the host's open handle: served exactly when
// bytes 8 and 9 are "BM", and the handle stays open, positioned after what was read.
#include <algorithm>
#include <cstring>
#include <vector>

#include "entry_points.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool signature = size >= 10 && data[8] == 'B' && data[9] == 'M';

  // Hosts hand over at least 15 bytes; a shorter input is padded, with the signature unchanged.
  std::vector<uint8_t> memory(data, data + size);
  memory.resize(std::max<size_t>(size, 15), 0);
  FUZZ_CHECK(IsSupported(nullptr, reinterpret_cast<uintptr_t>(memory.data())) ==
             (signature ? 1 : 0));

  const fuzz_support::InputFile file(data, size);
  lseek(file.descriptor(), static_cast<off_t>(size / 2), SEEK_SET);
  FUZZ_CHECK(IsSupported("input", static_cast<uintptr_t>(file.descriptor())) ==
             (signature ? 1 : 0));
  FUZZ_CHECK(lseek(file.descriptor(), 0, SEEK_CUR) ==
             static_cast<off_t>(std::min<size_t>(size, 15)));
  return 0;
}
