// GetPicture on any file: the oracle's blocks, or a refusal that leaves both host variables
// untouched. Both blocks are released and no file is left open.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "plugin/entry_points.h"
#include "testing/blocks.h"
#include "testing/oracle.h"

namespace {

// Loadable pictures with a larger pixel area are skipped: a few bytes of input could otherwise
// ask for gigabytes of block and oracle on every run. The tests cover the largest areas.
constexpr size_t kComparedAreaLimit = size_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<oracle::PixelAreaLayout> layout = oracle::LoadableLayout(data, size);
  if (layout && layout->size > kComparedAreaLimit) {
    return 0;
  }
  const fuzz_check::InputFile file(data, size);
  const int free_descriptor = fuzz_check::LowestFreeDescriptor();
  void* info = blocks::kUntouchedHandle;
  void* pixels = blocks::kUntouchedHandle;
  const int32_t result = GetPicture(file.name(), 0, 0, &info, &pixels, nullptr, 0);
  FUZZ_CHECK(fuzz_check::LowestFreeDescriptor() == free_descriptor);

  const std::optional<oracle::Picture> expected = oracle::ExpectedPicture({data, data + size});
  if (!expected) {
    FUZZ_CHECK(result == 1 && info == blocks::kUntouchedHandle &&
               pixels == blocks::kUntouchedHandle);
    return 0;
  }
  FUZZ_CHECK(result == 0);
  const oracle::Picture received = blocks::TakeBlocks(info, pixels, expected->pixels.size());
  FUZZ_CHECK(received.info == expected->info);
  FUZZ_CHECK(received.pixels == expected->pixels);
  return 0;
}
