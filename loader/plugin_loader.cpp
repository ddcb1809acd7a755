#include "loader/plugin_loader.h"

#if defined(_WIN32)
#include <windows.h>

#include "loader/utf16.h"
#else
#include <dlfcn.h>
#endif

namespace plugin_loader {
namespace {

#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string* error) {
  HMODULE library = LoadLibraryW(utf16::FromUtf8(path).c_str());
  if (library == nullptr) {
    *error = "cannot load the module (error " + std::to_string(GetLastError()) + ")";
  }
  return reinterpret_cast<void*>(library);
}
void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}
#else
void* OpenLibrary(const std::string& path, std::string* error) {
  // A name without a slash would be looked up on the library path; a host means this file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    *error = dlerror();
  }
  return library;
}
void* FindSymbol(void* library, const char* name) {
  return dlsym(library, name);
}
void CloseLibrary(void* library) {
  dlclose(library);
}
#endif

template <typename Function>
bool Resolve(void* library, const char* name, Function* function, std::string* error) {
  *function = reinterpret_cast<Function>(FindSymbol(library, name));
  if (*function == nullptr) {
    *error = std::string("the module does not export ") + name;
  }
  return *function != nullptr;
}

bool ResolveAll(void* library, PluginModule::EntryPoints* entry_points, std::string* error) {
  return Resolve(library, "GetPluginInfo", &entry_points->get_plugin_info, error) &&
         Resolve(library, "IsSupported", &entry_points->is_supported, error) &&
         Resolve(library, "GetPictureInfo", &entry_points->get_picture_info, error) &&
         Resolve(library, "GetPicture", &entry_points->get_picture, error) &&
         Resolve(library, "GetPreview", &entry_points->get_preview, error);
}

bool ResolveAll(void* library, PluginModule::UnicodeEntryPoints* entry_points, std::string* error) {
  return Resolve(library, "GetPluginInfoW", &entry_points->get_plugin_info, error) &&
         Resolve(library, "IsSupportedW", &entry_points->is_supported, error) &&
         Resolve(library, "GetPictureInfoW", &entry_points->get_picture_info, error) &&
         Resolve(library, "GetPictureW", &entry_points->get_picture, error) &&
         Resolve(library, "GetPreviewW", &entry_points->get_preview, error);
}

}  // namespace

PluginModule::~PluginModule() {
  CloseLibrary(library_);
}

std::unique_ptr<const PluginModule> LoadPluginModule(const std::string& path, std::string* error) {
  void* library = OpenLibrary(path, error);
  if (library == nullptr) {
    return nullptr;
  }
  PluginModule::EntryPoints entry_points{};
  std::optional<PluginModule::UnicodeEntryPoints> unicode_entry_points;
  if (!ResolveAll(library, &entry_points, error)) {
    CloseLibrary(library);
    return nullptr;
  }
  // The Unicode twins are optional; the first one tells whether the module offers them.
  if (FindSymbol(library, "GetPluginInfoW") != nullptr) {
    unicode_entry_points.emplace();
    if (!ResolveAll(library, &*unicode_entry_points, error)) {
      CloseLibrary(library);
      return nullptr;
    }
  }
  return std::make_unique<const PluginModule>(library, entry_points, unicode_entry_points);
}

}  // namespace plugin_loader
