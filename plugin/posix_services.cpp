#include "plugin/posix_services.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Large blocks are asked to be backed by 2 MiB pages. A whole pixel area read into 4 KiB pages
// costs a page fault every 4 KiB, far more than copying the bytes; with huge pages one read costs
// little more than the copy. The advice covers the 2 MiB-aligned interior of the block, before
// anything touches it; free() releases the block as usual.
constexpr size_t kHugePageSize = size_t{2} << 20;
constexpr size_t kHugePageAdviceMinimum = 4 * kHugePageSize;

void AdviseHugePages(void* block, size_t bytes) {
  const auto first = reinterpret_cast<uintptr_t>(block);
  const uintptr_t start = (first + kHugePageSize - 1) & ~(kHugePageSize - 1);
  const uintptr_t end = (first + bytes) & ~(kHugePageSize - 1);
  if (end > start) {
    madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);  // a hint: may fail
  }
}

int DescriptorOf(HANDLE file) {
  return static_cast<int>(reinterpret_cast<intptr_t>(file));
}

HANDLE HandleOf(int descriptor) {
  return reinterpret_cast<HANDLE>(intptr_t{descriptor});
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD /*share_mode*/, void* /*security_attributes*/,
                   DWORD creation_disposition, DWORD flags, HANDLE /*template_file*/) {
  if (name == nullptr || access != GENERIC_READ || creation_disposition != OPEN_EXISTING) {
    return INVALID_HANDLE_VALUE;
  }
  const int descriptor = open(name, O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    return INVALID_HANDLE_VALUE;
  }
  if ((flags & FILE_FLAG_SEQUENTIAL_SCAN) != 0) {
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint: failure changes nothing
  }
  return HandleOf(descriptor);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD move_method) {
  if (move_method != FILE_BEGIN) {
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the distance is a signed 32-bit value; with one, the two form 64 bits.
  const int64_t offset = distance_high == nullptr
                             ? int64_t{distance}
                             : static_cast<int64_t>(static_cast<uint64_t>(*distance_high) << 32 |
                                                    static_cast<uint32_t>(distance));
  const off_t position = lseek(DescriptorOf(file), static_cast<off_t>(offset), SEEK_SET);
  if (position < 0) {
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high != nullptr) {
    *distance_high = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
  }
  return static_cast<DWORD>(position);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* delivered, void* /*overlapped*/) {
  auto* destination = static_cast<unsigned char*>(buffer);
  DWORD total = 0;
  BOOL result = TRUE;
  while (total < count) {
    const ssize_t step = read(DescriptorOf(file), destination + total, count - total);
    if (step < 0 && errno == EINTR) {
      continue;
    }
    if (step < 0) {
      result = FALSE;
      break;
    }
    if (step == 0) {
      break;  // end of file
    }
    total += static_cast<DWORD>(step);
  }
  if (delivered != nullptr) {
    *delivered = total;
  }
  return result;
}

BOOL CloseHandle(HANDLE file) {
  return close(DescriptorOf(file)) == 0 ? TRUE : FALSE;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (flags != (LMEM_FIXED | LMEM_ZEROINIT)) {
    return nullptr;
  }
  void* block = calloc(bytes == 0 ? 1 : bytes, 1);
  if (block != nullptr && bytes >= kHugePageAdviceMinimum) {
    AdviseHugePages(block, bytes);
  }
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  free(block);
  return nullptr;
}

LPSTR lstrcpyA(LPSTR destination, LPCSTR source) {
  return strcpy(destination, source);
}

int lstrlenA(LPCSTR text) {
  return text == nullptr ? 0 : static_cast<int>(strlen(text));
}
