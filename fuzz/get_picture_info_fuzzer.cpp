// GetPictureInfo on any bytes, from memory of exactly the input's length and from a file: 1 when
// fewer than 34 bytes hold the dimensions, otherwise 0 and the record filled from bytes 26 to 33.
#include <cstring>
#include <memory>

#include "entry_points.h"
#include "fuzz_support.h"

namespace {

void CheckRecord(int32_t result, const PictureInfoRecord& record, const uint8_t* data,
                 size_t size) {
  FUZZ_CHECK(result == (size >= 34 ? 0 : 1));
  FUZZ_CHECK(record.left == 0 && record.top == 0);
  FUZZ_CHECK(record.horizontal_density == 72 && record.vertical_density == 72);
  FUZZ_CHECK(record.additional_info == nullptr);
  if (result == 0) {
    FUZZ_CHECK(record.width == fuzz_support::LoadLittleEndian32(data + 26));
    FUZZ_CHECK(record.height == fuzz_support::LoadLittleEndian32(data + 30));
    FUZZ_CHECK(record.colour_depth == 24);
  } else {
    FUZZ_CHECK(record.width == -1 && record.height == -1 && record.colour_depth == -1);
  }
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

  const fuzz_support::InputFile file(data, size);
  const int free_descriptor = fuzz_support::LowestFreeDescriptor();
  std::memset(&record, 0xFF, sizeof record);
  CheckRecord(GetPictureInfo(file.name(), 0, 0, &record), record, data, size);
  FUZZ_CHECK(fuzz_support::LowestFreeDescriptor() == free_descriptor);
  return 0;
}
