// IsSupported on any bytes, given in memory and as the host's open handle: the oracle's answer,
// and the handle stays open, positioned after what was read.
#include <algorithm>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "plugin/entry_points.h"
#include "testing/oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int32_t served = oracle::ExpectedServed(data, size);

  // Hosts hand over at least the probe head; a shorter input is padded with zeros.
  std::vector<uint8_t> memory(data, data + size);
  memory.resize(std::max(size, oracle::kProbeHeadSize), 0);
  FUZZ_CHECK(IsSupported(nullptr, reinterpret_cast<uintptr_t>(memory.data())) == served);

  const fuzz_check::InputFile file(data, size);
  lseek(file.descriptor(), static_cast<off_t>(size / 2), SEEK_SET);
  FUZZ_CHECK(IsSupported("input", static_cast<uintptr_t>(file.descriptor())) == served);
  FUZZ_CHECK(lseek(file.descriptor(), 0, SEEK_CUR) ==
             static_cast<off_t>(std::min(size, oracle::kProbeHeadSize)));
  return 0;
}
