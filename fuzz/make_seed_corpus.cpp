// Writes the fuzz targets' seed corpus into a directory: PAC pictures of small sizes, whole and
// cut short at every interesting place, with hostile dimensions, and files too short to hold them.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/pac_writer.h"

namespace {

void Write(const std::string& directory, const std::string& name,
           const std::vector<uint8_t>& bytes) {
  std::ofstream(directory + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> WithDimensions(std::vector<uint8_t> file, uint32_t width, uint32_t height) {
  pac_writer::PutLittleEndian(file, 26, width, 4);
  pac_writer::PutLittleEndian(file, 30, height, 4);
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seed_corpus DIRECTORY\n");
    return 2;
  }
  const std::string directory = argv[1];
  for (int32_t width = 0; width <= 5; ++width) {
    for (int32_t height = 0; height <= 3; ++height) {
      const std::vector<uint8_t> whole = pac_writer::EncodePatternedPac(width, height);
      const std::string name = "pac-" + std::to_string(width) + "x" + std::to_string(height);
      Write(directory, name, whole);
      if (whole.size() > 63) {
        Write(directory, name + "-short", std::vector<uint8_t>(whole.begin(), whole.end() - 5));
      }
    }
  }
  const std::vector<uint8_t> base = pac_writer::EncodePatternedPac(4, 4);
  for (size_t length : {0, 9, 10, 15, 33, 34, 47, 48, 61, 62}) {
    Write(directory, "prefix-" + std::to_string(length),
          std::vector<uint8_t>(base.begin(), base.begin() + static_cast<ptrdiff_t>(length)));
  }
  const struct {
    const char* name;
    uint32_t width, height;
  } hostile[] = {{"negative-width", 0xFFFFFFFF, 4},   {"negative-height", 4, 0xFFFFFFFC},
                 {"int-min", 0x80000000, 0x80000000}, {"row-overflow", 715827882, 1},
                 {"area-overflow", 65536, 65536},     {"zero-width-tall", 0, 0x7FFFFFFF}};
  for (const auto& h : hostile) {
    Write(directory, h.name, WithDimensions(base, h.width, h.height));
  }
  std::vector<uint8_t> bitmap(base.begin() + 8, base.end());  // a plain bitmap file
  Write(directory, "plain-bitmap", bitmap);
  return 0;
}
