// GetPictureInfo on any bytes, from memory of exactly the input's length and from a file: the
// oracle's record, byte for byte, and no file left open.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_check.h"
#include "plugin/entry_points.h"
#include "testing/oracle.h"

namespace {

void CheckRecord(int32_t result, const PictureInfoRecord& record, const uint8_t* data,
                 size_t size) {
  const std::optional<oracle::Dimensions> described = oracle::DimensionsOf(data, size);
  const oracle::Bytes untouched(sizeof record, 0xFF);
  const oracle::Bytes expected = oracle::ExpectedRecord(untouched, described);
  FUZZ_CHECK(result == (described ? 0 : 1));
  FUZZ_CHECK(std::memcmp(&record, expected.data(), sizeof record) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap copy of exactly size bytes: AddressSanitizer reports any read past it.
  const std::unique_ptr<char[]> memory(new char[size]);
  std::memcpy(memory.get(), data, size);
  PictureInfoRecord record;
  std::memset(&record, 0xFF, sizeof record);
  CheckRecord(GetPictureInfo(memory.get(), static_cast<intptr_t>(size), 1, &record), record, data,
              size);

  const fuzz_check::InputFile file(data, size);
  const int free_descriptor = fuzz_check::LowestFreeDescriptor();
  std::memset(&record, 0xFF, sizeof record);
  CheckRecord(GetPictureInfo(file.name(), 0, 0, &record), record, data, size);
  FUZZ_CHECK(fuzz_check::LowestFreeDescriptor() == free_descriptor);
  return 0;
}
