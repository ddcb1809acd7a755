// Many threads calling all five entry points at once, on different files and on the same ones:
// every answer must equal the one a single thread gets.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin_host.h"
#include "tools/pac_writer.h"

namespace {

using plugin_host::Module;
using plugin_host::ScratchFile;
using Bytes = std::vector<uint8_t>;

// Everything a host learns from one round of calls on one file.
struct Answers {
  std::string information;
  int32_t served_by_handle;
  int32_t served_from_memory;
  int32_t info_result;
  Bytes record;
  int32_t picture_result;
  Bytes info_block;
  Bytes pixel_block;
  int32_t preview_result;

  bool operator==(const Answers& other) const {
    return information == other.information && served_by_handle == other.served_by_handle &&
           served_from_memory == other.served_from_memory && info_result == other.info_result &&
           record == other.record && picture_result == other.picture_result &&
           info_block == other.info_block && pixel_block == other.pixel_block &&
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
  const uintptr_t handle = plugin_host::OpenFileHandle(file.path());
  answers.served_by_handle = Module().IsSupported(file.path(), handle);
  plugin_host::CloseFileHandle(handle);
  Bytes head = content;
  head.resize(std::max<size_t>(head.size(), 2048), 0);
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
    const auto* info_bytes = static_cast<const uint8_t*>(info);
    const auto* pixel_bytes = static_cast<const uint8_t*>(pixels);
    const size_t size = pac_writer::RowStrideOf(record.width) * static_cast<size_t>(record.height);
    answers.info_block.assign(info_bytes, info_bytes + 40);
    answers.pixel_block.assign(pixel_bytes, pixel_bytes + size);
    plugin_host::ReleaseBlock(info);
    plugin_host::ReleaseBlock(pixels);
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
  EXPECT_EQ(expected.back().picture_result, 1);
}

}  // namespace
