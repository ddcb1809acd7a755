// What a host provides around a module's calls: its own open file handles, which IsSupported
// reads, and the release of the blocks GetPicture hands over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace host_services {

// What today's viewers hand IsSupported in memory: the file's first 2 KiB, zero-filled past the
// end of a shorter file.
inline constexpr size_t kViewerProbeSize = 2048;

// A file, named in UTF-8, opened for reading as a host opens it for IsSupported; 0 when it cannot
// be opened.
uintptr_t OpenFileHandle(const std::string& path);
void CloseFileHandle(uintptr_t handle);

#if !defined(_WIN32)
// A file descriptor as a host's handle; 0 (none) for a negative one. A host started without
// standard input gets descriptor 0 from its first open(): that file is moved to another
// descriptor, since a handle of 0 means none.
uintptr_t HandleOfDescriptor(int descriptor);
#endif

// Releases a block that GetPicture handed over: LocalFree on Windows, free() on POSIX.
void ReleaseBlock(void* block);

}  // namespace host_services
