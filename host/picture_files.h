// The pictures spihost receives from a module, and the files it writes of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace spihost {

// A bottom-up 24-bit bitmap as a module hands it over: its 40-byte info header and its rows.
struct PictureView {
  const uint8_t* info_header;
  const uint8_t* pixels;  // bottom row first, rows of row_stride bytes
  int32_t width;
  int32_t height;
  size_t row_stride;
};

// Owns the two blocks of a successful GetPicture and releases them when it goes.
class HandedOverPicture {
 public:
  using Release = void (*)(void*);
  HandedOverPicture(void* info, void* pixels, Release release);
  ~HandedOverPicture();
  HandedOverPicture(const HandedOverPicture&) = delete;
  HandedOverPicture& operator=(const HandedOverPicture&) = delete;

  // False when the info header describes anything but a bottom-up 24-bit picture.
  bool valid() const { return valid_; }
  const PictureView& view() const { return view_; }

 private:
  void* info_;
  void* pixels_;
  Release release_;
  bool valid_ = false;
  PictureView view_{};
};

// A standard bottom-up 24-bit BMP file: file header, the module's info header, the rows.
std::vector<uint8_t> EncodeBmp(const PictureView& picture, std::string& error);

// zlib's compression levels for PNG files: 0 stores, 9 compresses hardest. The default gives
// files about a third smaller than a fast general-purpose encoder, in less time.
inline constexpr int kLowestPngLevel = 0;
inline constexpr int kHighestPngLevel = 9;
inline constexpr int kDefaultPngLevel = 2;

// A PNG file of 8-bit RGB pixels, top row first, compressed at level. Empty on failure, with
// error set.
std::vector<uint8_t> EncodePng(const PictureView& picture, int level, std::string& error);

// Writes bytes to a temporary file beside path and renames it over path, so that path is
// replaced by a complete file or not at all.
bool WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                         std::string& error);

}  // namespace spihost
