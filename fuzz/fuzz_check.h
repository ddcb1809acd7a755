// What the fuzz targets share: a check that aborts (so libFuzzer reports the input), the input as
// a file the module can open by name, and a way to see that no descriptor was left open.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

namespace fuzz_check {

// The input in an anonymous in-memory file, reachable by name through /proc/self/fd.
class InputFile {
 public:
  InputFile(const uint8_t* data, size_t size)
      : descriptor_(memfd_create("fuzz-input", MFD_CLOEXEC)) {
    FUZZ_CHECK(descriptor_ >= 0);
    FUZZ_CHECK(write(descriptor_, data, size) == static_cast<ssize_t>(size));
    lseek(descriptor_, 0, SEEK_SET);
    name_ = "/proc/self/fd/" + std::to_string(descriptor_);
  }
  ~InputFile() { close(descriptor_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const char* name() const { return name_.c_str(); }
  int descriptor() const { return descriptor_; }

 private:
  int descriptor_;
  std::string name_;
};

// The descriptor the next open would get. A module that leaves a file open changes it.
inline int LowestFreeDescriptor() {
  const int probe = open("/dev/null", O_RDONLY | O_CLOEXEC);
  close(probe);
  return probe;
}

}  // namespace fuzz_check
