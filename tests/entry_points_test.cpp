// The module's five entry points, called as a host calls them: through the loaded module, on PAC
// files and memory blocks built byte by byte, with every answer compared to the oracle's.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "testing/blocks.h"
#include "testing/files.h"
#include "testing/module_under_test.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using blocks::kUntouchedHandle;
using module_under_test::Module;
using oracle::Bytes;
using pac_writer::Prefix;
using test_files::ScratchFile;

// ---------------------------------------------------------------------------------------------
// Plug-in information and previews

TEST(GetPluginInfo, AnswersTheFourInformationRequests) {
  const struct {
    int32_t number;
    const char* text;
  } cases[] = {{0, "00IN"}, {1, "PAC to DIB filter v1.0 by Quorel"}, {2, "*.PAC"}, {3, "PAC"}};
  for (const auto& c : cases) {
    char buffer[64];
    std::memset(buffer, 0x7E, sizeof buffer);
    const auto length = static_cast<int32_t>(std::strlen(c.text));
    EXPECT_EQ(Module().GetPluginInfo(c.number, buffer, sizeof buffer), length);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(buffer[length + 1], 0x7E) << "wrote past the terminating NUL";
  }
}

TEST(GetPluginInfo, LeavesTheBufferAloneForOtherNumbers) {
  for (int32_t number : {4, 5, -1, INT_MIN, INT_MAX}) {
    char buffer[64];
    std::memset(buffer, 0x7E, sizeof buffer);
    EXPECT_EQ(Module().GetPluginInfo(number, buffer, sizeof buffer), 0) << number;
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, 0x7E)) << number;
  }
}

TEST(GetPluginInfo, NeverWritesPastTheLengthGiven) {
  const std::string description = "PAC to DIB filter v1.0 by Quorel";
  for (int32_t length = -2; length <= 40; ++length) {
    char buffer[64];
    std::memset(buffer, 0x7E, sizeof buffer);
    const int32_t result = Module().GetPluginInfo(1, buffer, length);
    const int32_t expected =
        length <= 0 ? 0 : std::min(length - 1, static_cast<int32_t>(description.size()));
    EXPECT_EQ(result, expected) << "length " << length;
    if (length > 0) {
      EXPECT_EQ(std::string(buffer), description.substr(0, static_cast<size_t>(expected)));
    }
    const size_t written = length <= 0 ? 0 : static_cast<size_t>(expected) + 1;
    EXPECT_EQ(std::string(buffer + written, sizeof buffer - written),
              std::string(sizeof buffer - written, 0x7E))
        << "length " << length;
  }
}

TEST(GetPreview, IsNotProvided) {
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  EXPECT_EQ(Module().GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
  ScratchFile file(pac_writer::EncodePatternedPac(2, 2));
  EXPECT_EQ(Module().GetPreview(file.path(), 0, 0, &info, &pixels, nullptr, 0), -1);
  EXPECT_EQ(info, kUntouchedHandle);
  EXPECT_EQ(pixels, kUntouchedHandle);
}

// ---------------------------------------------------------------------------------------------
// IsSupported

Bytes HeadWithBytesAt8(uint8_t first, uint8_t second, uint8_t filler = 0x33) {
  Bytes head(2048, filler);
  head[oracle::kSignatureOffset] = first;
  head[oracle::kSignatureOffset + 1] = second;
  return head;
}

struct ProbeCase {
  const char* what;
  Bytes content;
};

std::vector<ProbeCase> ProbeCases() {
  Bytes bitmap = HeadWithBytesAt8(0, 0);
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  return {
      {"a PAC picture", pac_writer::EncodePatternedPac(3, 2)},
      {"BM at 8, anything around it", HeadWithBytesAt8('B', 'M', 0xFF)},
      {"a plain bitmap file", bitmap},
      {"lower-case signature", HeadWithBytesAt8('b', 'm')},
      {"signature bytes swapped", HeadWithBytesAt8('M', 'B')},
  };
}

TEST(IsSupported, DecidesOnContentFromMemory) {
  int served = 0;
  for (const ProbeCase& c : ProbeCases()) {
    const Bytes head = Prefix(c.content, 2048);
    const int32_t expected = oracle::ExpectedServed(head.data(), head.size());
    served += expected;
    for (const char* name : {"picture.pac", "picture.bmp", static_cast<const char*>(nullptr)}) {
      EXPECT_EQ(Module().IsSupported(name, reinterpret_cast<uintptr_t>(head.data())), expected)
          << c.what;
    }
  }
  EXPECT_EQ(served, 2) << "two of the cases carry the signature";
}

TEST(IsSupported, ReadsFifteenBytesFromMemoryAndNoMore) {
  const test_files::GuardedBytes head(
      Prefix(pac_writer::EncodePatternedPac(1, 1), oracle::kProbeHeadSize));
  EXPECT_EQ(Module().IsSupported("x", reinterpret_cast<uintptr_t>(head.data())), 1);
}

TEST(IsSupported, DecidesOnContentFromTheHostsHandleAndLeavesItOpen) {
  for (const ProbeCase& c : ProbeCases()) {
    ScratchFile file(c.content);
    const uintptr_t handle = host_services::OpenFileHandle(file.path());
    ASSERT_NE(handle, 0u);
    test_files::SeekFile(handle, 100);  // the probe reads from the start whatever the position
    EXPECT_EQ(Module().IsSupported(file.path(), handle),
              oracle::ExpectedServed(c.content.data(), c.content.size()))
        << c.what;
    EXPECT_EQ(test_files::FilePosition(handle), 15) << c.what;
    host_services::CloseFileHandle(handle);
  }
}

TEST(IsSupported, ServesNoFileOnBytesItCouldNotRead) {
  const Bytes pac = pac_writer::EncodePatternedPac(2, 2);
  for (size_t length = 0; length <= oracle::kProbeHeadSize; ++length) {
    ScratchFile file(Prefix(pac, length));
    const uintptr_t handle = host_services::OpenFileHandle(file.path());
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(Module().IsSupported(nullptr, handle), length >= 10 ? 1 : 0) << length << " bytes";
    EXPECT_EQ(test_files::FilePosition(handle), static_cast<int64_t>(length));
    host_services::CloseFileHandle(handle);
  }
  ScratchFile file(pac);
  const uintptr_t unreadable = test_files::OpenFileHandleWithoutReadAccess(file.path());
  ASSERT_NE(unreadable, 0u);
  EXPECT_EQ(Module().IsSupported(nullptr, unreadable), 0);
  host_services::CloseFileHandle(unreadable);
}

#if !defined(_WIN32)
// Sources up to 0xFFFF are handles and anything above is an address. 0xFFFF is no open
// descriptor and no mapped address: taken as a handle it reads nothing, taken as an address it
// would fault. 0x10000 is made a mapped address holding a PAC head.
TEST(IsSupported, TakesSourcesUpTo0xFFFFAsHandlesAndAboveAsAddresses) {
  EXPECT_EQ(Module().IsSupported(nullptr, 0xFFFF), 0);

  void* const low = reinterpret_cast<void*>(uintptr_t{0x10000});
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* mapped = mmap(low, page, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (mapped != low) {
    GTEST_SKIP() << "address 0x10000 cannot be mapped here";
  }
  std::memcpy(mapped, pac_writer::EncodePatternedPac(2, 2).data(), oracle::kProbeHeadSize);
  EXPECT_EQ(Module().IsSupported(nullptr, 0x10000), 1);
  munmap(mapped, page);
}
#endif

// ---------------------------------------------------------------------------------------------
// GetPictureInfo

const Bytes kUntouchedRecord(oracle::kRecordSize, 0xCC);

struct Described {
  int32_t result;
  Bytes record;
};

Described GetPictureInfo(const char* source, intptr_t offset, uint32_t flag) {
  static_assert(sizeof(PictureInfoRecord) == oracle::kRecordSize);
  PictureInfoRecord record;
  std::memcpy(&record, kUntouchedRecord.data(), sizeof record);
  const int32_t result = Module().GetPictureInfo(source, offset, flag, &record);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return {result, Bytes(bytes, bytes + sizeof record)};
}

// The oracle's answer for input whose first bytes are these (all a file or memory block holds).
void ExpectDescribedAs(const Described& described, const Bytes& input, const std::string& what) {
  const std::optional<oracle::Dimensions> dimensions =
      oracle::DimensionsOf(input.data(), input.size());
  EXPECT_EQ(described.result, dimensions ? 0 : 1) << what;
  EXPECT_EQ(described.record, oracle::ExpectedRecord(kUntouchedRecord, dimensions)) << what;
}

TEST(GetPictureInfo, RecordIsBytePackedAndLittleEndian) {
  Bytes expected = {0, 0,    0,    0,    0,    0,  0, 0,  0x34, 0x12, 0,
                    0, 0xFE, 0xFF, 0xFF, 0xFF, 72, 0, 72, 0,    24,   0};
  expected.resize(oracle::kRecordSize, 0);
  EXPECT_EQ(oracle::ExpectedRecord(kUntouchedRecord, oracle::Dimensions{0x1234, -2}), expected);
  ScratchFile file(pac_writer::WithDimensions(pac_writer::EncodePatternedPac(1, 1), 0x1234,
                                              static_cast<uint32_t>(-2)));
  EXPECT_EQ(GetPictureInfo(file.path(), 0, 0).record, expected);
}

TEST(GetPictureInfo, ReportsSizeAndDepthFromAFile) {
  const struct {
    const char* what;
    Bytes content;
  } cases[] = {
      {"a PAC picture", pac_writer::EncodePatternedPac(3, 5)},
      {"any bytes at 26 and 30, no signature needed", HeadWithBytesAt8('x', 'y', 0x81)},
  };
  for (const auto& c : cases) {
    ScratchFile file(c.content);
    for (intptr_t offset : {0, 1, 4096}) {
      for (uint32_t flag : {0u, 8u, 0x10u}) {
        const Described described = GetPictureInfo(file.path(), offset, flag);
        EXPECT_EQ(described.result, 0);
        ExpectDescribedAs(described, c.content,
                          std::string(c.what) + ", offset " + std::to_string(offset) + ", flag " +
                              std::to_string(flag));
      }
    }
  }
}

TEST(GetPictureInfo, ReportsSizeAndDepthFromMemory) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (uint32_t flag : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u}) {
    const Described described = GetPictureInfo(reinterpret_cast<const char*>(pac.data()),
                                               static_cast<intptr_t>(pac.size()), flag);
    EXPECT_EQ(described.result, 0);
    ExpectDescribedAs(described, pac, "flag " + std::to_string(flag));
  }
}

TEST(GetPictureInfo, NeverReadsPastTheMemoryLengthAndNeedsBothDimensions) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (size_t length = 0; length <= 48; ++length) {
    const Bytes input = Prefix(pac, length);
    const test_files::GuardedBytes block(input);
    ExpectDescribedAs(GetPictureInfo(block.data(), static_cast<intptr_t>(length), 1), input,
                      std::to_string(length) + " bytes");
  }
  ExpectDescribedAs(GetPictureInfo(reinterpret_cast<const char*>(pac.data()), -1, 1), {},
                    "a negative length");
}

TEST(GetPictureInfo, FailsOnFilesThatCannotBeOpenedOrRead) {
  const std::string missing = test_files::ScratchDirectory() + "/no-such-picture.pac";
  for (const std::string& name : {missing, std::string(), test_files::ScratchDirectory()}) {
    ExpectDescribedAs(GetPictureInfo(name.c_str(), 0, 0), {}, "'" + name + "'");
  }
}

// ---------------------------------------------------------------------------------------------
// GetPicture

struct Loaded {
  int32_t result;
  void* info;
  void* pixels;
};

Loaded Load(const char* source, intptr_t offset = 0, uint32_t flag = 0,
            ProgressCallback progress = nullptr, intptr_t user_data = 0) {
  Loaded loaded{0, kUntouchedHandle, kUntouchedHandle};
  loaded.result =
      Module().GetPicture(source, offset, flag, &loaded.info, &loaded.pixels, progress, user_data);
  return loaded;
}

// Loads a file and compares what the host receives with the oracle: the blocks, or a refusal
// that leaves both of the host's variables untouched.
void ExpectLoadedAsTheOracleSays(const Bytes& file, const std::string& what) {
  ScratchFile scratch(file);
  const Loaded loaded = Load(scratch.path());
  const std::optional<oracle::Picture> expected = oracle::ExpectedPicture(file);
  if (!expected) {
    EXPECT_EQ(loaded.result, 1) << what;
    EXPECT_EQ(loaded.info, kUntouchedHandle) << what;
    EXPECT_EQ(loaded.pixels, kUntouchedHandle) << what;
    return;
  }
  ASSERT_EQ(loaded.result, 0) << what;
  const oracle::Picture picture =
      blocks::TakeBlocks(loaded.info, loaded.pixels, expected->pixels.size());
  EXPECT_EQ(picture.info, expected->info) << what;
  EXPECT_EQ(picture.pixels, expected->pixels) << what;
}

TEST(GetPicture, HandsOverTheTwoByTwoPictureBottomRowFirst) {
  const Bytes file = pac_writer::EncodePatternedPac(2, 2);
  ScratchFile scratch(file);
  const Loaded loaded = Load(scratch.path());
  ASSERT_EQ(loaded.result, 0);
  const oracle::Picture picture = blocks::TakeBlocks(loaded.info, loaded.pixels, 16);
  Bytes expected(file.begin() + 70, file.begin() + 78);
  expected.insert(expected.end(), file.begin() + 62, file.begin() + 70);
  EXPECT_EQ(picture.pixels, expected);
  EXPECT_EQ(picture.info,
            (Bytes{40, 0, 0, 0, 2,    0,    0, 0, 2,    0,    0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                   0,  0, 0, 0, 0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0}));
}

// Every width from 0 to 9 and height from 0 to 4, with the file whole, followed by bytes that
// must not be read, or cut short anywhere from the end of its pixel area down to 34 bytes.
TEST(GetPicture, LoadsEverySmallPictureWholeOrTruncated) {
  for (int32_t width = 0; width <= 9; ++width) {
    for (int32_t height = 0; height <= 4; ++height) {
      const Bytes whole = pac_writer::EncodePatternedPac(width, height);
      const auto stride = static_cast<size_t>(oracle::RowStride(width));
      const size_t area = whole.size() - oracle::kPixelAreaOffset;
      Bytes trailing = whole;
      trailing.insert(trailing.end(), 32, 0xEE);
      std::vector<Bytes> files = {whole, trailing};
      for (size_t cut : {stride, area, size_t{1}, size_t{20}}) {
        if (cut > 0 && cut <= area) {
          files.push_back(Prefix(whole, whole.size() - cut));
        }
      }
      for (size_t length : {34, 47, 48, 61}) {
        files.push_back(Prefix(whole, length));
      }
      for (const Bytes& file : files) {
        ExpectLoadedAsTheOracleSays(file, std::to_string(width) + " x " + std::to_string(height) +
                                              ", " + std::to_string(file.size()) + " bytes");
      }
    }
  }
}

// A header cut anywhere up to the pixel area: refused while it lacks a dimension, described and
// loaded as all black from 34 bytes on.
TEST(EntryPoints, FilesOfEveryLengthUpToThePixelArea) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (size_t length = 0; length <= oracle::kPixelAreaOffset; ++length) {
    const Bytes file = Prefix(pac, length);
    const std::string what = std::to_string(length) + " bytes";
    ScratchFile scratch(file);
    ExpectDescribedAs(GetPictureInfo(scratch.path(), 0, 0), file, what);
    ExpectLoadedAsTheOracleSays(file, what);
  }
}

TEST(GetPicture, CutsRowsFromOffset62WhateverTheHeaderSays) {
  Bytes file = pac_writer::EncodePatternedPac(3, 3);
  little_endian::Store(1078, 4, &file[18]);  // pixel-data offset
  little_endian::Store(108, 4, &file[22]);   // info-header size
  little_endian::Store(8, 2, &file[36]);     // bits per pixel
  little_endian::Store(1, 4, &file[38]);     // compression
  file[8] = 'x';                             // no signature: GetPicture does not test it
  ExpectLoadedAsTheOracleSays(file, "a header describing another bitmap");
}

int32_t PLUGIN_CALL CountingProgress(int32_t, int32_t, intptr_t user_data) {
  ++*reinterpret_cast<int*>(user_data);
  return 1;  // a host's "cancel": it must not stop the load, since the module never asks
}

TEST(GetPicture, IgnoresOffsetAndNeverCallsProgress) {
  const Bytes file = pac_writer::EncodePatternedPac(5, 3);
  ScratchFile scratch(file);
  const Bytes expected = oracle::ExpectedPicture(file)->pixels;
  int calls = 0;
  for (intptr_t offset : {0, 62, -1}) {
    for (uint32_t flag : {0u, 8u}) {
      const Loaded loaded =
          Load(scratch.path(), offset, flag, CountingProgress, reinterpret_cast<intptr_t>(&calls));
      ASSERT_EQ(loaded.result, 0);
      EXPECT_EQ(blocks::TakeBlocks(loaded.info, loaded.pixels, expected.size()).pixels, expected);
    }
  }
  EXPECT_EQ(calls, 0);
}

TEST(GetPicture, RefusesHostileDimensions) {
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  for (const oracle::HostileDimensions& hostile : oracle::kHostileDimensions) {
    const Bytes file = pac_writer::WithDimensions(pac, hostile.width, hostile.height);
    ASSERT_FALSE(oracle::ExpectedPicture(file)) << hostile.what;
    ExpectLoadedAsTheOracleSays(file, hostile.what);
  }
}

TEST(GetPicture, FailsWithoutTouchingTheHostsVariables) {
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  ScratchFile scratch(pac);
  const std::string missing = test_files::ScratchDirectory() + "/no-such-picture.pac";
  const Loaded refused[] = {
      Load(missing.c_str()),
      Load(""),
      Load(test_files::ScratchDirectory().c_str()),
      Load(scratch.path(), 0, 1),  // memory input is not loaded
      Load(reinterpret_cast<const char*>(pac.data()), static_cast<intptr_t>(pac.size()), 9),
  };
  for (const Loaded& loaded : refused) {
    EXPECT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.info, kUntouchedHandle);
    EXPECT_EQ(loaded.pixels, kUntouchedHandle);
  }
}

TEST(GetPicture, LoadsAnEmptyPictureOfAnyHeightWhenTheWidthIsZero) {
  const Bytes file =
      pac_writer::WithDimensions(pac_writer::EncodePatternedPac(0, 0), 0, 0x7FFFFFFF);
  ExpectLoadedAsTheOracleSays(file, "0 x INT_MAX");
}

}  // namespace
