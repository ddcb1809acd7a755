// What the entry-point tests need of a host: the module loaded at run time as a viewer loads it,
// the host's own file handles, and scratch files and memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin_module.h"

namespace plugin_host {

// The module under test, built beside the test program and loaded once per process as a host
// loads it. Aborts if it cannot be.
const spihost::PluginModule& Module();

// Files of the host's, as IsSupported receives them (invalid is 0), and blocks handed over.
using spihost::CloseFileHandle;
using spihost::OpenFileHandle;
using spihost::ReleaseBlock;
uintptr_t OpenFileHandleWithoutReadAccess(const std::string& path);
int64_t FilePosition(uintptr_t file);  // -1 when the handle is not open
void SeekFile(uintptr_t file, int64_t position);

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
