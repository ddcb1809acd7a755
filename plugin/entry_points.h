// The module's exported entry points, with the argument and result conventions of
// interface/input_plugin.h. Hosts reach them by name from the loaded module; tests may also link
// them directly. Each Unicode twin (suffix W) behaves exactly as its ANSI entry point, except that
// file names and the information buffer are UTF-16.
#pragma once

#include <cstdint>

#include "interface/input_plugin.h"

#if defined(_WIN32)
#define PLUGIN_EXPORT extern "C"  // exported by name and ordinal through lumivar.def
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Copies information string 0 ("00IN"), 1 (description), 2 (filter) or 3 (format name) into
// buffer, at most length units with its NUL, and returns its length; 0 for any other number.
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPluginInfo(int32_t number, char* buffer, int32_t length);
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPluginInfoW(int32_t number, WideChar* buffer, int32_t length);

// 1 when the file's bytes 8 and 9 are "BM". Decides on content alone; name is not consulted.
PLUGIN_EXPORT int32_t PLUGIN_CALL IsSupported(const char* name, uintptr_t source);
PLUGIN_EXPORT int32_t PLUGIN_CALL IsSupportedW(const WideChar* name, uintptr_t source);

// Fills record with width, height and depth 24, from a file or from memory of offset bytes.
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPictureInfo(const char* source, intptr_t offset, uint32_t flag,
                                                 PictureInfoRecord* record);
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPictureInfoW(const WideChar* source, intptr_t offset,
                                                  uint32_t flag, PictureInfoRecord* record);

// Loads a picture from a file and hands over its info and pixel blocks.
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPicture(const char* source, intptr_t offset, uint32_t flag,
                                             void** info_handle, void** pixel_handle,
                                             ProgressCallback progress, intptr_t user_data);
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPictureW(const WideChar* source, intptr_t offset,
                                              uint32_t flag, void** info_handle,
                                              void** pixel_handle, ProgressCallback progress,
                                              intptr_t user_data);

// Previews are not provided: always -1.
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPreview(const char* source, intptr_t offset, uint32_t flag,
                                             void** info_handle, void** pixel_handle,
                                             ProgressCallback progress, intptr_t user_data);
PLUGIN_EXPORT int32_t PLUGIN_CALL GetPreviewW(const WideChar* source, intptr_t offset,
                                              uint32_t flag, void** info_handle,
                                              void** pixel_handle, ProgressCallback progress,
                                              intptr_t user_data);
