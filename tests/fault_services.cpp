#include "tests/fault_services.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "plugin/posix_services.h"

namespace fault_services {
namespace {

struct OpenFile {
  const std::vector<uint8_t>* content;
  size_t position;
};

struct State {
  std::map<std::string, std::vector<uint8_t>> files;
  std::map<intptr_t, OpenFile> handles;
  intptr_t next_handle = 3;
  std::set<const void*> blocks;
  std::vector<size_t> requested_sizes;
  int invalid_releases = 0;
  int calls[kServiceCount] = {};
  int fail_at[kServiceCount] = {};
};

State& state() {
  static State instance;
  return instance;
}

// Counts the call and tells whether it is the one planned to fail.
bool CallFails(Service service) {
  State& s = state();
  return ++s.calls[service] == s.fail_at[service];
}

OpenFile* Find(HANDLE file) {
  auto found = state().handles.find(reinterpret_cast<intptr_t>(file));
  return found == state().handles.end() ? nullptr : &found->second;
}

}  // namespace

void Reset() {
  state() = State{};
}

void AddFile(const std::string& name, std::vector<uint8_t> content) {
  state().files[name] = std::move(content);
}

void FailCall(Service service, int call) {
  state().fail_at[service] = state().calls[service] + call;
}

int CallCount(Service service) {
  return state().calls[service];
}
int OpenHandles() {
  return static_cast<int>(state().handles.size());
}
int LiveBlocks() {
  return static_cast<int>(state().blocks.size());
}
bool IsLiveBlock(const void* block) {
  return state().blocks.count(block) != 0;
}
int InvalidReleases() {
  return state().invalid_releases;
}
std::vector<size_t> RequestedBlockSizes() {
  return state().requested_sizes;
}

}  // namespace fault_services

using fault_services::CallFails;
using fault_services::state;

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  if (CallFails(fault_services::kCreateFileA) || name == nullptr) {
    return INVALID_HANDLE_VALUE;
  }
  const auto file = state().files.find(name);
  if (file == state().files.end()) {
    return INVALID_HANDLE_VALUE;
  }
  const intptr_t handle = state().next_handle++;
  state().handles[handle] = {&file->second, 0};
  return reinterpret_cast<HANDLE>(handle);
}

// Names in the double are ASCII: each UTF-16 unit narrows to one byte.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share_mode, void* security_attributes,
                   DWORD creation_disposition, DWORD flags, HANDLE template_file) {
  if (name == nullptr) {
    return CreateFileA(nullptr, access, share_mode, security_attributes, creation_disposition,
                       flags, template_file);
  }
  std::string narrow;
  for (; *name != 0; ++name) {
    narrow += static_cast<char>(*name);
  }
  return CreateFileA(narrow.c_str(), access, share_mode, security_attributes, creation_disposition,
                     flags, template_file);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG*, DWORD) {
  fault_services::OpenFile* open = fault_services::Find(file);
  if (CallFails(fault_services::kSetFilePointer) || open == nullptr || distance < 0) {
    return INVALID_SET_FILE_POINTER;
  }
  open->position = static_cast<size_t>(distance);
  return static_cast<DWORD>(distance);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* delivered, void*) {
  *delivered = 0;
  const bool fails = CallFails(fault_services::kReadFile);
  fault_services::OpenFile* open = fault_services::Find(file);
  if (open == nullptr) {
    return FALSE;
  }
  const std::vector<uint8_t>& content = *open->content;
  const size_t available = open->position < content.size() ? content.size() - open->position : 0;
  const size_t step = std::min<size_t>(count, available);
  std::memcpy(buffer, content.data() + open->position, step);
  open->position += step;
  *delivered = static_cast<DWORD>(step);
  return fails ? FALSE : TRUE;
}

BOOL CloseHandle(HANDLE file) {
  if (state().handles.erase(reinterpret_cast<intptr_t>(file)) == 0) {
    ++state().invalid_releases;
    return FALSE;
  }
  return TRUE;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  state().requested_sizes.push_back(bytes);
  if (CallFails(fault_services::kLocalAlloc) || flags != (LMEM_FIXED | LMEM_ZEROINIT)) {
    return nullptr;
  }
  void* block = calloc(bytes == 0 ? 1 : bytes, 1);
  state().blocks.insert(block);
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  if (state().blocks.erase(block) == 0) {
    ++state().invalid_releases;
    return block;
  }
  free(block);
  return nullptr;
}

LPSTR lstrcpyA(LPSTR destination, LPCSTR source) {
  return strcpy(destination, source);
}
int lstrlenA(LPCSTR text) {
  return static_cast<int>(strlen(text));
}
