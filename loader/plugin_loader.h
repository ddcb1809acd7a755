// Loads an input plug-in module by path and reaches it only through its exported entry points,
// as an image viewer does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "interface/input_plugin.h"

namespace plugin_loader {

// A loaded module with every entry point resolved. The module stays loaded while this lives.
class PluginModule {
 public:
  struct EntryPoints {
    GetPluginInfoFunction get_plugin_info;
    IsSupportedFunction is_supported;
    GetPictureInfoFunction get_picture_info;
    GetPictureFunction get_picture;
    GetPreviewFunction get_preview;
  };

  PluginModule(void* library, const EntryPoints& entry_points)
      : library_(library), entry_points_(entry_points) {}
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  int32_t GetPluginInfo(int32_t number, char* buffer, int32_t length) const {
    return entry_points_.get_plugin_info(number, buffer, length);
  }
  int32_t IsSupported(const char* name, uintptr_t source) const {
    return entry_points_.is_supported(name, source);
  }
  int32_t GetPictureInfo(const char* source, intptr_t offset, uint32_t flag,
                         PictureInfoRecord* record) const {
    return entry_points_.get_picture_info(source, offset, flag, record);
  }
  int32_t GetPicture(const char* source, intptr_t offset, uint32_t flag, void** info_handle,
                     void** pixel_handle, ProgressCallback progress, intptr_t user_data) const {
    return entry_points_.get_picture(source, offset, flag, info_handle, pixel_handle, progress,
                                     user_data);
  }
  int32_t GetPreview(const char* source, intptr_t offset, uint32_t flag, void** info_handle,
                     void** pixel_handle, ProgressCallback progress, intptr_t user_data) const {
    return entry_points_.get_preview(source, offset, flag, info_handle, pixel_handle, progress,
                                     user_data);
  }

 private:
  void* library_;
  EntryPoints entry_points_;
};

// The module at path, or null with *error saying why it could not be loaded: the file does not
// load as a module, or an entry point is missing.
std::unique_ptr<const PluginModule> LoadPluginModule(const std::string& path, std::string* error);

}  // namespace plugin_loader
