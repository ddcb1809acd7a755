#include "host/picture_files.h"

#include <fstream>
#include <system_error>

#include "loader/dib.h"
#include "loader/little_endian.h"

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace spihost {
namespace {

using dib::kInfoHeaderSize;
constexpr size_t kFileHeaderSize = 14;

size_t PixelBytes(const PictureView& picture) {
  return picture.row_stride * static_cast<size_t>(picture.height);
}

void AppendToVector(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  const auto* first = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), first, first + size);
}

}  // namespace

HandedOverPicture::HandedOverPicture(void* info, void* pixels, Release release)
    : info_(info), pixels_(pixels), release_(release) {
  const auto* header = static_cast<const uint8_t*>(info);
  const int32_t width = little_endian::LoadSigned32(header + 4);
  const int32_t height = little_endian::LoadSigned32(header + 8);
  const uint32_t bits = little_endian::Load(header + 14, 2);
  valid_ =
      little_endian::Load(header, 4) == kInfoHeaderSize && bits == 24 && width >= 0 && height >= 0;
  if (valid_) {
    const auto row_stride = static_cast<size_t>(dib::RowStride(width));
    view_ = {header, static_cast<const uint8_t*>(pixels), width, height, row_stride};
  }
}

HandedOverPicture::~HandedOverPicture() {
  release_(info_);
  release_(pixels_);
}

std::vector<uint8_t> EncodeBmp(const PictureView& picture, std::string& error) {
  const size_t file_size = kFileHeaderSize + kInfoHeaderSize + PixelBytes(picture);
  if (file_size > UINT32_MAX) {
    error = "the picture is too large for a BMP file";
    return {};
  }
  std::vector<uint8_t> file(kFileHeaderSize, 0);
  file[0] = 'B';
  file[1] = 'M';
  little_endian::Store(static_cast<uint32_t>(file_size), 4, file.data() + 2);
  little_endian::Store(kFileHeaderSize + kInfoHeaderSize, 4, file.data() + 10);  // pixels start
  file.reserve(file_size);
  file.insert(file.end(), picture.info_header, picture.info_header + kInfoHeaderSize);
  file.insert(file.end(), picture.pixels, picture.pixels + PixelBytes(picture));
  return file;
}

std::vector<uint8_t> EncodePng(const PictureView& picture, std::string& error) {
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
  std::vector<uint8_t> file;
  if (stbi_write_png_to_func(AppendToVector, &file, picture.width, picture.height, 3, rgb.data(),
                             static_cast<int>(rgb_stride)) == 0) {
    error = "the PNG encoder failed";
    return {};
  }
  return file;
}

bool WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                         std::string& error) {
  std::filesystem::path temporary = path;
  temporary += ".partial-" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      error = "cannot be written";
      return false;
    }
  }
  std::error_code rename_error;
  std::filesystem::rename(temporary, path, rename_error);
  if (rename_error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    error = "cannot be replaced: " + rename_error.message();
    return false;
  }
  return true;
}

}  // namespace spihost
