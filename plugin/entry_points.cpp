// The entry points of the module. Each one owns what it opens and allocates and releases it
// before returning, except the two blocks GetPicture hands to the host on success. The ANSI entry
// points and their Unicode twins share one implementation, which differs only in how the named
// file is opened.
#include "plugin/entry_points.h"

#include <cstring>
#include <iterator>
#include <optional>
#include <type_traits>

#include "format/pac_format.h"
#include "plugin/windows_services.h"

namespace {

constexpr const char* kPluginInfo[] = {
    "00IN",                              // interface version: an input plug-in
    "PAC to DIB filter v1.0 by Quorel",  // description
    "*.PAC",                             // file-name filter of the format served
    "PAC",                               // name of that format
};

constexpr UINT kBlockFlags = LMEM_FIXED | LMEM_ZEROINIT;  // a handle that is the block's address
constexpr uint16_t kDotsPerInch = 72;

HANDLE OpenPacFile(const char* name) {
  return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

HANDLE OpenPacFile(const WideChar* name) {
  return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Copies information string `number` as characters of the buffer's kind: the strings are ASCII,
// so each byte widens to one UTF-16 unit. A buffer too small gets as much as fits before a NUL.
template <typename Char>
int32_t CopyPluginInfo(int32_t number, Char* buffer, int32_t length) {
  const auto index = static_cast<uint32_t>(number);
  if (index >= std::size(kPluginInfo) || length <= 0) {
    return 0;
  }
  const char* text = kPluginInfo[index];
  const int32_t text_length = lstrlenA(text);
  const int32_t copied = text_length < length ? text_length : length - 1;
  for (int32_t i = 0; i < copied; ++i) {
    buffer[i] = static_cast<Char>(text[i]);
  }
  buffer[copied] = 0;
  return copied;
}

// Reads the header from the start of the file. Fails when the read fails or delivers too few bytes
// for both dimensions; bytes past the end of a shorter file stay zero.
bool ReadPacHeader(HANDLE file, uint8_t (&header)[pac::kPacHeaderSize]) {
  DWORD delivered = 0;
  return ReadFile(file, header, sizeof header, &delivered, nullptr) &&
         delivered >= pac::kDimensionsEnd;
}

// Reads the probe head from the start of the host's file and leaves the handle open. Bytes that a
// failed or short read did not deliver are zero, so they cannot make the signature.
void ReadProbeHead(HANDLE file, uint8_t (&head)[kProbeHeadSize]) {
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  DWORD delivered = 0;
  if (!ReadFile(file, head, sizeof head, &delivered, nullptr) || delivered > sizeof head) {
    delivered = 0;
  }
  std::memset(head + delivered, 0, sizeof head - delivered);
}

// A source of 0 is no handle: nothing is read from it, so it serves nothing.
int32_t Probe(uintptr_t source) {
  if (source == 0) {
    return 0;
  }
  uint8_t head[kProbeHeadSize] = {};
  if (source <= kLargestHandleSource) {
    ReadProbeHead(reinterpret_cast<HANDLE>(source), head);
  } else {
    std::memcpy(head, reinterpret_cast<const void*>(source), sizeof head);
  }
  return pac::IsPacSignature(head, sizeof head) ? 1 : 0;
}

void WriteFixedFields(PictureInfoRecord* record) {
  record->left = 0;
  record->top = 0;
  record->horizontal_density = kDotsPerInch;
  record->vertical_density = kDotsPerInch;
#if PICTURE_INFO_RECORD_ALIGNS_HANDLE
  record->alignment = 0;
#endif
  record->additional_info = nullptr;
}

void WriteDimensions(const uint8_t (&header)[pac::kPacHeaderSize], PictureInfoRecord* record) {
  const pac::PacDimensions dimensions = pac::ReadPacDimensions(header);
  record->width = dimensions.width;
  record->height = dimensions.height;
  record->colour_depth = pac::kBitsPerPixel;
}

// Copies the header from memory; in memory mode the offset argument is the block's length, and
// nothing past it is read.
bool CopyPacHeader(const void* source, intptr_t length, uint8_t (&header)[pac::kPacHeaderSize]) {
  if (length < static_cast<intptr_t>(pac::kDimensionsEnd)) {
    return false;
  }
  const auto available = static_cast<size_t>(length);
  std::memcpy(header, source, available < sizeof header ? available : sizeof header);
  return true;
}

template <typename Char>
int32_t DescribePicture(const Char* source, intptr_t offset, uint32_t flag,
                        PictureInfoRecord* record) {
  WriteFixedFields(record);
  uint8_t header[pac::kPacHeaderSize] = {};
  if ((flag & kInputModeMask) != kInputModeFile) {
    if (!CopyPacHeader(source, offset, header)) {
      return kPluginFailure;
    }
  } else {
    const HANDLE file = OpenPacFile(source);
    if (file == INVALID_HANDLE_VALUE) {
      return kPluginFailure;
    }
    const bool read = ReadPacHeader(file, header);
    CloseHandle(file);
    if (!read) {
      return kPluginFailure;
    }
  }
  WriteDimensions(header, record);
  return kPluginSuccess;
}

// Takes back a pixel block that the host's variable already holds, so that after a failure the
// variable never refers to a released block.
int32_t WithdrawPixelBlock(void** pixel_handle) {
  LocalFree(*pixel_handle);
  *pixel_handle = nullptr;
  return kPluginFailure;
}

// The pixel area is read straight into the block handed to the host, whose rows are then reversed
// in place: one buffer, one read request. A short pixel area leaves the block's tail zero, which
// the reversal turns into a black band at the bottom of the picture. A file that cannot be
// positioned at the pixel area (a pipe, a device) is refused before anything is allocated: read
// from where it stands, every row would come out shifted.
int32_t LoadPicture(HANDLE file, void** info_handle, void** pixel_handle) {
  uint8_t header[pac::kPacHeaderSize] = {};
  if (!ReadPacHeader(file, header)) {
    return kPluginFailure;
  }
  const pac::PacDimensions dimensions = pac::ReadPacDimensions(header);
  const std::optional<pac::PixelAreaLayout> layout = pac::ComputePixelAreaLayout(dimensions);
  if (!layout ||
      SetFilePointer(file, pac::kPixelAreaOffset, nullptr, FILE_BEGIN) != pac::kPixelAreaOffset) {
    return kPluginFailure;
  }

  auto* pixels = static_cast<uint8_t*>(LocalAlloc(kBlockFlags, layout->size));
  *pixel_handle = pixels;
  if (pixels == nullptr) {
    return kPluginFailure;
  }
  DWORD delivered = 0;
  if (!ReadFile(file, pixels, static_cast<DWORD>(layout->size), &delivered, nullptr)) {
    return WithdrawPixelBlock(pixel_handle);
  }
  pac::ReverseRows(pixels, pixels, dimensions.height, layout->row_stride);

  auto* info = static_cast<uint8_t*>(LocalAlloc(kBlockFlags, pac::kBitmapHeaderSize));
  if (info == nullptr) {
    return WithdrawPixelBlock(pixel_handle);
  }
  pac::BuildBitmapHeader(dimensions.width, dimensions.height, info);
  *info_handle = info;
  return kPluginSuccess;
}

template <typename Char>
int32_t LoadPictureFile(const Char* source, uint32_t flag, void** info_handle,
                        void** pixel_handle) {
  if ((flag & kInputModeMask) != kInputModeFile) {
    return kPluginFailure;  // pictures are loaded from files only
  }
  const HANDLE file = OpenPacFile(source);
  if (file == INVALID_HANDLE_VALUE) {
    return kPluginFailure;
  }
  const int32_t result = LoadPicture(file, info_handle, pixel_handle);
  CloseHandle(file);
  return result;
}

}  // namespace

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
#endif

int32_t PLUGIN_CALL GetPluginInfo(int32_t number, char* buffer, int32_t length) {
  return CopyPluginInfo(number, buffer, length);
}

int32_t PLUGIN_CALL GetPluginInfoW(int32_t number, WideChar* buffer, int32_t length) {
  return CopyPluginInfo(number, buffer, length);
}

int32_t PLUGIN_CALL IsSupported(const char* /*name*/, uintptr_t source) {
  return Probe(source);
}

int32_t PLUGIN_CALL IsSupportedW(const WideChar* /*name*/, uintptr_t source) {
  return Probe(source);
}

int32_t PLUGIN_CALL GetPictureInfo(const char* source, intptr_t offset, uint32_t flag,
                                   PictureInfoRecord* record) {
  return DescribePicture(source, offset, flag, record);
}

int32_t PLUGIN_CALL GetPictureInfoW(const WideChar* source, intptr_t offset, uint32_t flag,
                                    PictureInfoRecord* record) {
  return DescribePicture(source, offset, flag, record);
}

// The offset argument is not consulted: a picture is always read from the file's first byte, and
// no progress is ever reported.
int32_t PLUGIN_CALL GetPicture(const char* source, intptr_t /*offset*/, uint32_t flag,
                               void** info_handle, void** pixel_handle,
                               ProgressCallback /*progress*/, intptr_t /*user_data*/) {
  return LoadPictureFile(source, flag, info_handle, pixel_handle);
}

int32_t PLUGIN_CALL GetPictureW(const WideChar* source, intptr_t /*offset*/, uint32_t flag,
                                void** info_handle, void** pixel_handle,
                                ProgressCallback /*progress*/, intptr_t /*user_data*/) {
  return LoadPictureFile(source, flag, info_handle, pixel_handle);
}

int32_t PLUGIN_CALL GetPreview(const char*, intptr_t, uint32_t, void**, void**, ProgressCallback,
                               intptr_t) {
  return kPluginNotProvided;
}

int32_t PLUGIN_CALL GetPreviewW(const WideChar*, intptr_t, uint32_t, void**, void**,
                                ProgressCallback, intptr_t) {
  return kPluginNotProvided;
}

// The definitions above must match the types hosts call them through.
static_assert(std::is_same_v<decltype(&GetPluginInfo), GetPluginInfoFunction>);
static_assert(std::is_same_v<decltype(&IsSupported), IsSupportedFunction>);
static_assert(std::is_same_v<decltype(&GetPictureInfo), GetPictureInfoFunction>);
static_assert(std::is_same_v<decltype(&GetPicture), GetPictureFunction>);
static_assert(std::is_same_v<decltype(&GetPreview), GetPreviewFunction>);
static_assert(std::is_same_v<decltype(&GetPluginInfoW), GetPluginInfoWFunction>);
static_assert(std::is_same_v<decltype(&IsSupportedW), IsSupportedWFunction>);
static_assert(std::is_same_v<decltype(&GetPictureInfoW), GetPictureInfoWFunction>);
static_assert(std::is_same_v<decltype(&GetPictureW), GetPictureWFunction>);
static_assert(std::is_same_v<decltype(&GetPreviewW), GetPreviewWFunction>);
