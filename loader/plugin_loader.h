// Loads an input plug-in module by path and reaches it only through its exported entry points,
// as an image viewer does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "interface/input_plugin.h"

namespace plugin_loader {

// A loaded module with every entry point resolved. The module stays loaded while this lives. The
// five ANSI entry points are always there; the Unicode twins are optional, and present either all
// five or none.
class PluginModule {
 public:
  struct EntryPoints {
    GetPluginInfoFunction get_plugin_info;
    IsSupportedFunction is_supported;
    GetPictureInfoFunction get_picture_info;
    GetPictureFunction get_picture;
    GetPreviewFunction get_preview;
  };
  struct UnicodeEntryPoints {
    GetPluginInfoWFunction get_plugin_info;
    IsSupportedWFunction is_supported;
    GetPictureInfoWFunction get_picture_info;
    GetPictureWFunction get_picture;
    GetPreviewWFunction get_preview;
  };

  PluginModule(void* library, const EntryPoints& entry_points,
               const std::optional<UnicodeEntryPoints>& unicode_entry_points)
      : library_(library),
        entry_points_(entry_points),
        unicode_entry_points_(unicode_entry_points) {}
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

  bool HasUnicodeEntryPoints() const { return unicode_entry_points_.has_value(); }

  // The Unicode twins, to be called only when the module has them.
  int32_t GetPluginInfoW(int32_t number, WideChar* buffer, int32_t length) const {
    return unicode_entry_points_->get_plugin_info(number, buffer, length);
  }
  int32_t IsSupportedW(const WideChar* name, uintptr_t source) const {
    return unicode_entry_points_->is_supported(name, source);
  }
  int32_t GetPictureInfoW(const WideChar* source, intptr_t offset, uint32_t flag,
                          PictureInfoRecord* record) const {
    return unicode_entry_points_->get_picture_info(source, offset, flag, record);
  }
  int32_t GetPictureW(const WideChar* source, intptr_t offset, uint32_t flag, void** info_handle,
                      void** pixel_handle, ProgressCallback progress, intptr_t user_data) const {
    return unicode_entry_points_->get_picture(source, offset, flag, info_handle, pixel_handle,
                                              progress, user_data);
  }
  int32_t GetPreviewW(const WideChar* source, intptr_t offset, uint32_t flag, void** info_handle,
                      void** pixel_handle, ProgressCallback progress, intptr_t user_data) const {
    return unicode_entry_points_->get_preview(source, offset, flag, info_handle, pixel_handle,
                                              progress, user_data);
  }

 private:
  void* library_;
  EntryPoints entry_points_;
  std::optional<UnicodeEntryPoints> unicode_entry_points_;
};

// The module at path (UTF-8), or null with *error saying why it could not be loaded: the file does
// not load as a module, an ANSI entry point is missing, or only some of the Unicode ones are there.
std::unique_ptr<const PluginModule> LoadPluginModule(const std::string& path, std::string* error);

}  // namespace plugin_loader
