// Inputs that hosts meet in the wild and that must neither crash the host nor leak into it: files
// cut short at every length, a file that shrinks between two calls, and a header that asks for
// the largest pixel area there is.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "plugin_host.h"
#include "tools/pac_reference.h"
#include "tools/pac_writer.h"

namespace {

using plugin_host::Module;
using plugin_host::ScratchFile;
using Bytes = std::vector<uint8_t>;

void* const kUntouchedHandle = reinterpret_cast<void*>(uintptr_t{0x5A5A5A5A});

TEST(HostileInputs, FilesOfEveryLengthUpToThePixelArea) {
  const Bytes pac = pac_writer::EncodePatternedPac(3, 3);
  for (size_t length = 0; length <= 62; ++length) {
    ScratchFile file(Bytes(pac.begin(), pac.begin() + static_cast<ptrdiff_t>(length)));
    void* info = kUntouchedHandle;
    void* pixels = kUntouchedHandle;
    const int32_t result = Module().GetPicture(file.path(), 0, 0, &info, &pixels, nullptr, 0);
    if (length < 34) {
      EXPECT_EQ(result, 1) << length << " bytes";
      EXPECT_EQ(info, kUntouchedHandle) << length << " bytes";
      EXPECT_EQ(pixels, kUntouchedHandle) << length << " bytes";
      continue;
    }
    ASSERT_EQ(result, 0) << length << " bytes";
    EXPECT_EQ(std::memcmp(info, pac_reference::ExpectedInfoBlock(3, 3).data(), 40), 0);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(pixels), static_cast<uint8_t*>(pixels) + 36),
              Bytes(36, 0))
        << length << " bytes";
    plugin_host::ReleaseBlock(info);
    plugin_host::ReleaseBlock(pixels);
  }
}

TEST(HostileInputs, AFileThatShrinksBetweenInformationAndLoading) {
  const Bytes pac = pac_writer::EncodePatternedPac(8, 8);
  ScratchFile file(pac);
  PictureInfoRecord record{};
  ASSERT_EQ(Module().GetPictureInfo(file.path(), 0, 0, &record), 0);
  ASSERT_EQ(record.width, 8);

  for (size_t length : {size_t{62 + 24 * 3 + 5}, size_t{40}, size_t{20}}) {
    const Bytes shorter(pac.begin(), pac.begin() + static_cast<ptrdiff_t>(length));
    std::ofstream(file.path(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(shorter.data()), static_cast<std::streamsize>(length));
    void* info = kUntouchedHandle;
    void* pixels = kUntouchedHandle;
    const int32_t result = Module().GetPicture(file.path(), 0, 0, &info, &pixels, nullptr, 0);
    if (length < 34) {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(pixels, kUntouchedHandle);
      continue;
    }
    ASSERT_EQ(result, 0) << length << " bytes";
    const Bytes expected = pac_reference::ExpectedPixelBlock(shorter, 8, 8);
    EXPECT_EQ(Bytes(static_cast<uint8_t*>(pixels), static_cast<uint8_t*>(pixels) + expected.size()),
              expected)
        << length << " bytes";
    plugin_host::ReleaseBlock(info);
    plugin_host::ReleaseBlock(pixels);
  }
}

// One row of 2^31 − 4 bytes, the largest row that fits, from a file of 78 bytes. A 64-bit host
// gets the picture: the 16 bytes the file has, then black. A 32-bit host may lack the address
// space; the load then fails cleanly.
TEST(HostileInputs, APixelAreaOfNearlyTwoGibibytesFromATinyFile) {
  constexpr int32_t kWidth = 715827881;
  Bytes file = pac_writer::EncodePac(kWidth, 1, Bytes(16, 0xAB));
  ScratchFile scratch(file);
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  const int32_t result = Module().GetPicture(scratch.path(), 0, 0, &info, &pixels, nullptr, 0);
  if (sizeof(void*) == 4 && result == 1) {
    EXPECT_EQ(info, kUntouchedHandle);
    EXPECT_EQ(pixels, nullptr) << "a failed allocation leaves no block behind";
    GTEST_SKIP() << "this 32-bit process cannot hold a 2 GiB block";
  }
  ASSERT_EQ(result, 0);
  EXPECT_EQ(std::memcmp(info, pac_reference::ExpectedInfoBlock(kWidth, 1).data(), 40), 0);
  const auto* block = static_cast<const uint8_t*>(pixels);
  EXPECT_EQ(Bytes(block, block + 20),
            (Bytes{0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB,
                   0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0,    0,    0,    0}));
  EXPECT_EQ(Bytes(block + 2147483644 - 8, block + 2147483644), Bytes(8, 0));
  plugin_host::ReleaseBlock(info);
  plugin_host::ReleaseBlock(pixels);
}

}  // namespace
