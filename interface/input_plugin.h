// The binary interface between an image viewer and an input plug-in module ("00IN"): the record
// the host passes in, and the five entry points with their Unicode twins as function-pointer
// types for a host that loads a module at run time. Shared by the module, the host tool and the
// tests; it declares no code.
//
// Sizes: number, flag and buffer length are 32-bit; source, offset and callback data are
// pointer-sized; results are 32-bit signed. On 32-bit Windows every entry point is __stdcall.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define PLUGIN_CALL __stdcall
#else
#define PLUGIN_CALL
#endif

// Results shared by the entry points.
inline constexpr int32_t kPluginSuccess = 0;
inline constexpr int32_t kPluginFailure = 1;
inline constexpr int32_t kPluginNotProvided = -1;  // GetPreview: the module offers no previews

// IsSupported takes a source up to this value as an open file handle, anything above as an address.
inline constexpr uintptr_t kLargestHandleSource = 0xFFFF;
// The bytes IsSupported reads from the start of the handle's file or from the address.
inline constexpr size_t kProbeHeadSize = 15;

// The low three bits of the flag argument: 0 means the source is a file name, anything else that
// it is the address of the file's bytes in memory.
inline constexpr uint32_t kInputModeMask = 7;
inline constexpr uint32_t kInputModeFile = 0;

// The UTF-16 code unit of the Unicode entry points' file names and buffers: Windows' WCHAR.
#if defined(_WIN32)
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif
static_assert(sizeof(WideChar) == 2);

// 64-bit hosts place the record's handle on an 8-byte boundary, after two alignment bytes.
#if UINTPTR_MAX > 0xFFFFFFFF
#define PICTURE_INFO_RECORD_ALIGNS_HANDLE 1
#else
#define PICTURE_INFO_RECORD_ALIGNS_HANDLE 0
#endif

#pragma pack(push, 1)
// Filled by GetPictureInfo. Byte-packed: 26 bytes on 32-bit builds with the handle at 22; 32 bytes
// on 64-bit builds, with two alignment bytes at 22 and the handle at 24.
struct PictureInfoRecord {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t horizontal_density;  // dots per inch
  uint16_t vertical_density;
  int16_t colour_depth;  // bits per pixel
#if PICTURE_INFO_RECORD_ALIGNS_HANDLE
  uint16_t alignment;  // written as zero, so that every byte of the record is defined
#endif
  void* additional_info;  // handle of an extra information block; this module gives none
};
#pragma pack(pop)
static_assert(offsetof(PictureInfoRecord, colour_depth) == 20);
static_assert(offsetof(PictureInfoRecord, additional_info) == (sizeof(void*) == 8 ? 24 : 22));
static_assert(sizeof(PictureInfoRecord) == (sizeof(void*) == 8 ? 32 : 26));

// The host's progress callback. Modules may call it; this one never does.
using ProgressCallback = int32_t(PLUGIN_CALL*)(int32_t done, int32_t total, intptr_t user_data);

// Copies information string `number` into buffer and returns its length, or 0 past the last one.
using GetPluginInfoFunction = int32_t(PLUGIN_CALL*)(int32_t number, char* buffer, int32_t length);

// 1 when the module serves the file. source is an open file handle when it is at most 0xFFFF,
// otherwise the address of the file's first bytes in memory, at least 15 of them readable.
using IsSupportedFunction = int32_t(PLUGIN_CALL*)(const char* name, uintptr_t source);

// Fills record with the picture's size and depth. source is a file name (input mode 0) or the
// file's bytes in memory, in which case offset is the length of that memory.
using GetPictureInfoFunction = int32_t(PLUGIN_CALL*)(const char* source, intptr_t offset,
                                                     uint32_t flag, PictureInfoRecord* record);

// Loads a picture and hands the host two blocks it then owns: a BITMAPINFOHEADER (info) and the
// bottom-up pixel rows. Windows hosts release them with LocalFree, POSIX hosts with free().
using GetPictureFunction = int32_t(PLUGIN_CALL*)(const char* source, intptr_t offset, uint32_t flag,
                                                 void** info_handle, void** pixel_handle,
                                                 ProgressCallback progress, intptr_t user_data);

// Same arguments as GetPicture, for a preview-sized picture.
using GetPreviewFunction = GetPictureFunction;

// The Unicode twins: the same arguments and results, except that file names and the information
// buffer are NUL-terminated UTF-16 and buffer lengths count WideChar units. In memory mode the
// source is still the file's bytes.
using GetPluginInfoWFunction = int32_t(PLUGIN_CALL*)(int32_t number, WideChar* buffer,
                                                     int32_t length);
using IsSupportedWFunction = int32_t(PLUGIN_CALL*)(const WideChar* name, uintptr_t source);
using GetPictureInfoWFunction = int32_t(PLUGIN_CALL*)(const WideChar* source, intptr_t offset,
                                                      uint32_t flag, PictureInfoRecord* record);
using GetPictureWFunction = int32_t(PLUGIN_CALL*)(const WideChar* source, intptr_t offset,
                                                  uint32_t flag, void** info_handle,
                                                  void** pixel_handle, ProgressCallback progress,
                                                  intptr_t user_data);
using GetPreviewWFunction = GetPictureWFunction;
