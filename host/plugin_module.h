// An input plug-in module loaded by path, reached only through its five exported entry points,
// and the host-side services that go with it: the host's own file handles and the release of the
// blocks a module hands over.
#pragma once

#include <cstdint>
#include <string>

#include "interface/input_plugin.h"

namespace spihost {

class PluginModule {
 public:
  // Loads the module; on failure loaded() is false and error() says why.
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool loaded() const { return GetPicture != nullptr; }
  const std::string& error() const { return error_; }

  GetPluginInfoFunction GetPluginInfo = nullptr;
  IsSupportedFunction IsSupported = nullptr;
  GetPictureInfoFunction GetPictureInfo = nullptr;
  GetPictureFunction GetPicture = nullptr;
  GetPreviewFunction GetPreview = nullptr;

 private:
  void* library_ = nullptr;
  std::string error_;
};

// The module built beside this program.
std::string DefaultModulePath();

// A file opened for reading as a host opens it for IsSupported; 0 when it cannot be opened.
uintptr_t OpenFileHandle(const std::string& path);
void CloseFileHandle(uintptr_t handle);

// Releases a block that GetPicture handed over.
void ReleaseBlock(void* block);

}  // namespace spihost
