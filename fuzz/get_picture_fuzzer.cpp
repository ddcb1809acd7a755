// GetPicture on any file: refused (both host variables untouched) when the header lacks a
// dimension or the picture has none that fits; otherwise the header and the file's rows reversed,
// zero where the file ran short. Both blocks are released and no file is left open.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "entry_points.h"
#include "fuzz_support.h"
#include "tools/pac_reference.h"

namespace {

// Loadable pictures with a larger pixel area are skipped: a few bytes of input could otherwise
// ask for gigabytes of block and oracle on every run. The tests cover the largest areas.
constexpr int64_t kComparedAreaLimit = int64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const bool has_dimensions = size >= 34;
  const int32_t width = has_dimensions ? fuzz_support::LoadLittleEndian32(data + 26) : 0;
  const int32_t height = has_dimensions ? fuzz_support::LoadLittleEndian32(data + 30) : 0;
  // Each product is formed only once its factors are known to keep it inside 64 bits.
  const bool non_negative = has_dimensions && width >= 0 && height >= 0;
  const int64_t stride = non_negative ? (int64_t{3} * width + 3) / 4 * 4 : 0;
  const bool row_fits = non_negative && stride <= INT32_MAX;
  const int64_t area = row_fits ? stride * height : 0;
  const bool loadable = row_fits && area <= INT32_MAX;
  if (loadable && area > kComparedAreaLimit) {
    return 0;
  }

  const fuzz_support::InputFile file(data, size);
  const int free_descriptor = fuzz_support::LowestFreeDescriptor();
  void* const untouched = reinterpret_cast<void*>(uintptr_t{0x5A5A5A5A});
  void* info = untouched;
  void* pixels = untouched;
  const int32_t result = GetPicture(file.name(), 0, 0, &info, &pixels, nullptr, 0);
  FUZZ_CHECK(fuzz_support::LowestFreeDescriptor() == free_descriptor);

  if (!loadable) {
    FUZZ_CHECK(result == 1 && info == untouched && pixels == untouched);
    return 0;
  }
  FUZZ_CHECK(result == 0);
  const std::vector<uint8_t> expected_info = pac_reference::ExpectedInfoBlock(width, height);
  FUZZ_CHECK(std::memcmp(info, expected_info.data(), expected_info.size()) == 0);
  const std::vector<uint8_t> expected_pixels =
      pac_reference::ExpectedPixelBlock(bytes, width, height);
  FUZZ_CHECK(expected_pixels.empty() ||
             std::memcmp(pixels, expected_pixels.data(), expected_pixels.size()) == 0);
  std::free(info);
  std::free(pixels);
  return 0;
}
