// PNG files through stb_image_write, for builds without libpng: Debian ships none for MinGW.
#include <mutex>
#include <vector>

#include "host/picture_files.h"

#include "host/stb_image_write_implementation.h"

namespace spihost {
namespace {

void AppendToVector(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  const auto* first = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), first, first + size);
}

}  // namespace

std::vector<uint8_t> EncodePng(const PictureView& picture, int level, std::string& error) {
  if (picture.width == 0 || picture.height == 0) {
    error = "a PNG file cannot hold an empty picture";
    return {};
  }
  // Bottom-up BGR rows become top-down RGB rows.
  const size_t rgb_stride = 3 * static_cast<size_t>(picture.width);
  std::vector<uint8_t> rgb(rgb_stride * static_cast<size_t>(picture.height));
  for (size_t y = 0; y < static_cast<size_t>(picture.height); ++y) {
    const uint8_t* source =
        picture.pixels + (static_cast<size_t>(picture.height) - 1 - y) * picture.row_stride;
    uint8_t* destination = rgb.data() + y * rgb_stride;
    for (size_t x = 0; x < static_cast<size_t>(picture.width); ++x) {
      destination[3 * x + 0] = source[3 * x + 2];
      destination[3 * x + 1] = source[3 * x + 1];
      destination[3 * x + 2] = source[3 * x + 0];
    }
  }
  // stb's level is one global for the whole process: the first call sets it, and a run uses one
  // level throughout.
  static std::once_flag level_set;
  std::call_once(level_set, [level] { stbi_write_png_compression_level = level; });
  if (level != stbi_write_png_compression_level) {
    error = "this PNG encoder takes one compression level per run";
    return {};
  }
  std::vector<uint8_t> file;
  if (stbi_write_png_to_func(AppendToVector, &file, picture.width, picture.height, 3, rgb.data(),
                             static_cast<int>(rgb_stride)) == 0) {
    error = "the PNG encoder failed";
    return {};
  }
  return file;
}

}  // namespace spihost
