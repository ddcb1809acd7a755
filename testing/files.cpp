#include "testing/files.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "loader/host_services.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace test_files {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "test files: %s\n", what.c_str());
  std::abort();
}

#if defined(_WIN32)
unsigned long ProcessId() {
  return GetCurrentProcessId();
}
#else
unsigned long ProcessId() {
  return static_cast<unsigned long>(getpid());
}
#endif

}  // namespace

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    Fail("cannot write " + path);
  }
}

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes ViewerProbeBuffer(const Bytes& content) {
  Bytes buffer(content.begin(),
               content.begin() + static_cast<ptrdiff_t>(
                                     std::min(content.size(), host_services::kViewerProbeSize)));
  buffer.resize(host_services::kViewerProbeSize, 0);
  return buffer;
}

std::string ScratchDirectory() {
  return std::filesystem::temp_directory_path().u8string();
}

ScratchFile::ScratchFile(const Bytes& content, const std::string& suffix) {
  static std::atomic<unsigned> counter{0};
  path_ = ScratchDirectory() + "/lumivar-test-" + std::to_string(ProcessId()) + "-" +
          std::to_string(++counter) + suffix;
  WriteFileBytes(path_, content);
}

ScratchFile::~ScratchFile() {
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::u8path(path_), ignored);
}

#if defined(_WIN32)

uintptr_t OpenFileHandleWithoutReadAccess(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<uintptr_t>(file);
}
int64_t FilePosition(uintptr_t file) {
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    return -1;
  }
  return position.QuadPart;
}
void SeekFile(uintptr_t file, int64_t position) {
  LARGE_INTEGER distance{};
  distance.QuadPart = position;
  SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, nullptr, FILE_BEGIN);
}

GuardedBytes::GuardedBytes(const Bytes& content) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  const size_t data_pages = (content.size() + page - 1) / page;
  mapping_size_ = (data_pages + 1) * page;
  mapping_ = static_cast<char*>(
      VirtualAlloc(nullptr, mapping_size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (mapping_ == nullptr) {
    Fail("cannot map guarded memory");
  }
  DWORD previous = 0;
  VirtualProtect(mapping_ + data_pages * page, page, PAGE_NOACCESS, &previous);
  char* data = mapping_ + data_pages * page - content.size();
  std::copy(content.begin(), content.end(), data);
  data_ = data;
}
GuardedBytes::~GuardedBytes() {
  VirtualFree(mapping_, 0, MEM_RELEASE);
}

#else

uintptr_t OpenFileHandleWithoutReadAccess(const std::string& path) {
  return host_services::HandleOfDescriptor(open(path.c_str(), O_WRONLY | O_CLOEXEC));
}
int64_t FilePosition(uintptr_t file) {
  return lseek(static_cast<int>(file), 0, SEEK_CUR);
}
void SeekFile(uintptr_t file, int64_t position) {
  lseek(static_cast<int>(file), static_cast<off_t>(position), SEEK_SET);
}

GuardedBytes::GuardedBytes(const Bytes& content) {
  const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t data_pages = (content.size() + page - 1) / page;
  mapping_size_ = (data_pages + 1) * page;
  void* mapping =
      mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    Fail("cannot map guarded memory");
  }
  mapping_ = static_cast<char*>(mapping);
  mprotect(mapping_ + data_pages * page, page, PROT_NONE);
  char* data = mapping_ + data_pages * page - content.size();
  std::copy(content.begin(), content.end(), data);
  data_ = data;
}
GuardedBytes::~GuardedBytes() {
  munmap(mapping_, mapping_size_);
}

#endif

}  // namespace test_files
