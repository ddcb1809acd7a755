// Inputs that hosts meet in the wild and that must neither crash the host nor leak into it: a
// file that shrinks between two calls, and a header that asks for the largest pixel area there is.
#include <gtest/gtest.h>

#include <vector>

#include "testing/blocks.h"
#include "testing/files.h"
#include "testing/module_under_test.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

namespace {

using blocks::kUntouchedHandle;
using module_under_test::Module;
using oracle::Bytes;

TEST(HostileInputs, AFileThatShrinksBetweenInformationAndLoading) {
  const Bytes pac = pac_writer::EncodePatternedPac(8, 8);
  test_files::ScratchFile file(pac);
  PictureInfoRecord record{};
  ASSERT_EQ(Module().GetPictureInfo(file.path(), 0, 0, &record), 0);
  ASSERT_EQ(record.width, 8);

  for (size_t length : {size_t{62 + 24 * 3 + 5}, size_t{40}, size_t{20}}) {
    const Bytes shorter = pac_writer::Prefix(pac, length);
    test_files::WriteFileBytes(file.path(), shorter);
    void* info = kUntouchedHandle;
    void* pixels = kUntouchedHandle;
    const int32_t result = Module().GetPicture(file.path(), 0, 0, &info, &pixels, nullptr, 0);
    const std::optional<oracle::Picture> expected = oracle::ExpectedPicture(shorter);
    if (!expected) {
      EXPECT_EQ(result, 1) << length << " bytes";
      EXPECT_EQ(pixels, kUntouchedHandle) << length << " bytes";
      continue;
    }
    ASSERT_EQ(result, 0) << length << " bytes";
    EXPECT_EQ(blocks::TakeBlocks(info, pixels, expected->pixels.size()).pixels, expected->pixels)
        << length << " bytes";
  }
}

// One row of 2^31 − 4 bytes, the largest row that fits, from a file of 78 bytes. A 64-bit host
// gets the picture: the 16 bytes the file has, then black. A 32-bit host may lack the address
// space; the load then fails cleanly.
TEST(HostileInputs, APixelAreaOfNearlyTwoGibibytesFromATinyFile) {
  constexpr int32_t kWidth = 715827881;
  const Bytes file = pac_writer::EncodePac(kWidth, 1, Bytes(16, 0xAB));
  test_files::ScratchFile scratch(file);
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  const int32_t result = Module().GetPicture(scratch.path(), 0, 0, &info, &pixels, nullptr, 0);
  if (sizeof(void*) == 4 && result == 1) {
    EXPECT_EQ(info, kUntouchedHandle);
    EXPECT_EQ(pixels, nullptr) << "a failed allocation leaves no block behind";
    GTEST_SKIP() << "this 32-bit process cannot hold a 2 GiB block";
  }
  ASSERT_EQ(result, 0);
  const auto* block = static_cast<const uint8_t*>(pixels);
  const Bytes start(block, block + 20);
  const Bytes end(block + 2147483644 - 8, block + 2147483644);
  const oracle::Picture picture = blocks::TakeBlocks(info, pixels, 0);
  EXPECT_EQ(picture.info, oracle::ExpectedInfoBlock(kWidth, 1));
  Bytes expected_start(16, 0xAB);
  expected_start.resize(20, 0);
  EXPECT_EQ(start, expected_start);
  EXPECT_EQ(end, Bytes(8, 0));
}

}  // namespace
