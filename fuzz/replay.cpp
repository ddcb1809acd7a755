// Feeds every file in the folders given to a fuzz target's entry function, so that its committed
// regression inputs run as an ordinary test, with or without a fuzzing compiler.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "testing/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      if (entry.is_regular_file()) {
        // Like libFuzzer, hand over a valid address even for an empty input.
        std::vector<uint8_t> input = test_files::ReadFileBytes(entry.path().string());
        input.reserve(1);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++replayed;
      }
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
