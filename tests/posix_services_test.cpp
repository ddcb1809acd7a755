// The POSIX services layer on its own terms: reads that take several read() calls or are
// interrupted by a signal, read errors, names that cannot be opened, and descriptor 0, which is
// never a handle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "loader/utf16.h"
#include "plugin/posix_services.h"
#include "testing/files.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The tests give descriptor 0 roles of its own and make pipes that must not land on it: where
// the runner started them without standard input, /dev/null stands in for it.
class StandardInputOpen : public ::testing::Environment {
 public:
  void SetUp() override {
    if (fcntl(0, F_GETFD) == -1) {
      ASSERT_EQ(open("/dev/null", O_RDONLY), 0);
    }
  }
};
const auto* const kStandardInputOpen = ::testing::AddGlobalTestEnvironment(new StandardInputOpen);

Bytes Counting(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 13 + 7);
  }
  return bytes;
}

HANDLE HandleOf(int descriptor) {
  return reinterpret_cast<HANDLE>(intptr_t{descriptor});
}

HANDLE Open(const char* name) {
  return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Standard input replaced by a pipe holding a few bytes for the length of a test; afterwards
// the bytes must still be there, unread.
class StandardInputGuard {
 public:
  StandardInputGuard() : saved_(dup(0)) {
    int channel[2];
    EXPECT_EQ(pipe(channel), 0);
    dup2(channel[0], 0);
    close(channel[0]);
    EXPECT_EQ(write(channel[1], "stdin", 5), 5);
    close(channel[1]);
  }
  ~StandardInputGuard() {
    char unread[16];
    EXPECT_EQ(read(0, unread, sizeof unread), 5) << "standard input was read";
    dup2(saved_, 0);
    close(saved_);
  }

 private:
  int saved_;
};

TEST(PosixServices, ReadFileGathersAPipeWrittenInChunks) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const Bytes sent = Counting(3000);
  std::thread writer([&] {
    for (size_t at = 0; at < sent.size(); at += 1000) {
      EXPECT_EQ(write(channel[1], sent.data() + at, 1000), 1000);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(channel[1]);
  });
  Bytes received(4000, 0);
  DWORD delivered = 0;
  EXPECT_EQ(ReadFile(HandleOf(channel[0]), received.data(), 4000, &delivered, nullptr), TRUE);
  writer.join();
  EXPECT_EQ(delivered, 3000u) << "up to the end of the data";
  received.resize(delivered);
  EXPECT_EQ(received, sent);
  close(channel[0]);
}

std::atomic<int> signals_caught{0};
void CountSignal(int) {
  ++signals_caught;
}

// A signal whose handler lacks SA_RESTART makes a blocked read() fail with EINTR; the read goes on.
TEST(PosixServices, ReadFileGoesOnAfterASignalInterruptsIt) {
  struct sigaction action = {};
  struct sigaction previous = {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const Bytes sent = Counting(64);
  Bytes received(64, 0);
  DWORD delivered = 0;
  BOOL result = FALSE;
  std::atomic<bool> started{false};
  std::thread reader([&] {
    started = true;
    result = ReadFile(HandleOf(channel[0]), received.data(), 64, &delivered, nullptr);
  });
  while (!started) {
    std::this_thread::yield();
  }
  // The reader blocks in read(); signals are sent until its handler has run at least once.
  signals_caught = 0;
  for (int tries = 0; signals_caught == 0 && tries < 500; ++tries) {
    pthread_kill(reader.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_GT(signals_caught.load(), 0);
  EXPECT_EQ(write(channel[1], sent.data(), 32), 32);
  pthread_kill(reader.native_handle(), SIGUSR1);
  EXPECT_EQ(write(channel[1], sent.data() + 32, 32), 32);
  reader.join();
  sigaction(SIGUSR1, &previous, nullptr);
  close(channel[0]);
  close(channel[1]);
  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(delivered, 64u);
  EXPECT_EQ(received, sent);
}

TEST(PosixServices, ReadFileFailsOnAReadError) {
  const HANDLE directory = Open(test_files::ScratchDirectory().c_str());
  ASSERT_NE(directory, INVALID_HANDLE_VALUE);
  uint8_t buffer[16];
  DWORD delivered = 99;
  EXPECT_EQ(ReadFile(directory, buffer, sizeof buffer, &delivered, nullptr), FALSE);
  EXPECT_EQ(delivered, 0u);
  EXPECT_EQ(CloseHandle(directory), TRUE);
}

TEST(PosixServices, NamesThatCannotBeOpened) {
  const StandardInputGuard standard_input;
  const char16_t unpaired_high[] = {u'a', 0xD83D, u'b', 0};
  const char16_t unpaired_low[] = {u'a', 0xDE00, 0};
  EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(""), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileW(unpaired_high, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileW(unpaired_low, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
}

TEST(PosixServices, CreateFileWOpensTheUtf8Spelling) {
  const Bytes content = Counting(40);
  test_files::ScratchFile file(content, u8"-ä写🖼.pac");
  const utf16::WideString name = utf16::FromUtf8(file.path());
  ASSERT_NE(name.find(u"\u00E4\u5199\U0001F5BC"), utf16::WideString::npos);
  const HANDLE handle =
      CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  Bytes received(64, 0);
  DWORD delivered = 0;
  EXPECT_EQ(ReadFile(handle, received.data(), 64, &delivered, nullptr), TRUE);
  received.resize(delivered);
  EXPECT_EQ(received, content);
  CloseHandle(handle);
}

// With standard input closed, open() hands out descriptor 0; the layer moves the file elsewhere.
TEST(PosixServices, NeverHandsOutDescriptorZero) {
  const Bytes content = Counting(20);
  test_files::ScratchFile file(content);
  const int saved = dup(0);
  close(0);
  const HANDLE handle = Open(file.path());
  const bool zero_still_closed = fcntl(0, F_GETFD) == -1;
  dup2(saved, 0);
  close(saved);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_NE(handle, HandleOf(0));
  EXPECT_TRUE(zero_still_closed);
  EXPECT_NE(fcntl(static_cast<int>(reinterpret_cast<intptr_t>(handle)), F_GETFD) & FD_CLOEXEC, 0);
  Bytes received(20, 0);
  DWORD delivered = 0;
  EXPECT_EQ(ReadFile(handle, received.data(), 20, &delivered, nullptr), TRUE);
  EXPECT_EQ(received, content);
  EXPECT_EQ(CloseHandle(handle), TRUE);
}

TEST(PosixServices, AcceptsNoNullHandle) {
  const StandardInputGuard standard_input;
  uint8_t buffer[8];
  DWORD delivered = 99;
  EXPECT_EQ(ReadFile(HandleOf(0), buffer, sizeof buffer, &delivered, nullptr), FALSE);
  EXPECT_EQ(delivered, 0u);
  EXPECT_EQ(SetFilePointer(HandleOf(0), 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(CloseHandle(HandleOf(0)), FALSE);
  EXPECT_NE(fcntl(0, F_GETFD), -1) << "standard input was closed";
}

TEST(PosixServices, SetFilePointerFailsOnAPipe) {
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  EXPECT_EQ(SetFilePointer(HandleOf(channel[0]), 62, nullptr, FILE_BEGIN),
            INVALID_SET_FILE_POINTER);
  close(channel[0]);
  close(channel[1]);
}

}  // namespace
