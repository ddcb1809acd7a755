// The module this build made, loaded once per process from the path the build gives, as a
// viewer loads it, and its entry points reached through either kind of file name.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "loader/plugin_loader.h"

namespace module_under_test {

// Where the build put the module.
const char* ModulePath();

// Aborts when the module cannot be loaded.
const plugin_loader::PluginModule& Module();

// Which entry points a host calls: the ANSI ones, or their Unicode twins.
enum class Names { kAnsi, kUnicode };
std::string NameOf(Names names);
inline void PrintTo(Names names, std::ostream* out) {
  *out << NameOf(names);
}

// The entry points that take a file name, called through the kind of entry point chosen. Names
// are given in UTF-8 and spelt in UTF-16 for the Unicode twins; in memory mode the source is the
// file's bytes either way, and a null name stays null.
class NamedEntryPoints {
 public:
  explicit NamedEntryPoints(Names names) : names_(names) {}

  int32_t IsSupported(const char* name, uintptr_t source) const;
  int32_t GetPictureInfo(const char* source, intptr_t offset, uint32_t flag,
                         PictureInfoRecord* record) const;
  int32_t GetPicture(const char* source, intptr_t offset, uint32_t flag, void** info_handle,
                     void** pixel_handle, ProgressCallback progress, intptr_t user_data) const;
  int32_t GetPreview(const char* source, intptr_t offset, uint32_t flag, void** info_handle,
                     void** pixel_handle, ProgressCallback progress, intptr_t user_data) const;

 private:
  Names names_;
};

}  // namespace module_under_test
