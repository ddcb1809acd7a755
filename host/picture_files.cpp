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

namespace spihost {
namespace {

using dib::kInfoHeaderSize;
constexpr size_t kFileHeaderSize = 14;

size_t PixelBytes(const PictureView& picture) {
  return picture.row_stride * static_cast<size_t>(picture.height);
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
