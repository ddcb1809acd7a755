// The module's entry points that take a file name, called with a UTF-8 name as this platform's
// viewers call them: on Windows through the Unicode twins where the module has them, so that any
// name opens; otherwise through the ANSI entry points, which on POSIX take UTF-8 as it is.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "loader/host_services.h"
#include "loader/plugin_loader.h"
#include "loader/utf16.h"

namespace spihost {

class NamedCalls {
 public:
  explicit NamedCalls(const plugin_loader::PluginModule& module) : module_(module) {}

  bool unicode() const {
#if defined(_WIN32)
    return module_.HasUnicodeEntryPoints();
#else
    return false;
#endif
  }

  int32_t IsSupported(const std::string& name, uintptr_t source) const {
    return unicode() ? module_.IsSupportedW(utf16::FromUtf8(name).c_str(), source)
                     : module_.IsSupported(name.c_str(), source);
  }
  int32_t GetPictureInfo(const std::string& name, PictureInfoRecord* record) const {
    return unicode()
               ? module_.GetPictureInfoW(utf16::FromUtf8(name).c_str(), 0, kInputModeFile, record)
               : module_.GetPictureInfo(name.c_str(), 0, kInputModeFile, record);
  }
  int32_t GetPicture(const std::string& name, void** info, void** pixels) const {
    return unicode()
               ? module_.GetPictureW(utf16::FromUtf8(name).c_str(), 0, kInputModeFile, info, pixels,
                                     nullptr, 0)
               : module_.GetPicture(name.c_str(), 0, kInputModeFile, info, pixels, nullptr, 0);
  }

 private:
  const plugin_loader::PluginModule& module_;
};

// A path from a UTF-8 name, whatever the platform's own spelling of paths.
inline std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::u8path(utf8);
}

// IsSupported as today's viewers ask it, with the file's first bytes in memory. -1 when the file
// cannot be opened.
inline int32_t ProbeFromMemory(const NamedCalls& calls, const std::string& name) {
  std::ifstream in(PathOf(name), std::ios::binary);
  if (!in) {
    return -1;
  }
  std::vector<char> head(host_services::kViewerProbeSize, 0);
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  return calls.IsSupported(name, reinterpret_cast<uintptr_t>(head.data()));
}

}  // namespace spihost
