#include "plugin/posix_services.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

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

// The descriptor a handle holds; -1 (no descriptor) for the null handle, which is never a file.
int DescriptorOf(HANDLE file) {
  const auto descriptor = static_cast<int>(reinterpret_cast<intptr_t>(file));
  return descriptor == 0 ? -1 : descriptor;
}

// Moves a file that open() gave descriptor 0 (the host had closed its standard input) to another
// descriptor, so that no handle is ever null.
int AwayFromZero(int descriptor) {
  if (descriptor != 0) {
    return descriptor;
  }
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 1);
  close(descriptor);
  return moved;
}

// Appends the UTF-8 spelling of one code point.
void AppendUtf8(char32_t code_point, std::string& utf8) {
  if (code_point < 0x80) {
    utf8 += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    utf8 += static_cast<char>(0xC0 | code_point >> 6);
    utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    utf8 += static_cast<char>(0xE0 | code_point >> 12);
    utf8 += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    utf8 += static_cast<char>(0xF0 | code_point >> 18);
    utf8 += static_cast<char>(0x80 | (code_point >> 12 & 0x3F));
    utf8 += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    utf8 += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// The UTF-8 spelling of a NUL-terminated UTF-16 name; false for an unpaired surrogate.
bool Utf16ToUtf8(LPCWSTR name, std::string& utf8) {
  for (; *name != 0; ++name) {
    char32_t unit = *name;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const char32_t low = name[1];
      if (low < 0xDC00 || low > 0xDFFF) {
        return false;
      }
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      ++name;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
    AppendUtf8(unit, utf8);
  }
  return true;
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
  const int descriptor = AwayFromZero(open(name, O_RDONLY | O_CLOEXEC));
  if (descriptor < 0) {
    return INVALID_HANDLE_VALUE;
  }
  if ((flags & FILE_FLAG_SEQUENTIAL_SCAN) != 0) {
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint: failure changes nothing
  }
  return HandleOf(descriptor);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share_mode, void* security_attributes,
                   DWORD creation_disposition, DWORD flags, HANDLE template_file) {
  std::string utf8;
  if (name == nullptr || !Utf16ToUtf8(name, utf8)) {
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(utf8.c_str(), access, share_mode, security_attributes, creation_disposition,
                     flags, template_file);
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
