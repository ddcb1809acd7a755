#include "testing/module_under_test.h"

#include <cstdio>
#include <cstdlib>

#include "loader/utf16.h"

namespace module_under_test {
namespace {

std::unique_ptr<const plugin_loader::PluginModule> LoadOrAbort() {
  std::string error;
  std::unique_ptr<const plugin_loader::PluginModule> module =
      plugin_loader::LoadPluginModule(ModulePath(), &error);
  if (module == nullptr || !module->HasUnicodeEntryPoints()) {
    std::fprintf(stderr, "%s: %s\n", ModulePath(),
                 module == nullptr ? error.c_str() : "no Unicode entry points");
    std::abort();
  }
  return module;
}

// A source in the form a Unicode entry point takes: a file name respelt in UTF-16 (kept alive by
// this object), or the file's bytes in memory, or null, passed on as they are.
class WideSource {
 public:
  WideSource(const char* source, bool is_name) {
    if (source != nullptr && is_name) {
      name_ = utf16::FromUtf8(source);
      source_ = name_.c_str();
    } else {
      source_ = reinterpret_cast<const WideChar*>(source);
    }
  }
  operator const WideChar*() const { return source_; }

 private:
  utf16::WideString name_;
  const WideChar* source_;
};

bool IsFileMode(uint32_t flag) {
  return (flag & kInputModeMask) == kInputModeFile;
}

}  // namespace

const char* ModulePath() {
  return LUMIVAR_MODULE_PATH;
}

const plugin_loader::PluginModule& Module() {
  static const std::unique_ptr<const plugin_loader::PluginModule> module = LoadOrAbort();
  return *module;
}

std::string NameOf(Names names) {
  return names == Names::kAnsi ? "Ansi" : "Unicode";
}

int32_t NamedEntryPoints::IsSupported(const char* name, uintptr_t source) const {
  return names_ == Names::kAnsi ? Module().IsSupported(name, source)
                                : Module().IsSupportedW(WideSource(name, true), source);
}

int32_t NamedEntryPoints::GetPictureInfo(const char* source, intptr_t offset, uint32_t flag,
                                         PictureInfoRecord* record) const {
  return names_ == Names::kAnsi
             ? Module().GetPictureInfo(source, offset, flag, record)
             : Module().GetPictureInfoW(WideSource(source, IsFileMode(flag)), offset, flag, record);
}

namespace {

// GetPicture and GetPreview take the same arguments: one call serves both.
using LoadAnsi = int32_t (plugin_loader::PluginModule::*)(const char*, intptr_t, uint32_t, void**,
                                                          void**, ProgressCallback, intptr_t) const;
using LoadUnicode = int32_t (plugin_loader::PluginModule::*)(const WideChar*, intptr_t, uint32_t,
                                                             void**, void**, ProgressCallback,
                                                             intptr_t) const;

int32_t CallLoad(Names names, LoadAnsi ansi, LoadUnicode unicode, const char* source,
                 intptr_t offset, uint32_t flag, void** info_handle, void** pixel_handle,
                 ProgressCallback progress, intptr_t user_data) {
  return names == Names::kAnsi
             ? (Module().*ansi)(source, offset, flag, info_handle, pixel_handle, progress,
                                user_data)
             : (Module().*unicode)(WideSource(source, IsFileMode(flag)), offset, flag, info_handle,
                                   pixel_handle, progress, user_data);
}

}  // namespace

int32_t NamedEntryPoints::GetPicture(const char* source, intptr_t offset, uint32_t flag,
                                     void** info_handle, void** pixel_handle,
                                     ProgressCallback progress, intptr_t user_data) const {
  return CallLoad(names_, &plugin_loader::PluginModule::GetPicture,
                  &plugin_loader::PluginModule::GetPictureW, source, offset, flag, info_handle,
                  pixel_handle, progress, user_data);
}

int32_t NamedEntryPoints::GetPreview(const char* source, intptr_t offset, uint32_t flag,
                                     void** info_handle, void** pixel_handle,
                                     ProgressCallback progress, intptr_t user_data) const {
  return CallLoad(names_, &plugin_loader::PluginModule::GetPreview,
                  &plugin_loader::PluginModule::GetPreviewW, source, offset, flag, info_handle,
                  pixel_handle, progress, user_data);
}

}  // namespace module_under_test
