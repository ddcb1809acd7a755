// Files and memory as tests hand them to a module: scratch files, the host's own handles, and
// bytes placed right before memory that cannot be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test_files {

using Bytes = std::vector<uint8_t>;

// Writes bytes to path, replacing what it held; aborts when it cannot.
void WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);

// Paths are UTF-8.
std::string ScratchDirectory();

// A file with the given content in the scratch directory, removed when this goes. Its name ends
// in the given suffix.
class ScratchFile {
 public:
  explicit ScratchFile(const Bytes& content, const std::string& suffix = ".pac");
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// The host's handles beyond host_services: one without read access, and its position.
uintptr_t OpenFileHandleWithoutReadAccess(const std::string& path);
int64_t FilePosition(uintptr_t file);  // -1 when the handle is not open
void SeekFile(uintptr_t file, int64_t position);

// The buffer today's viewers hand IsSupported for a file of this content: its first
// host_services::kViewerProbeSize bytes, zero-filled past its end.
Bytes ViewerProbeBuffer(const Bytes& content);

// Bytes placed at the very end of readable memory: any read past them faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(const Bytes& content);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  const char* data() const { return data_; }

 private:
  char* mapping_;
  size_t mapping_size_;
  const char* data_;
};

}  // namespace test_files
