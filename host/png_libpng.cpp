// PNG files through libpng. The picture's bottom-up BGR rows are handed over as they lie: libpng
// takes them top row first through row pointers and swaps blue and red itself.
#include <png.h>

#include <csetjmp>
#include <vector>

#include "host/picture_files.h"

namespace spihost {
namespace {

void Append(png_structp png, png_bytep data, png_size_t size) {
  auto* file = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  file->insert(file->end(), data, data + size);
}

void Flush(png_structp) {}

// libpng reports errors by long jump; nothing between the jump and its target has a destructor
// to run, since the vectors live in the caller.
bool Write(png_structp png, png_infop info, const PictureView& picture, int level,
           std::vector<png_bytep>& rows, std::vector<uint8_t>& file) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_set_write_fn(png, &file, Append, Flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
               static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, level);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  return true;
}

}  // namespace

std::vector<uint8_t> EncodePng(const PictureView& picture, int level, std::string& error) {
  if (picture.width == 0 || picture.height == 0) {
    error = "a PNG file cannot hold an empty picture";
    return {};
  }
  std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
  for (size_t y = 0; y < rows.size(); ++y) {
    rows[y] = const_cast<png_bytep>(picture.pixels + (rows.size() - 1 - y) * picture.row_stride);
  }
  std::vector<uint8_t> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  const bool written = info != nullptr && Write(png, info, picture, level, rows, file);
  png_destroy_write_struct(&png, &info);
  if (!written) {
    error = "the PNG encoder failed";
    return {};
  }
  return file;
}

}  // namespace spihost
