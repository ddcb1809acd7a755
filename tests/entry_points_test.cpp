// The module's entry points, called as today's hosts call them: through the loaded module, by the
// ANSI entry points and by their Unicode twins, on PAC files and memory blocks built byte by byte,
// with every answer compared to the oracle's.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "testing/blocks.h"
#include "testing/files.h"
#include "testing/module_under_test.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using blocks::kUntouchedHandle;
using module_under_test::Module;
using module_under_test::NamedEntryPoints;
using module_under_test::Names;
using oracle::Bytes;
using pac_writer::Prefix;
using test_files::ScratchFile;

// ---------------------------------------------------------------------------------------------
// Plug-in information and previews

// The information strings, copied into a buffer of either kind of character.
int32_t CallGetPluginInfo(int32_t number, char* buffer, int32_t length) {
  return Module().GetPluginInfo(number, buffer, length);
}
int32_t CallGetPluginInfo(int32_t number, WideChar* buffer, int32_t length) {
  return Module().GetPluginInfoW(number, buffer, length);
}

template <typename Char>
class GetPluginInfo : public ::testing::Test {
 protected:
  using Text = std::basic_string<Char>;
  static constexpr Char kFiller = 0x7E;

  static Text Widen(const std::string& text) { return Text(text.begin(), text.end()); }
};
using CharacterKinds = ::testing::Types<char, WideChar>;
TYPED_TEST_SUITE(GetPluginInfo, CharacterKinds);

TYPED_TEST(GetPluginInfo, AnswersTheFourInformationRequests) {
  const struct {
    int32_t number;
    std::string text;
  } cases[] = {{0, "00IN"}, {1, "PAC to DIB filter v1.0 by Quorel"}, {2, "*.PAC"}, {3, "PAC"}};
  for (const auto& c : cases) {
    TypeParam buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), TestFixture::kFiller);
    const auto length = static_cast<int32_t>(c.text.size());
    EXPECT_EQ(CallGetPluginInfo(c.number, buffer, 64), length);
    EXPECT_EQ(typename TestFixture::Text(buffer), TestFixture::Widen(c.text));
    EXPECT_EQ(buffer[length + 1], TestFixture::kFiller) << "wrote past the terminating NUL";
  }
}

TYPED_TEST(GetPluginInfo, LeavesTheBufferAloneForOtherNumbers) {
  for (int32_t number : {4, 5, -1, INT_MIN, INT_MAX}) {
    TypeParam buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), TestFixture::kFiller);
    EXPECT_EQ(CallGetPluginInfo(number, buffer, 64), 0) << number;
    EXPECT_EQ(typename TestFixture::Text(buffer, 64),
              typename TestFixture::Text(64, TestFixture::kFiller))
        << number;
  }
}

// A buffer of length units receives at most length − 1 characters and a NUL.
TYPED_TEST(GetPluginInfo, NeverWritesPastTheLengthGiven) {
  const auto description = TestFixture::Widen("PAC to DIB filter v1.0 by Quorel");
  for (int32_t length = -2; length <= 40; ++length) {
    TypeParam buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), TestFixture::kFiller);
    const int32_t result = CallGetPluginInfo(1, buffer, length);
    const int32_t expected =
        length <= 0 ? 0 : std::min(length - 1, static_cast<int32_t>(description.size()));
    EXPECT_EQ(result, expected) << "length " << length;
    if (length > 0) {
      EXPECT_EQ(typename TestFixture::Text(buffer),
                description.substr(0, static_cast<size_t>(expected)));
    }
    const size_t written = length <= 0 ? 0 : static_cast<size_t>(expected) + 1;
    EXPECT_EQ(typename TestFixture::Text(buffer + written, 64 - written),
              typename TestFixture::Text(64 - written, TestFixture::kFiller))
        << "length " << length;
  }
}

// Every other entry point runs through both kinds of file name.
class ByNames : public ::testing::TestWithParam<Names> {
 protected:
  const NamedEntryPoints calls_{GetParam()};
};

std::string NameOfParam(const ::testing::TestParamInfo<Names>& info) {
  return module_under_test::NameOf(info.param);
}

#define INSTANTIATE_FOR_BOTH_NAMES(suite)                                                      \
  INSTANTIATE_TEST_SUITE_P(BothNames, suite, ::testing::Values(Names::kAnsi, Names::kUnicode), \
                           NameOfParam)

class GetPreview : public ByNames {};
INSTANTIATE_FOR_BOTH_NAMES(GetPreview);

TEST_P(GetPreview, IsNotProvided) {
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  EXPECT_EQ(calls_.GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
  ScratchFile file(pac_writer::EncodePatternedPac(2, 2));
  EXPECT_EQ(calls_.GetPreview(file.path(), 0, 0, &info, &pixels, nullptr, 0), -1);
  EXPECT_EQ(info, kUntouchedHandle);
  EXPECT_EQ(pixels, kUntouchedHandle);
}

// ---------------------------------------------------------------------------------------------
// IsSupported

Bytes HeadWithBytesAt8(uint8_t first, uint8_t second, uint8_t filler = 0x33) {
  Bytes head(host_services::kViewerProbeSize, filler);
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

class IsSupported : public ByNames {};
INSTANTIATE_FOR_BOTH_NAMES(IsSupported);

TEST_P(IsSupported, DecidesOnContentFromMemory) {
  int served = 0;
  for (const ProbeCase& c : ProbeCases()) {
    const Bytes head = test_files::ViewerProbeBuffer(c.content);
    const int32_t expected = oracle::ExpectedServed(head.data(), head.size());
    served += expected;
    for (const char* name : {"picture.pac", "picture.bmp", static_cast<const char*>(nullptr)}) {
      EXPECT_EQ(calls_.IsSupported(name, reinterpret_cast<uintptr_t>(head.data())), expected)
          << c.what;
    }
  }
  EXPECT_EQ(served, 2) << "two of the cases carry the signature";
}

TEST_P(IsSupported, ReadsFifteenBytesFromMemoryAndNoMore) {
  const test_files::GuardedBytes head(
      Prefix(pac_writer::EncodePatternedPac(1, 1), oracle::kProbeHeadSize));
  EXPECT_EQ(calls_.IsSupported("x", reinterpret_cast<uintptr_t>(head.data())), 1);
}

// What today's viewers pass: the file's first 2 KiB, zero-filled past the end of a shorter file,
// here placed right before memory that cannot be read.
TEST_P(IsSupported, DecidesOnTheTwoKibibyteBufferViewersPass) {
  const Bytes pac = pac_writer::EncodePatternedPac(3, 2);
  for (size_t length : {0, 9, 10, 15, 34, 78}) {
    const Bytes file = Prefix(pac, length);
    const test_files::GuardedBytes head(test_files::ViewerProbeBuffer(file));
    EXPECT_EQ(calls_.IsSupported("picture.pac", reinterpret_cast<uintptr_t>(head.data())),
              oracle::ExpectedServed(file.data(), file.size()))
        << length << " bytes";
  }
}

TEST_P(IsSupported, DecidesOnContentFromTheHostsHandleAndLeavesItOpen) {
  for (const ProbeCase& c : ProbeCases()) {
    ScratchFile file(c.content);
    const uintptr_t handle = host_services::OpenFileHandle(file.path());
    ASSERT_NE(handle, 0u);
    test_files::SeekFile(handle, 100);  // the probe reads from the start whatever the position
    EXPECT_EQ(calls_.IsSupported(file.path(), handle),
              oracle::ExpectedServed(c.content.data(), c.content.size()))
        << c.what;
    EXPECT_EQ(test_files::FilePosition(handle), 15) << c.what;
    host_services::CloseFileHandle(handle);
  }
}

TEST_P(IsSupported, ServesNoFileOnBytesItCouldNotRead) {
  const Bytes pac = pac_writer::EncodePatternedPac(2, 2);
  for (size_t length = 0; length <= oracle::kProbeHeadSize; ++length) {
    ScratchFile file(Prefix(pac, length));
    const uintptr_t handle = host_services::OpenFileHandle(file.path());
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(calls_.IsSupported(nullptr, handle), length >= 10 ? 1 : 0) << length << " bytes";
    EXPECT_EQ(test_files::FilePosition(handle), static_cast<int64_t>(length));
    host_services::CloseFileHandle(handle);
  }
  ScratchFile file(pac);
  const uintptr_t unreadable = test_files::OpenFileHandleWithoutReadAccess(file.path());
  ASSERT_NE(unreadable, 0u);
  EXPECT_EQ(calls_.IsSupported(nullptr, unreadable), 0);
  host_services::CloseFileHandle(unreadable);
}

#if defined(_WIN32)
TEST_P(IsSupported, ServesNothingFromANullHandle) {
  EXPECT_EQ(calls_.IsSupported(nullptr, 0), 0);
}
#else
// A null handle is never a file: the module must not read the host's standard input through it.
TEST_P(IsSupported, ServesNothingFromANullHandleAndLeavesStandardInputAlone) {
  const int saved = dup(0);
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  ASSERT_EQ(dup2(channel[0], 0), 0);
  const Bytes pac = Prefix(pac_writer::EncodePatternedPac(2, 2), oracle::kProbeHeadSize);
  ASSERT_EQ(write(channel[1], pac.data(), pac.size()), static_cast<ssize_t>(pac.size()));
  close(channel[1]);

  EXPECT_EQ(calls_.IsSupported(nullptr, 0), 0);
  uint8_t unread[64];
  EXPECT_EQ(read(0, unread, sizeof unread), static_cast<ssize_t>(pac.size()))
      << "the module read from standard input";
  dup2(saved, 0);
  close(saved);
  close(channel[0]);
}

// Sources up to 0xFFFF are handles and anything above is an address. 0xFFFF is no open
// descriptor and no mapped address: taken as a handle it reads nothing, taken as an address it
// would fault. 0x10000 is made a mapped address holding a PAC head.
TEST_P(IsSupported, TakesSourcesUpTo0xFFFFAsHandlesAndAboveAsAddresses) {
  EXPECT_EQ(calls_.IsSupported(nullptr, 0xFFFF), 0);

  void* const low = reinterpret_cast<void*>(uintptr_t{0x10000});
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* mapped = mmap(low, page, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (mapped != low) {
    GTEST_SKIP() << "address 0x10000 cannot be mapped here";
  }
  std::memcpy(mapped, pac_writer::EncodePatternedPac(2, 2).data(), oracle::kProbeHeadSize);
  EXPECT_EQ(calls_.IsSupported(nullptr, 0x10000), 1);
  munmap(mapped, page);
}
#endif

// ---------------------------------------------------------------------------------------------
// GetPictureInfo

// Viewers pass a record pre-filled with 0x7F bytes; here it lies at the start of a larger buffer
// whose bytes after the record must stay as they were.
constexpr uint8_t kPrefill = 0x7F;
constexpr size_t kBytesAfterRecord = 16;
const Bytes kUntouchedRecord(oracle::kRecordSize, kPrefill);

struct Described {
  int32_t result;
  Bytes record;
};

Described DescribeWith(const NamedEntryPoints& calls, const char* source, intptr_t offset,
                       uint32_t flag) {
  static_assert(sizeof(PictureInfoRecord) == oracle::kRecordSize);
  alignas(PictureInfoRecord) uint8_t buffer[oracle::kRecordSize + kBytesAfterRecord];
  std::memset(buffer, kPrefill, sizeof buffer);
  const int32_t result =
      calls.GetPictureInfo(source, offset, flag, reinterpret_cast<PictureInfoRecord*>(buffer));
  EXPECT_EQ(Bytes(buffer + oracle::kRecordSize, buffer + sizeof buffer),
            Bytes(kBytesAfterRecord, kPrefill))
      << "wrote past the record";
  return {result, Bytes(buffer, buffer + oracle::kRecordSize)};
}

// The oracle's answer for input whose first bytes are these (all a file or memory block holds),
// compared byte by byte: the alignment bytes and the whole handle included.
void ExpectDescribedAs(const Described& described, const Bytes& input, const std::string& what) {
  const std::optional<oracle::Dimensions> dimensions =
      oracle::DimensionsOf(input.data(), input.size());
  EXPECT_EQ(described.result, dimensions ? 0 : 1) << what;
  EXPECT_EQ(described.record, oracle::ExpectedRecord(kUntouchedRecord, dimensions)) << what;
}

class GetPictureInfo : public ByNames {
 protected:
  Described Describe(const char* source, intptr_t offset, uint32_t flag) const {
    return DescribeWith(calls_, source, offset, flag);
  }
};
INSTANTIATE_FOR_BOTH_NAMES(GetPictureInfo);

TEST_P(GetPictureInfo, RecordIsBytePackedAndLittleEndian) {
  // 26 bytes with the handle at 22 on 32-bit builds; 32 with the handle at 24 on 64-bit builds.
  Bytes expected = {0, 0,    0,    0,    0,    0,  0, 0,  0x34, 0x12, 0,
                    0, 0xFE, 0xFF, 0xFF, 0xFF, 72, 0, 72, 0,    24,   0};
  expected.resize(sizeof(void*) == 8 ? 32 : 26, 0);
  EXPECT_EQ(oracle::ExpectedRecord(kUntouchedRecord, oracle::Dimensions{0x1234, -2}), expected);
  ScratchFile file(pac_writer::WithDimensions(pac_writer::EncodePatternedPac(1, 1), 0x1234,
                                              static_cast<uint32_t>(-2)));
  EXPECT_EQ(Describe(file.path(), 0, 0).record, expected);
}

TEST_P(GetPictureInfo, ReportsSizeAndDepthFromAFile) {
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
        const Described described = Describe(file.path(), offset, flag);
        EXPECT_EQ(described.result, 0);
        ExpectDescribedAs(described, c.content,
                          std::string(c.what) + ", offset " + std::to_string(offset) + ", flag " +
                              std::to_string(flag));
      }
    }
  }
}

TEST_P(GetPictureInfo, ReportsSizeAndDepthFromMemory) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (uint32_t flag : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u}) {
    const Described described = Describe(reinterpret_cast<const char*>(pac.data()),
                                         static_cast<intptr_t>(pac.size()), flag);
    EXPECT_EQ(described.result, 0);
    ExpectDescribedAs(described, pac, "flag " + std::to_string(flag));
  }
}

TEST_P(GetPictureInfo, NeverReadsPastTheMemoryLengthAndNeedsBothDimensions) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (size_t length = 0; length <= 48; ++length) {
    const Bytes input = Prefix(pac, length);
    const test_files::GuardedBytes block(input);
    ExpectDescribedAs(Describe(block.data(), static_cast<intptr_t>(length), 1), input,
                      std::to_string(length) + " bytes");
  }
  ExpectDescribedAs(Describe(reinterpret_cast<const char*>(pac.data()), -1, 1), {},
                    "a negative length");
}

TEST_P(GetPictureInfo, FailsOnFilesThatCannotBeOpenedOrRead) {
  const std::string missing = test_files::ScratchDirectory() + "/no-such-picture.pac";
  for (const std::string& name : {missing, std::string(), test_files::ScratchDirectory()}) {
    ExpectDescribedAs(Describe(name.c_str(), 0, 0), {}, "'" + name + "'");
  }
}

// ---------------------------------------------------------------------------------------------
// GetPicture

struct Loaded {
  int32_t result;
  void* info;
  void* pixels;
};

Loaded Load(const NamedEntryPoints& calls, const char* source, intptr_t offset = 0,
            uint32_t flag = 0, ProgressCallback progress = nullptr, intptr_t user_data = 0) {
  Loaded loaded{0, kUntouchedHandle, kUntouchedHandle};
  loaded.result =
      calls.GetPicture(source, offset, flag, &loaded.info, &loaded.pixels, progress, user_data);
  return loaded;
}

// The blocks of a successful load, copied out and released. Windows viewers learn each block's
// size from LocalSize: it must be exactly what the bitmap needs.
oracle::Picture TakeBlocks(const Loaded& loaded, size_t pixel_size) {
#if defined(_WIN32)
  EXPECT_EQ(LocalSize(loaded.info), oracle::kInfoHeaderSize);
  EXPECT_EQ(LocalSize(loaded.pixels), pixel_size);
#endif
  return blocks::TakeBlocks(loaded.info, loaded.pixels, pixel_size);
}

// Loads a file and compares what the host receives with the oracle: the blocks, or a refusal
// that leaves both of the host's variables untouched.
void ExpectLoadedAsTheOracleSays(const NamedEntryPoints& calls, const Bytes& file,
                                 const std::string& what) {
  ScratchFile scratch(file);
  const Loaded loaded = Load(calls, scratch.path());
  const std::optional<oracle::Picture> expected = oracle::ExpectedPicture(file);
  if (!expected) {
    EXPECT_EQ(loaded.result, 1) << what;
    EXPECT_EQ(loaded.info, kUntouchedHandle) << what;
    EXPECT_EQ(loaded.pixels, kUntouchedHandle) << what;
    return;
  }
  ASSERT_EQ(loaded.result, 0) << what;
  const oracle::Picture picture = TakeBlocks(loaded, expected->pixels.size());
  EXPECT_EQ(picture.info, expected->info) << what;
  EXPECT_EQ(picture.pixels, expected->pixels) << what;
}

class GetPicture : public ByNames {
 protected:
  void ExpectLoaded(const Bytes& file, const std::string& what) const {
    ExpectLoadedAsTheOracleSays(calls_, file, what);
  }
};
INSTANTIATE_FOR_BOTH_NAMES(GetPicture);

TEST_P(GetPicture, HandsOverTheTwoByTwoPictureBottomRowFirst) {
  const Bytes file = pac_writer::EncodePatternedPac(2, 2);
  ScratchFile scratch(file);
  const Loaded loaded = Load(calls_, scratch.path());
  ASSERT_EQ(loaded.result, 0);
  const oracle::Picture picture = TakeBlocks(loaded, 16);
  Bytes expected(file.begin() + 70, file.begin() + 78);
  expected.insert(expected.end(), file.begin() + 62, file.begin() + 70);
  EXPECT_EQ(picture.pixels, expected);
  EXPECT_EQ(picture.info,
            (Bytes{40, 0, 0, 0, 2,    0,    0, 0, 2,    0,    0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                   0,  0, 0, 0, 0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, 0, 0, 0,  0, 0, 0, 0, 0}));
}

// Every width from 0 to 9 and height from 0 to 4, with the file whole, followed by bytes that
// must not be read, or cut short anywhere from the end of its pixel area down to 34 bytes.
TEST_P(GetPicture, LoadsEverySmallPictureWholeOrTruncated) {
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
        ExpectLoaded(file, std::to_string(width) + " x " + std::to_string(height) + ", " +
                               std::to_string(file.size()) + " bytes");
      }
    }
  }
}

// A header cut anywhere up to the pixel area: refused while it lacks a dimension, described and
// loaded as all black from 34 bytes on.
class EntryPoints : public ByNames {};
INSTANTIATE_FOR_BOTH_NAMES(EntryPoints);

TEST_P(EntryPoints, FilesOfEveryLengthUpToThePixelArea) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (size_t length = 0; length <= oracle::kPixelAreaOffset; ++length) {
    const Bytes file = Prefix(pac, length);
    const std::string what = std::to_string(length) + " bytes";
    ScratchFile scratch(file);
    ExpectDescribedAs(DescribeWith(calls_, scratch.path(), 0, 0), file, what);
    ExpectLoadedAsTheOracleSays(calls_, file, what);
  }
}

TEST_P(GetPicture, CutsRowsFromOffset62WhateverTheHeaderSays) {
  Bytes file = pac_writer::EncodePatternedPac(3, 3);
  little_endian::Store(1078, 4, &file[18]);  // pixel-data offset
  little_endian::Store(108, 4, &file[22]);   // info-header size
  little_endian::Store(8, 2, &file[36]);     // bits per pixel
  little_endian::Store(1, 4, &file[38]);     // compression
  file[8] = 'x';                             // no signature: GetPicture does not test it
  ExpectLoaded(file, "a header describing another bitmap");
}

int32_t PLUGIN_CALL CountingProgress(int32_t, int32_t, intptr_t user_data) {
  ++*reinterpret_cast<int*>(user_data);
  return 1;  // a host's "cancel": it must not stop the load, since the module never asks
}

TEST_P(GetPicture, IgnoresOffsetAndNeverCallsProgress) {
  const Bytes file = pac_writer::EncodePatternedPac(5, 3);
  ScratchFile scratch(file);
  const Bytes expected = oracle::ExpectedPicture(file)->pixels;
  int calls = 0;
  for (intptr_t offset : {0, 62, -1}) {
    for (uint32_t flag : {0u, 8u}) {
      const Loaded loaded = Load(calls_, scratch.path(), offset, flag, CountingProgress,
                                 reinterpret_cast<intptr_t>(&calls));
      ASSERT_EQ(loaded.result, 0);
      EXPECT_EQ(TakeBlocks(loaded, expected.size()).pixels, expected);
    }
  }
  EXPECT_EQ(calls, 0);
}

TEST_P(GetPicture, RefusesHostileDimensions) {
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  for (const oracle::HostileDimensions& hostile : oracle::kHostileDimensions) {
    const Bytes file = pac_writer::WithDimensions(pac, hostile.width, hostile.height);
    ASSERT_FALSE(oracle::ExpectedPicture(file)) << hostile.what;
    ExpectLoaded(file, hostile.what);
  }
}

TEST_P(GetPicture, FailsWithoutTouchingTheHostsVariables) {
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  ScratchFile scratch(pac);
  const std::string missing = test_files::ScratchDirectory() + "/no-such-picture.pac";
  const Loaded refused[] = {
      Load(calls_, missing.c_str()),
      Load(calls_, ""),
      Load(calls_, test_files::ScratchDirectory().c_str()),
      Load(calls_, scratch.path(), 0, 1),  // memory input is not loaded
      Load(calls_, reinterpret_cast<const char*>(pac.data()), static_cast<intptr_t>(pac.size()), 9),
  };
  for (const Loaded& loaded : refused) {
    EXPECT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.info, kUntouchedHandle);
    EXPECT_EQ(loaded.pixels, kUntouchedHandle);
  }
}

TEST_P(GetPicture, LoadsAnEmptyPictureOfAnyHeightWhenTheWidthIsZero) {
  const Bytes file =
      pac_writer::WithDimensions(pac_writer::EncodePatternedPac(0, 0), 0, 0x7FFFFFFF);
  ExpectLoaded(file, "0 x INT_MAX");
}

// A name that no ANSI code page spells whole: Japanese and a character beyond the Basic
// Multilingual Plane. Through the Unicode twins it opens everywhere; natively the ANSI entry
// points take the same UTF-8 bytes.
TEST_P(EntryPoints, OpenFilesWhoseNamesNeedUnicode) {
#if defined(_WIN32)
  if (GetParam() == Names::kAnsi) {
    GTEST_SKIP() << "the ANSI code page cannot spell this name";
  }
#endif
  const Bytes pac = pac_writer::EncodePatternedPac(5, 4);
  ScratchFile file(pac, u8"-写真の絵-🖼.pac");
  const uintptr_t handle = host_services::OpenFileHandle(file.path());
  ASSERT_NE(handle, 0u);
  EXPECT_EQ(calls_.IsSupported(file.path(), handle), 1);
  host_services::CloseFileHandle(handle);
  ExpectDescribedAs(DescribeWith(calls_, file.path(), 0, 0), pac, file.path());
  const Loaded loaded = Load(calls_, file.path());
  ASSERT_EQ(loaded.result, 0);
  const oracle::Picture picture = TakeBlocks(loaded, 64);
  EXPECT_EQ(picture.info, oracle::ExpectedPicture(pac)->info);
  EXPECT_EQ(picture.pixels, oracle::ExpectedPicture(pac)->pixels);
}

// A file that cannot be positioned at its pixel area is refused: read from where the header
// ended, every row would come out shifted by 14 bytes.
#if defined(_WIN32)
TEST_P(GetPicture, RefusesAFileThatCannotBePositioned) {
  const std::string name = "\\\\.\\pipe\\lumivar-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                         4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  std::thread writer([&] {
    ConnectNamedPipe(server, nullptr);
    DWORD written = 0;
    WriteFile(server, pac.data(), static_cast<DWORD>(pac.size()), &written, nullptr);
    FlushFileBuffers(server);
    DisconnectNamedPipe(server);
  });
  const Loaded loaded = Load(calls_, name.c_str());
  writer.join();
  CloseHandle(server);
  EXPECT_EQ(loaded.result, 1);
  EXPECT_EQ(loaded.info, kUntouchedHandle);
  EXPECT_EQ(loaded.pixels, kUntouchedHandle);
}
#else
TEST_P(GetPicture, RefusesAFileThatCannotBePositioned) {
  const std::string name = test_files::ScratchDirectory() + "/lumivar-test-fifo-" +
                           std::to_string(getpid()) + module_under_test::NameOf(GetParam());
  ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  std::thread writer([&] { test_files::WriteFileBytes(name, pac); });
  const Loaded loaded = Load(calls_, name.c_str());
  writer.join();
  unlink(name.c_str());
  EXPECT_EQ(loaded.result, 1);
  EXPECT_EQ(loaded.info, kUntouchedHandle);
  EXPECT_EQ(loaded.pixels, kUntouchedHandle);
}
#endif

}  // namespace
