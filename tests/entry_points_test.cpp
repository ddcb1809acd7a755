// The module's five entry points, called as a host calls them: through the loaded module, on PAC
// files and memory blocks built byte by byte. Expected results are worked out from the file bytes
// alone, independently of the module's own code.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "tools/pac_reference.h"
#include "tools/pac_writer.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

using plugin_host::Module;
using plugin_host::ScratchFile;
using Bytes = std::vector<uint8_t>;

Bytes Prefix(const Bytes& bytes, size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(size, bytes.size())));
}

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
  void* info = nullptr;
  void* pixels = nullptr;
  EXPECT_EQ(Module().GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
  ScratchFile file(pac_writer::EncodePatternedPac(2, 2));
  EXPECT_EQ(Module().GetPreview(file.path(), 0, 0, &info, &pixels, nullptr, 0), -1);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(pixels, nullptr);
}

// ---------------------------------------------------------------------------------------------
// IsSupported

Bytes HeadWithBytesAt8(uint8_t first, uint8_t second, uint8_t filler = 0x33) {
  Bytes head(2048, filler);
  head[8] = first;
  head[9] = second;
  return head;
}

struct ProbeCase {
  const char* what;
  Bytes content;
  int32_t served;
};

std::vector<ProbeCase> ProbeCases() {
  Bytes bitmap = HeadWithBytesAt8(0, 0);
  bitmap[0] = 'B';
  bitmap[1] = 'M';
  return {
      {"a PAC picture", pac_writer::EncodePatternedPac(3, 2), 1},
      {"BM at 8, anything around it", HeadWithBytesAt8('B', 'M', 0xFF), 1},
      {"a plain bitmap file", bitmap, 0},
      {"lower-case signature", HeadWithBytesAt8('b', 'm'), 0},
      {"signature bytes swapped", HeadWithBytesAt8('M', 'B'), 0},
  };
}

TEST(IsSupported, DecidesOnContentFromMemory) {
  for (const ProbeCase& c : ProbeCases()) {
    const Bytes head = Prefix(c.content, 2048);
    for (const char* name : {"picture.pac", "picture.bmp", static_cast<const char*>(nullptr)}) {
      EXPECT_EQ(Module().IsSupported(name, reinterpret_cast<uintptr_t>(head.data())), c.served)
          << c.what;
    }
  }
}

TEST(IsSupported, ReadsFifteenBytesFromMemoryAndNoMore) {
  const plugin_host::GuardedBytes head(Prefix(pac_writer::EncodePatternedPac(1, 1), 15));
  EXPECT_EQ(Module().IsSupported("x", reinterpret_cast<uintptr_t>(head.data())), 1);
}

TEST(IsSupported, DecidesOnContentFromTheHostsHandleAndLeavesItOpen) {
  for (const ProbeCase& c : ProbeCases()) {
    ScratchFile file(c.content);
    const uintptr_t handle = plugin_host::OpenFileHandle(file.path());
    ASSERT_NE(handle, 0u);
    plugin_host::SeekFile(handle, 100);  // the probe reads from the start whatever the position
    EXPECT_EQ(Module().IsSupported(file.path(), handle), c.served) << c.what;
    EXPECT_EQ(plugin_host::FilePosition(handle), 15) << c.what;
    plugin_host::CloseFileHandle(handle);
  }
}

TEST(IsSupported, ServesNoFileOnBytesItCouldNotRead) {
  const Bytes pac = pac_writer::EncodePatternedPac(2, 2);
  for (size_t length = 0; length <= 15; ++length) {
    ScratchFile file(Prefix(pac, length));
    const uintptr_t handle = plugin_host::OpenFileHandle(file.path());
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(Module().IsSupported(nullptr, handle), length >= 10 ? 1 : 0) << length << " bytes";
    EXPECT_EQ(plugin_host::FilePosition(handle), static_cast<int64_t>(length));
    plugin_host::CloseFileHandle(handle);
  }
  ScratchFile file(pac);
  const uintptr_t unreadable = plugin_host::OpenFileHandleWithoutReadAccess(file.path());
  ASSERT_NE(unreadable, 0u);
  EXPECT_EQ(Module().IsSupported(nullptr, unreadable), 0);
  plugin_host::CloseFileHandle(unreadable);
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
  std::memcpy(mapped, pac_writer::EncodePatternedPac(2, 2).data(), 15);
  EXPECT_EQ(Module().IsSupported(nullptr, 0x10000), 1);
  munmap(mapped, page);
}
#endif

// ---------------------------------------------------------------------------------------------
// GetPictureInfo

PictureInfoRecord Untouched() {
  PictureInfoRecord record;
  std::memset(&record, 0xCC, sizeof record);
  return record;
}

// The record after a failure: the fixed fields written, width, height and depth as they were.
PictureInfoRecord WithFixedFields(PictureInfoRecord record) {
  record.left = 0;
  record.top = 0;
  record.horizontal_density = 72;
  record.vertical_density = 72;
  record.additional_info = nullptr;
  return record;
}

PictureInfoRecord Described(int32_t width, int32_t height) {
  PictureInfoRecord record = WithFixedFields(Untouched());
  record.width = width;
  record.height = height;
  record.colour_depth = 24;
  return record;
}

Bytes BytesOf(const PictureInfoRecord& record) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return Bytes(bytes, bytes + sizeof record);
}

TEST(GetPictureInfo, RecordIsBytePackedAndLittleEndian) {
  const Bytes expected = {0, 0,    0,    0,    0,    0,  0, 0,  0x34, 0x12, 0,
                          0, 0xFE, 0xFF, 0xFF, 0xFF, 72, 0, 72, 0,    24,   0};
  Bytes with_handle = expected;
  with_handle.resize(sizeof(PictureInfoRecord), 0);
  EXPECT_EQ(BytesOf(Described(0x1234, -2)), with_handle);
}

TEST(GetPictureInfo, ReportsSizeAndDepthFromAFile) {
  const struct {
    const char* what;
    Bytes content;
    int32_t width;
    int32_t height;
  } cases[] = {
      {"a PAC picture", pac_writer::EncodePatternedPac(3, 5), 3, 5},
      {"any bytes at 26 and 30, no signature needed", HeadWithBytesAt8('x', 'y', 0x81),
       static_cast<int32_t>(0x81818181), static_cast<int32_t>(0x81818181)},
  };
  for (const auto& c : cases) {
    ScratchFile file(c.content);
    for (intptr_t offset : {0, 1, 4096}) {
      for (uint32_t flag : {0u, 8u, 0x10u}) {
        PictureInfoRecord record = Untouched();
        EXPECT_EQ(Module().GetPictureInfo(file.path(), offset, flag, &record), 0) << c.what;
        EXPECT_EQ(BytesOf(record), BytesOf(Described(c.width, c.height)))
            << c.what << ", offset " << offset << ", flag " << flag;
      }
    }
  }
}

TEST(GetPictureInfo, ReportsSizeAndDepthFromMemory) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (uint32_t flag : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u}) {
    PictureInfoRecord record = Untouched();
    EXPECT_EQ(Module().GetPictureInfo(reinterpret_cast<const char*>(pac.data()),
                                      static_cast<intptr_t>(pac.size()), flag, &record),
              0);
    EXPECT_EQ(BytesOf(record), BytesOf(Described(6, 7))) << "flag " << flag;
  }
}

TEST(GetPictureInfo, NeverReadsPastTheMemoryLengthAndNeedsBothDimensions) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (size_t length = 0; length <= 48; ++length) {
    const plugin_host::GuardedBytes block(Prefix(pac, length));
    PictureInfoRecord record = Untouched();
    const int32_t result =
        Module().GetPictureInfo(block.data(), static_cast<intptr_t>(length), 1, &record);
    if (length < 34) {
      EXPECT_EQ(result, 1) << length << " bytes";
      EXPECT_EQ(BytesOf(record), BytesOf(WithFixedFields(Untouched()))) << length << " bytes";
    } else {
      EXPECT_EQ(result, 0) << length << " bytes";
      EXPECT_EQ(BytesOf(record), BytesOf(Described(6, 7))) << length << " bytes";
    }
  }
  PictureInfoRecord record = Untouched();
  EXPECT_EQ(Module().GetPictureInfo(reinterpret_cast<const char*>(pac.data()), -1, 1, &record), 1);
}

TEST(GetPictureInfo, RefusesFilesThatCannotDeliverBothDimensions) {
  const Bytes pac = pac_writer::EncodePatternedPac(6, 7);
  for (size_t length = 0; length <= 62; ++length) {
    ScratchFile file(Prefix(pac, length));
    PictureInfoRecord record = Untouched();
    const int32_t result = Module().GetPictureInfo(file.path(), 0, 0, &record);
    const PictureInfoRecord expected = length < 34 ? WithFixedFields(Untouched()) : Described(6, 7);
    EXPECT_EQ(result, length < 34 ? 1 : 0) << length << " bytes";
    EXPECT_EQ(BytesOf(record), BytesOf(expected)) << length << " bytes";
  }
}

TEST(GetPictureInfo, FailsOnFilesThatCannotBeOpenedOrRead) {
  const std::string missing = plugin_host::ScratchDirectory() + "/no-such-picture.pac";
  for (const std::string& name : {missing, std::string(), plugin_host::ScratchDirectory()}) {
    PictureInfoRecord record = Untouched();
    EXPECT_EQ(Module().GetPictureInfo(name.c_str(), 0, 0, &record), 1) << "'" << name << "'";
    EXPECT_EQ(BytesOf(record), BytesOf(WithFixedFields(Untouched()))) << "'" << name << "'";
  }
}

// ---------------------------------------------------------------------------------------------
// GetPicture

void* const kUntouchedHandle = reinterpret_cast<void*>(uintptr_t{0x5A5A5A5A});

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

// The blocks of a successful load, copied out and released as a host releases them.
struct Picture {
  Bytes info;
  Bytes pixels;
};

Picture TakeBlocks(const Loaded& loaded, size_t pixel_size) {
  const auto* info = static_cast<const uint8_t*>(loaded.info);
  const auto* pixels = static_cast<const uint8_t*>(loaded.pixels);
  Picture picture{Bytes(info, info + 40), Bytes(pixels, pixels + pixel_size)};
  plugin_host::ReleaseBlock(loaded.info);
  plugin_host::ReleaseBlock(loaded.pixels);
  return picture;
}

using pac_reference::ExpectedInfoBlock;
using pac_reference::ExpectedPixelBlock;

TEST(GetPicture, HandsOverTheTwoByTwoPictureBottomRowFirst) {
  const Bytes file = pac_writer::EncodePatternedPac(2, 2);
  ScratchFile scratch(file);
  const Loaded loaded = Load(scratch.path());
  ASSERT_EQ(loaded.result, 0);
  const Picture picture = TakeBlocks(loaded, 16);
  Bytes expected(file.begin() + 70, file.begin() + 78);
  expected.insert(expected.end(), file.begin() + 62, file.begin() + 70);
  EXPECT_EQ(picture.pixels, expected);
  EXPECT_EQ(picture.info, ExpectedInfoBlock(2, 2));
}

// Every width from 0 to 9 and height from 0 to 4, with the file whole, followed by bytes that
// must not be read, or cut short anywhere from the end of its pixel area down to 34 bytes.
TEST(GetPicture, LoadsEverySmallPictureWholeOrTruncated) {
  for (int32_t width = 0; width <= 9; ++width) {
    for (int32_t height = 0; height <= 4; ++height) {
      const Bytes whole = pac_writer::EncodePatternedPac(width, height);
      const size_t stride = pac_writer::RowStrideOf(width);
      Bytes trailing = whole;
      trailing.insert(trailing.end(), 32, 0xEE);
      std::vector<Bytes> files = {whole, trailing};
      for (size_t cut :
           {stride, whole.size() - pac_writer::kPixelAreaOffset, size_t{1}, size_t{20}}) {
        if (cut > 0 && cut <= whole.size() - pac_writer::kPixelAreaOffset) {
          files.push_back(Prefix(whole, whole.size() - cut));
        }
      }
      for (size_t length : {34, 47, 48, 61}) {
        files.push_back(Prefix(whole, length));
      }
      for (const Bytes& file : files) {
        ScratchFile scratch(file);
        const Loaded loaded = Load(scratch.path());
        ASSERT_EQ(loaded.result, 0) << width << " x " << height << ", " << file.size() << " bytes";
        const Bytes expected = ExpectedPixelBlock(file, width, height);
        const Picture picture = TakeBlocks(loaded, expected.size());
        EXPECT_EQ(picture.info, ExpectedInfoBlock(width, height));
        EXPECT_EQ(picture.pixels, expected)
            << width << " x " << height << ", " << file.size() << " bytes";
      }
    }
  }
}

TEST(GetPicture, CutsRowsFromOffset62WhateverTheHeaderSays) {
  Bytes file = pac_writer::EncodePatternedPac(3, 3);
  pac_writer::PutLittleEndian(file, 18, 1078, 4);  // pixel-data offset
  pac_writer::PutLittleEndian(file, 22, 108, 4);   // info-header size
  pac_writer::PutLittleEndian(file, 36, 8, 2);     // bits per pixel
  pac_writer::PutLittleEndian(file, 38, 1, 4);     // compression
  file[8] = 'x';                                   // no signature: GetPicture does not test it
  ScratchFile scratch(file);
  const Loaded loaded = Load(scratch.path());
  ASSERT_EQ(loaded.result, 0);
  const Picture picture = TakeBlocks(loaded, 36);
  EXPECT_EQ(picture.pixels, ExpectedPixelBlock(file, 3, 3));
  EXPECT_EQ(picture.info, ExpectedInfoBlock(3, 3));
}

int32_t PLUGIN_CALL CountingProgress(int32_t, int32_t, intptr_t user_data) {
  ++*reinterpret_cast<int*>(user_data);
  return 1;  // a host's "cancel": it must not stop the load, since the module never asks
}

TEST(GetPicture, IgnoresOffsetAndNeverCallsProgress) {
  const Bytes file = pac_writer::EncodePatternedPac(5, 3);
  ScratchFile scratch(file);
  const Bytes expected = ExpectedPixelBlock(file, 5, 3);
  int calls = 0;
  for (intptr_t offset : {0, 62, -1}) {
    for (uint32_t flag : {0u, 8u}) {
      const Loaded loaded =
          Load(scratch.path(), offset, flag, CountingProgress, reinterpret_cast<intptr_t>(&calls));
      ASSERT_EQ(loaded.result, 0);
      EXPECT_EQ(TakeBlocks(loaded, expected.size()).pixels, expected);
    }
  }
  EXPECT_EQ(calls, 0);
}

TEST(GetPicture, FailsWithoutTouchingTheHostsVariables) {
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  const auto with_dimensions = [&](uint32_t width, uint32_t height) {
    Bytes file = pac;
    pac_writer::PutLittleEndian(file, 26, width, 4);
    pac_writer::PutLittleEndian(file, 30, height, 4);
    return file;
  };
  struct Case {
    std::string what;
    Bytes content;
  };
  std::vector<Case> cases = {
      {"negative width", with_dimensions(static_cast<uint32_t>(-1), 4)},
      {"negative height", with_dimensions(4, static_cast<uint32_t>(-4))},
      {"INT_MIN width", with_dimensions(0x80000000u, 1)},
      {"row beyond 32 bits", with_dimensions(715827882, 1)},
      {"INT_MAX width", with_dimensions(0x7FFFFFFF, 1)},
      {"area of 2^31 bytes", with_dimensions(1, 536870912)},
      {"area wrapping in 32 bits", with_dimensions(65536, 65536)},
      {"INT_MAX height", with_dimensions(1, 0x7FFFFFFF)},
  };
  for (size_t length = 0; length < 34; ++length) {
    cases.push_back({std::to_string(length) + "-byte file", Prefix(pac, length)});
  }
  for (const Case& c : cases) {
    ScratchFile scratch(c.content);
    const Loaded loaded = Load(scratch.path());
    EXPECT_EQ(loaded.result, 1) << c.what;
    EXPECT_EQ(loaded.info, kUntouchedHandle) << c.what;
    EXPECT_EQ(loaded.pixels, kUntouchedHandle) << c.what;
  }

  ScratchFile scratch(pac);
  const std::string missing = plugin_host::ScratchDirectory() + "/no-such-picture.pac";
  const Loaded refused[] = {
      Load(missing.c_str()),
      Load(""),
      Load(plugin_host::ScratchDirectory().c_str()),
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
  Bytes file = pac_writer::EncodePatternedPac(0, 0);
  pac_writer::PutLittleEndian(file, 30, 0x7FFFFFFF, 4);
  ScratchFile scratch(file);
  const Loaded loaded = Load(scratch.path());
  ASSERT_EQ(loaded.result, 0);
  EXPECT_EQ(TakeBlocks(loaded, 0).info, ExpectedInfoBlock(0, 0x7FFFFFFF));
}

}  // namespace
