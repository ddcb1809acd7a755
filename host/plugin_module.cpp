#include "plugin_module.h"

#include <cstdlib>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace spihost {
namespace {

#if defined(_WIN32)
void* OpenLibrary(const std::string& path, std::string& error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) {
    error = "cannot load the module (error " + std::to_string(GetLastError()) + ")";
  }
  return reinterpret_cast<void*>(library);
}
void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}
std::filesystem::path ProgramPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}
#else
void* OpenLibrary(const std::string& path, std::string& error) {
  // A name without a slash would be looked up on the library path; a host means this file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    error = dlerror();
  }
  return library;
}
void* FindSymbol(void* library, const char* name) {
  return dlsym(library, name);
}
void CloseLibrary(void* library) {
  dlclose(library);
}
std::filesystem::path ProgramPath() {
  return std::filesystem::read_symlink("/proc/self/exe");
}
#endif

template <typename Function>
bool Resolve(void* library, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(FindSymbol(library, name));
  if (function == nullptr) {
    error = std::string("the module does not export ") + name;
  }
  return function != nullptr;
}

}  // namespace

PluginModule::PluginModule(const std::string& path) {
  library_ = OpenLibrary(path, error_);
  if (library_ == nullptr) {
    return;
  }
  GetPictureFunction get_picture = nullptr;
  if (Resolve(library_, "GetPluginInfo", GetPluginInfo, error_) &&
      Resolve(library_, "IsSupported", IsSupported, error_) &&
      Resolve(library_, "GetPictureInfo", GetPictureInfo, error_) &&
      Resolve(library_, "GetPreview", GetPreview, error_) &&
      Resolve(library_, "GetPicture", get_picture, error_)) {
    GetPicture = get_picture;  // set last: it marks the module as loaded
  }
}

PluginModule::~PluginModule() {
  if (library_ != nullptr) {
    CloseLibrary(library_);
  }
}

std::string DefaultModulePath() {
  return (ProgramPath().parent_path() / DEFAULT_MODULE_NAME).string();
}

#if defined(_WIN32)
uintptr_t OpenFileHandle(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<uintptr_t>(file);
}
void CloseFileHandle(uintptr_t handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}
void ReleaseBlock(void* block) {
  LocalFree(block);
}
#else
uintptr_t OpenFileHandle(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return descriptor < 0 ? 0 : static_cast<uintptr_t>(descriptor);
}
void CloseFileHandle(uintptr_t handle) {
  close(static_cast<int>(handle));
}
void ReleaseBlock(void* block) {
  free(block);
}
#endif

}  // namespace spihost
