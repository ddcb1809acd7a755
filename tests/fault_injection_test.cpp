// The entry points linked with a double of the services layer: every call of every service made
// to fail in turn, with the handles and blocks left behind counted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "entry_points.h"
#include "fault_services.h"
#include "posix_services.h"
#include "tools/pac_writer.h"

namespace {

using fault_services::Service;

constexpr char kPicture[] = "picture.pac";
void* const kUntouchedHandle = reinterpret_cast<void*>(uintptr_t{0x5A5A5A5A});

const char* NameOf(Service service) {
  const char* names[] = {"CreateFileA", "SetFilePointer", "ReadFile", "LocalAlloc"};
  return names[service];
}

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    fault_services::Reset();
    fault_services::AddFile(kPicture, pac_writer::EncodePatternedPac(3, 2));
  }
  void TearDown() override { EXPECT_EQ(fault_services::InvalidReleases(), 0); }
};

// What GetPicture must leave when one call fails; a failure the load never reaches changes nothing.
struct PictureOutcome {
  Service service;
  int call;
  int32_t result;
  bool info_untouched;
  bool pixels_null;  // otherwise untouched (result 1) or a live block (result 0)
};

const PictureOutcome kPictureOutcomes[] = {
    {fault_services::kCreateFileA, 1, 1, true, false},
    {fault_services::kReadFile, 1, 1, true, false},         // the header
    {fault_services::kReadFile, 2, 1, true, true},          // the pixel area
    {fault_services::kLocalAlloc, 1, 1, true, true},        // the pixel block
    {fault_services::kLocalAlloc, 2, 1, true, true},        // the info block
    {fault_services::kSetFilePointer, 1, 0, false, false},  // not examined: the load goes on
};

TEST_F(FaultInjection, GetPictureLeavesNothingBehindWhicheverCallFails) {
  for (int service = 0; service < fault_services::kServiceCount; ++service) {
    for (int call = 1; call <= 3; ++call) {
      SetUp();
      fault_services::FailCall(static_cast<Service>(service), call);
      void* info = kUntouchedHandle;
      void* pixels = kUntouchedHandle;
      const int32_t result = GetPicture(kPicture, 0, 0, &info, &pixels, nullptr, 0);

      PictureOutcome expected{static_cast<Service>(service), call, 0, false, false};
      for (const PictureOutcome& outcome : kPictureOutcomes) {
        if (outcome.service == service && outcome.call == call) {
          expected = outcome;
        }
      }
      const std::string where =
          std::string(NameOf(expected.service)) + " call " + std::to_string(call);
      EXPECT_EQ(result, expected.result) << where;
      EXPECT_EQ(fault_services::OpenHandles(), 0) << where;
      EXPECT_EQ(fault_services::InvalidReleases(), 0) << where;
      if (result == 0) {
        EXPECT_EQ(fault_services::LiveBlocks(), 2) << where;
        EXPECT_TRUE(fault_services::IsLiveBlock(info)) << where;
        EXPECT_TRUE(fault_services::IsLiveBlock(pixels)) << where;
        LocalFree(info);
        LocalFree(pixels);
      } else {
        EXPECT_EQ(fault_services::LiveBlocks(), 0) << where;
        EXPECT_EQ(info, kUntouchedHandle) << where;
        EXPECT_EQ(pixels, expected.pixels_null ? nullptr : kUntouchedHandle) << where;
      }
    }
  }
}

TEST_F(FaultInjection, GetPictureInfoClosesItsFileWhicheverCallFails) {
  for (Service service : {fault_services::kCreateFileA, fault_services::kReadFile}) {
    SetUp();
    fault_services::FailCall(service, 1);
    PictureInfoRecord record;
    std::memset(&record, 0xCC, sizeof record);
    EXPECT_EQ(GetPictureInfo(kPicture, 0, 0, &record), 1) << NameOf(service);
    EXPECT_EQ(record.width, static_cast<int32_t>(0xCCCCCCCC)) << NameOf(service);
    EXPECT_EQ(record.left, 0);
    EXPECT_EQ(fault_services::OpenHandles(), 0) << NameOf(service);
    EXPECT_EQ(fault_services::LiveBlocks(), 0);
  }
}

TEST_F(FaultInjection, MemoryInputCallsNoService) {
  const std::vector<uint8_t> pac = pac_writer::EncodePatternedPac(3, 2);
  PictureInfoRecord record{};
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  EXPECT_EQ(GetPictureInfo(reinterpret_cast<const char*>(pac.data()), 48, 1, &record), 0);
  EXPECT_EQ(IsSupported(nullptr, reinterpret_cast<uintptr_t>(pac.data())), 1);
  EXPECT_EQ(
      GetPicture(reinterpret_cast<const char*>(pac.data()), 48, 1, &info, &pixels, nullptr, 0), 1);
  for (int service = 0; service < fault_services::kServiceCount; ++service) {
    EXPECT_EQ(fault_services::CallCount(static_cast<Service>(service)), 0)
        << NameOf(static_cast<Service>(service));
  }
}

TEST_F(FaultInjection, IsSupportedDecidesOnDeliveredBytesOnlyAndKeepsTheHostsHandle) {
  const HANDLE host_file =
      CreateFileA(kPicture, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const auto source = reinterpret_cast<uintptr_t>(host_file);
  EXPECT_EQ(IsSupported(nullptr, source), 1);
  // The failing read scribbles the signature into the buffer yet delivers nothing.
  fault_services::FailCall(fault_services::kReadFile, 1);
  EXPECT_EQ(IsSupported(nullptr, source), 0);
  // A failing seek is not examined: the answer is still a plain yes or no.
  fault_services::FailCall(fault_services::kSetFilePointer, 1);
  const int32_t after_failed_seek = IsSupported(nullptr, source);
  EXPECT_TRUE(after_failed_seek == 0 || after_failed_seek == 1) << after_failed_seek;
  EXPECT_EQ(fault_services::OpenHandles(), 1) << "the host's handle stays open";
  EXPECT_EQ(fault_services::LiveBlocks(), 0);
  EXPECT_EQ(CloseHandle(host_file), TRUE);
}

TEST_F(FaultInjection, RefusedPicturesAllocateNothing) {
  const std::vector<uint8_t> pac = pac_writer::EncodePatternedPac(4, 4);
  const auto with_dimensions = [&](uint32_t width, uint32_t height) {
    std::vector<uint8_t> file = pac;
    pac_writer::PutLittleEndian(file, 26, width, 4);
    pac_writer::PutLittleEndian(file, 30, height, 4);
    return file;
  };
  const std::vector<uint8_t> refused[] = {
      with_dimensions(0xFFFFFFFF, 4),
      with_dimensions(4, 0x80000000),
      with_dimensions(715827882, 1),
      with_dimensions(65536, 65536),
      std::vector<uint8_t>(pac.begin(), pac.begin() + 33),
  };
  for (const std::vector<uint8_t>& file : refused) {
    SetUp();
    fault_services::AddFile(kPicture, file);
    void* info = kUntouchedHandle;
    void* pixels = kUntouchedHandle;
    EXPECT_EQ(GetPicture(kPicture, 0, 0, &info, &pixels, nullptr, 0), 1);
    EXPECT_EQ(info, kUntouchedHandle);
    EXPECT_EQ(pixels, kUntouchedHandle);
    EXPECT_EQ(fault_services::CallCount(fault_services::kLocalAlloc), 0);
    EXPECT_EQ(fault_services::OpenHandles(), 0);
  }
}

TEST_F(FaultInjection, PixelBlocksAreSizedByTheRowStride) {
  const size_t expected[] = {12, 24, 36, 36, 48, 60, 72, 72};
  for (int32_t width = 1; width <= 8; ++width) {
    SetUp();
    fault_services::AddFile(kPicture, pac_writer::EncodePatternedPac(width, 3));
    void* info = nullptr;
    void* pixels = nullptr;
    ASSERT_EQ(GetPicture(kPicture, 0, 0, &info, &pixels, nullptr, 0), 0);
    EXPECT_EQ(fault_services::RequestedBlockSizes(), (std::vector<size_t>{expected[width - 1], 40}))
        << "width " << width;
    LocalFree(info);
    LocalFree(pixels);
  }
}

}  // namespace
