// The entry points linked with a double of the services layer: every call of every service made
// to fail in turn, with the handles and blocks left behind counted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "plugin/entry_points.h"
#include "plugin/posix_services.h"
#include "testing/blocks.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"
#include "tests/fault_services.h"

namespace {

using blocks::kUntouchedHandle;
using fault_services::Service;
using oracle::Bytes;

constexpr char kPicture[] = "picture.pac";

const char* NameOf(Service service) {
  const char* names[] = {"CreateFileA", "SetFilePointer", "ReadFile", "LocalAlloc"};
  return names[service];
}

// Each test starts from a double holding one picture, and no test may release what is not live.
class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override { UsePicture(pac_writer::EncodePatternedPac(3, 2)); }
  void TearDown() override { EXPECT_EQ(fault_services::InvalidReleases(), 0); }

  static void UsePicture(const Bytes& file) {
    fault_services::Reset();
    fault_services::AddFile(kPicture, file);
  }
};

// What GetPicture must leave when one call fails; a failure the load never reaches changes nothing.
struct PictureOutcome {
  Service service;
  int call;
  int32_t result;
  bool pixels_null;  // otherwise untouched (result 1) or a live block (result 0)
};

const PictureOutcome kPictureOutcomes[] = {
    {fault_services::kCreateFileA, 1, 1, false},
    {fault_services::kReadFile, 1, 1, false},        // the header
    {fault_services::kReadFile, 2, 1, true},         // the pixel area
    {fault_services::kLocalAlloc, 1, 1, true},       // the pixel block
    {fault_services::kLocalAlloc, 2, 1, true},       // the info block
    {fault_services::kSetFilePointer, 1, 1, false},  // the file cannot reach its pixel area
};

class GetPictureFault : public FaultInjection,
                        public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(GetPictureFault, LeavesNothingBehind) {
  const auto service = static_cast<Service>(std::get<0>(GetParam()));
  const int call = std::get<1>(GetParam());
  fault_services::FailCall(service, call);
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  const int32_t result = GetPicture(kPicture, 0, 0, &info, &pixels, nullptr, 0);

  PictureOutcome expected{service, call, 0, false};
  for (const PictureOutcome& outcome : kPictureOutcomes) {
    if (outcome.service == service && outcome.call == call) {
      expected = outcome;
    }
  }
  EXPECT_EQ(result, expected.result);
  EXPECT_EQ(fault_services::OpenHandles(), 0);
  if (result == 0) {
    EXPECT_EQ(fault_services::LiveBlocks(), 2);
    EXPECT_TRUE(fault_services::IsLiveBlock(info));
    EXPECT_TRUE(fault_services::IsLiveBlock(pixels));
    LocalFree(info);
    LocalFree(pixels);
  } else {
    EXPECT_EQ(fault_services::LiveBlocks(), 0);
    EXPECT_EQ(info, kUntouchedHandle);
    EXPECT_EQ(pixels, expected.pixels_null ? nullptr : kUntouchedHandle);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryServiceAndCall, GetPictureFault,
                         ::testing::Combine(::testing::Range(0, int{fault_services::kServiceCount}),
                                            ::testing::Range(1, 4)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                           return std::string(
                                      NameOf(static_cast<Service>(std::get<0>(info.param)))) +
                                  "Call" + std::to_string(std::get<1>(info.param));
                         });

class GetPictureInfoFault : public FaultInjection, public ::testing::WithParamInterface<Service> {};

TEST_P(GetPictureInfoFault, ClosesItsFile) {
  fault_services::FailCall(GetParam(), 1);
  PictureInfoRecord record;
  std::memset(&record, 0xCC, sizeof record);
  EXPECT_EQ(GetPictureInfo(kPicture, 0, 0, &record), 1);
  EXPECT_EQ(record.width, static_cast<int32_t>(0xCCCCCCCC));
  EXPECT_EQ(record.left, 0);
  EXPECT_EQ(fault_services::OpenHandles(), 0);
  EXPECT_EQ(fault_services::LiveBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(OpenAndRead, GetPictureInfoFault,
                         ::testing::Values(fault_services::kCreateFileA, fault_services::kReadFile),
                         [](const ::testing::TestParamInfo<Service>& info) {
                           return std::string(NameOf(info.param));
                         });

// Memory is read in place, and a null handle is never a file: none of these calls a service.
TEST_F(FaultInjection, MemoryInputAndANullHandleCallNoService) {
  const Bytes pac = pac_writer::EncodePatternedPac(3, 2);
  PictureInfoRecord record{};
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  EXPECT_EQ(GetPictureInfo(reinterpret_cast<const char*>(pac.data()), 48, 1, &record), 0);
  EXPECT_EQ(IsSupported(nullptr, reinterpret_cast<uintptr_t>(pac.data())), 1);
  EXPECT_EQ(IsSupported(nullptr, 0), 0);
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
  // The failing read puts the signature into the buffer and even reports it delivered.
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

// Hostile dimensions and a header too short for them.
std::vector<Bytes> RefusedFiles() {
  const Bytes pac = pac_writer::EncodePatternedPac(4, 4);
  std::vector<Bytes> files;
  for (const oracle::HostileDimensions& hostile : oracle::kHostileDimensions) {
    files.push_back(pac_writer::WithDimensions(pac, hostile.width, hostile.height));
  }
  files.push_back(pac_writer::Prefix(pac, oracle::kDimensionsEnd - 1));
  return files;
}

class RefusedPicture : public FaultInjection, public ::testing::WithParamInterface<Bytes> {};

TEST_P(RefusedPicture, AllocatesNothingAndLeavesNoFileOpen) {
  UsePicture(GetParam());
  ASSERT_FALSE(oracle::ExpectedPicture(GetParam()));
  void* info = kUntouchedHandle;
  void* pixels = kUntouchedHandle;
  EXPECT_EQ(GetPicture(kPicture, 0, 0, &info, &pixels, nullptr, 0), 1);
  EXPECT_EQ(info, kUntouchedHandle);
  EXPECT_EQ(pixels, kUntouchedHandle);
  EXPECT_EQ(fault_services::CallCount(fault_services::kLocalAlloc), 0);
  EXPECT_EQ(fault_services::OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(HostileOrShort, RefusedPicture, ::testing::ValuesIn(RefusedFiles()));

class PixelBlockSize : public FaultInjection, public ::testing::WithParamInterface<int32_t> {};

TEST_P(PixelBlockSize, FollowsTheRowStride) {
  const size_t expected[] = {12, 24, 36, 36, 48, 60, 72, 72};  // height 3, widths 1 to 8
  const int32_t width = GetParam();
  UsePicture(pac_writer::EncodePatternedPac(width, 3));
  void* info = nullptr;
  void* pixels = nullptr;
  ASSERT_EQ(GetPicture(kPicture, 0, 0, &info, &pixels, nullptr, 0), 0);
  EXPECT_EQ(fault_services::RequestedBlockSizes(), (std::vector<size_t>{expected[width - 1], 40}));
  LocalFree(info);
  LocalFree(pixels);
}

INSTANTIATE_TEST_SUITE_P(WidthsOneToEight, PixelBlockSize, ::testing::Range(1, 9));

}  // namespace
