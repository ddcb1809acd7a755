// A double of the module's services layer for tests that link the entry points directly: files
// live in memory, every handle and block is counted, and any call of a service can be made to fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fault_services {

enum Service { kCreateFileA, kSetFilePointer, kReadFile, kLocalAlloc, kServiceCount };

// Forgets all files, handles, blocks, counts and planned failures.
void Reset();

// A file that CreateFileA opens by this name.
void AddFile(const std::string& name, std::vector<uint8_t> content);

// Makes the call-th call of service from now on fail (1 is the next one). A failing ReadFile
// still reads and reports the bytes as delivered, as a read that breaks off part way may: a
// caller must not decide on them.
void FailCall(Service service, int call);

int CallCount(Service service);
int OpenHandles();
int LiveBlocks();
bool IsLiveBlock(const void* block);
int InvalidReleases();  // frees of blocks that are not live, closes of handles that are not open
std::vector<size_t> RequestedBlockSizes();

}  // namespace fault_services
