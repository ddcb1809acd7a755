// Writes COUNT photo-like PAC pictures of WIDTH × HEIGHT into a folder, for the batch benchmark.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/photo_like.h"
#include "testing/files.h"
#include "testing/pac_writer.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: make_batch_pictures FOLDER COUNT WIDTH HEIGHT\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int count = std::atoi(argv[2]);
  const int32_t width = std::atoi(argv[3]);
  const int32_t height = std::atoi(argv[4]);
  const auto stride = static_cast<size_t>(oracle::RowStride(width));
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/picture-%03d.pac", i);
    const auto seed = static_cast<uint32_t>(i);
    test_files::WriteFileBytes(
        folder + name,
        pac_writer::EncodePac(width, height, photo_like::Pixels(width, height, stride, seed)));
  }
  return 0;
}
