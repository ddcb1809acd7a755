// Many threads calling all five entry points at once, on different files and on the same ones:
// every answer must equal the one a single thread gets.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testing/blocks.h"
#include "testing/files.h"
#include "testing/module_under_test.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

namespace {

using module_under_test::Module;
using oracle::Bytes;
using test_files::ScratchFile;

// Everything a host learns from one round of calls on one file.
struct Answers {
  std::string information;
  int32_t served_by_handle;
  int32_t served_from_memory;
  int32_t info_result;
  Bytes record;
  int32_t picture_result;
  oracle::Picture picture;
  int32_t preview_result;

  bool operator==(const Answers& other) const {
    return information == other.information && served_by_handle == other.served_by_handle &&
           served_from_memory == other.served_from_memory && info_result == other.info_result &&
           record == other.record && picture_result == other.picture_result &&
           picture.info == other.picture.info && picture.pixels == other.picture.pixels &&
           preview_result == other.preview_result;
  }
};

Answers Ask(const ScratchFile& file, const Bytes& content) {
  Answers answers{};
  for (int32_t number = 0; number < 5; ++number) {
    char buffer[64] = {};
    answers.information += std::to_string(Module().GetPluginInfo(number, buffer, sizeof buffer));
    answers.information += buffer;
  }
  const uintptr_t handle = host_services::OpenFileHandle(file.path());
  answers.served_by_handle = Module().IsSupported(file.path(), handle);
  host_services::CloseFileHandle(handle);
  const Bytes head = test_files::ViewerProbeBuffer(content);
  answers.served_from_memory =
      Module().IsSupported(nullptr, reinterpret_cast<uintptr_t>(head.data()));

  PictureInfoRecord record{};
  answers.info_result = Module().GetPictureInfo(file.path(), 0, 0, &record);
  const auto* record_bytes = reinterpret_cast<const uint8_t*>(&record);
  answers.record.assign(record_bytes, record_bytes + sizeof record);

  void* info = nullptr;
  void* pixels = nullptr;
  answers.picture_result = Module().GetPicture(file.path(), 0, 0, &info, &pixels, nullptr, 0);
  if (answers.picture_result == 0) {
    const std::optional<oracle::PixelAreaLayout> layout =
        oracle::LoadableLayout(content.data(), content.size());
    answers.picture = blocks::TakeBlocks(info, pixels, layout ? layout->size : 0);
  }
  answers.preview_result = Module().GetPreview(file.path(), 0, 0, &info, &pixels, nullptr, 0);
  return answers;
}

TEST(Concurrency, AnswersMatchASingleThreadedRun) {
  std::vector<Bytes> contents;
  for (int32_t size = 1; size <= 6; ++size) {
    contents.push_back(pac_writer::EncodePatternedPac(size * 7, size * 5));
  }
  contents.back().resize(contents.back().size() - 100);  // a truncated one
  contents.push_back(Bytes(20, 'x'));                    // one that fails
  std::vector<std::unique_ptr<ScratchFile>> files;
  std::vector<Answers> expected;
  for (const Bytes& content : contents) {
    files.push_back(std::make_unique<ScratchFile>(content));
    expected.push_back(Ask(*files.back(), content));
  }

  constexpr int kThreads = 8;
  constexpr int kRounds = 40;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      for (int round = 0; round < kRounds; ++round) {
        // Half the threads walk the files, the other half all load the first one.
        const size_t index = thread % 2 == 0 ? (thread + round) % files.size() : 0;
        if (!(Ask(*files[index], contents[index]) == expected[index])) {
          ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(expected[0].picture_result, 0);
  EXPECT_EQ(expected[0].picture.pixels, oracle::ExpectedPicture(contents[0])->pixels);
  EXPECT_EQ(expected.back().picture_result, 1);
}

}  // namespace
