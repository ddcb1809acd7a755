// What the entry-point tests need of a host: the module loaded at run time as a viewer loads it,
// the host's own file handles, the release of handed-over blocks, and scratch files and memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "interface/input_plugin.h"

namespace plugin_host {

struct PluginModule {
  GetPluginInfoFunction GetPluginInfo;
  IsSupportedFunction IsSupported;
  GetPictureInfoFunction GetPictureInfo;
  GetPictureFunction GetPicture;
  GetPreviewFunction GetPreview;
};

// The module under test, loaded once per process (dlopen or LoadLibraryA). Aborts if it cannot.
const PluginModule& Module();

// A file of the host's, opened for reading, as IsSupported receives it; invalid is 0.
uintptr_t OpenHostFile(const std::string& path);
uintptr_t OpenHostFileWithoutReadAccess(const std::string& path);
void CloseHostFile(uintptr_t file);
int64_t HostFilePosition(uintptr_t file);  // -1 when the handle is not open
void SeekHostFile(uintptr_t file, int64_t position);

// Releases a block handed over by GetPicture as the host must: LocalFree or free().
void ReleaseBlock(void* block);

// A file with the given content in a scratch directory, removed when this goes.
class ScratchFile {
 public:
  explicit ScratchFile(const std::vector<uint8_t>& content);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

std::string ScratchDirectory();

// Bytes placed at the very end of readable memory: any read past them faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(const std::vector<uint8_t>& content);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  const char* data() const { return data_; }

 private:
  char* mapping_;
  size_t mapping_size_;
  const char* data_;
};

}  // namespace plugin_host
