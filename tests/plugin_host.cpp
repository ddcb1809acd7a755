#include "plugin_host.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace plugin_host {
namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "plugin host: %s (%s)\n", what, PLUGIN_MODULE_PATH);
  std::abort();
}

#if defined(_WIN32)
using Library = HMODULE;
Library OpenLibrary() {
  return LoadLibraryA(PLUGIN_MODULE_PATH);
}
void* Symbol(Library library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}
unsigned long ProcessId() {
  return GetCurrentProcessId();
}
#else
using Library = void*;
Library OpenLibrary() {
  return dlopen(PLUGIN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
}
void* Symbol(Library library, const char* name) {
  return dlsym(library, name);
}
unsigned long ProcessId() {
  return static_cast<unsigned long>(getpid());
}
#endif

template <typename Function>
Function Resolve(Library library, const char* name) {
  void* address = Symbol(library, name);
  if (address == nullptr) {
    Fail(name);
  }
  return reinterpret_cast<Function>(address);
}

PluginModule LoadModule() {
  const Library library = OpenLibrary();
  if (library == nullptr) {
    Fail("cannot load the module");
  }
  return {Resolve<GetPluginInfoFunction>(library, "GetPluginInfo"),
          Resolve<IsSupportedFunction>(library, "IsSupported"),
          Resolve<GetPictureInfoFunction>(library, "GetPictureInfo"),
          Resolve<GetPictureFunction>(library, "GetPicture"),
          Resolve<GetPreviewFunction>(library, "GetPreview")};
}

}  // namespace

const PluginModule& Module() {
  static const PluginModule module = LoadModule();
  return module;
}

#if defined(_WIN32)

namespace {
uintptr_t OpenWithAccess(const std::string& path, DWORD access) {
  const HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<uintptr_t>(file);
}
}  // namespace

uintptr_t OpenHostFile(const std::string& path) {
  return OpenWithAccess(path, GENERIC_READ);
}
uintptr_t OpenHostFileWithoutReadAccess(const std::string& path) {
  return OpenWithAccess(path, GENERIC_WRITE);
}
void CloseHostFile(uintptr_t file) {
  CloseHandle(reinterpret_cast<HANDLE>(file));
}
int64_t HostFilePosition(uintptr_t file) {
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), LARGE_INTEGER{}, &position, FILE_CURRENT)) {
    return -1;
  }
  return position.QuadPart;
}
void SeekHostFile(uintptr_t file, int64_t position) {
  LARGE_INTEGER distance{};
  distance.QuadPart = position;
  SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, nullptr, FILE_BEGIN);
}
void ReleaseBlock(void* block) {
  LocalFree(block);
}

GuardedBytes::GuardedBytes(const std::vector<uint8_t>& content) {
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
  std::memcpy(data, content.data(), content.size());
  data_ = data;
}
GuardedBytes::~GuardedBytes() {
  VirtualFree(mapping_, 0, MEM_RELEASE);
}

#else

uintptr_t OpenHostFile(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return descriptor < 0 ? 0 : static_cast<uintptr_t>(descriptor);
}
uintptr_t OpenHostFileWithoutReadAccess(const std::string& path) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  return descriptor < 0 ? 0 : static_cast<uintptr_t>(descriptor);
}
void CloseHostFile(uintptr_t file) {
  close(static_cast<int>(file));
}
int64_t HostFilePosition(uintptr_t file) {
  return lseek(static_cast<int>(file), 0, SEEK_CUR);
}
void SeekHostFile(uintptr_t file, int64_t position) {
  lseek(static_cast<int>(file), static_cast<off_t>(position), SEEK_SET);
}
void ReleaseBlock(void* block) {
  free(block);
}

GuardedBytes::GuardedBytes(const std::vector<uint8_t>& content) {
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
  std::memcpy(data, content.data(), content.size());
  data_ = data;
}
GuardedBytes::~GuardedBytes() {
  munmap(mapping_, mapping_size_);
}

#endif

std::string ScratchDirectory() {
  return std::filesystem::temp_directory_path().string();
}

ScratchFile::ScratchFile(const std::vector<uint8_t>& content) {
  static std::atomic<unsigned> counter{0};
  path_ = (std::filesystem::temp_directory_path() / ("lumivar-test-" + std::to_string(ProcessId()) +
                                                     "-" + std::to_string(++counter) + ".pac"))
              .string();
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
  if (!out) {
    Fail("cannot write a scratch file");
  }
}

ScratchFile::~ScratchFile() {
  std::remove(path_.c_str());
}

}  // namespace plugin_host
