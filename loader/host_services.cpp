#include "loader/host_services.h"

#if defined(_WIN32)
#include <windows.h>

#include "loader/utf16.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace host_services {

#if defined(_WIN32)
uintptr_t OpenFileHandle(const std::string& path) {
  const HANDLE file = CreateFileW(utf16::FromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<uintptr_t>(file);
}
void CloseFileHandle(uintptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}
void ReleaseBlock(void* block) {
  LocalFree(block);
}
#else
uintptr_t HandleOfDescriptor(int descriptor) {
  if (descriptor == 0) {
    descriptor = fcntl(0, F_DUPFD_CLOEXEC, 1);
    close(0);
  }
  return descriptor < 0 ? 0 : static_cast<uintptr_t>(descriptor);
}
uintptr_t OpenFileHandle(const std::string& path) {
  return HandleOfDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}
void CloseFileHandle(uintptr_t handle) {
  close(static_cast<int>(handle));
}
void ReleaseBlock(void* block) {
  free(block);
}
#endif

}  // namespace host_services
