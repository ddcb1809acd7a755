// Writes the fuzz targets' seed corpus into a directory: PAC pictures of small sizes, whole and
// cut short, with hostile dimensions, and files too short to hold them.
#include <cstdio>
#include <string>

#include "testing/files.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seed_corpus DIRECTORY\n");
    return 2;
  }
  const std::string directory = std::string(argv[1]) + "/";
  for (int32_t width = 0; width <= 5; ++width) {
    for (int32_t height = 0; height <= 3; ++height) {
      const pac_writer::Bytes whole = pac_writer::EncodePatternedPac(width, height);
      const std::string name = "pac-" + std::to_string(width) + "x" + std::to_string(height);
      test_files::WriteFileBytes(directory + name, whole);
      if (whole.size() > oracle::kPixelAreaOffset + 1) {
        test_files::WriteFileBytes(directory + name + "-short",
                                   pac_writer::Prefix(whole, whole.size() - 5));
      }
    }
  }
  const pac_writer::Bytes base = pac_writer::EncodePatternedPac(4, 4);
  for (size_t length : {0, 9, 10, 15, 33, 34, 47, 48, 61, 62}) {
    test_files::WriteFileBytes(directory + "prefix-" + std::to_string(length),
                               pac_writer::Prefix(base, length));
  }
  int index = 0;
  for (const oracle::HostileDimensions& hostile : oracle::kHostileDimensions) {
    test_files::WriteFileBytes(directory + "hostile-" + std::to_string(index++),
                               pac_writer::WithDimensions(base, hostile.width, hostile.height));
  }
  test_files::WriteFileBytes(directory + "zero-width-tall",
                             pac_writer::WithDimensions(base, 0, 0x7FFFFFFF));
  // A plain bitmap file: the PAC file without its prefix.
  test_files::WriteFileBytes(directory + "plain-bitmap",
                             pac_writer::Bytes(base.begin() + oracle::kPrefixSize, base.end()));
  return 0;
}
