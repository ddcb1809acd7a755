#include "testing/module_under_test.h"

#include <cstdio>
#include <cstdlib>

namespace module_under_test {
namespace {

std::unique_ptr<const plugin_loader::PluginModule> LoadOrAbort() {
  std::string error;
  std::unique_ptr<const plugin_loader::PluginModule> module =
      plugin_loader::LoadPluginModule(LUMIVAR_MODULE_PATH, &error);
  if (module == nullptr) {
    std::fprintf(stderr, "%s: %s\n", LUMIVAR_MODULE_PATH, error.c_str());
    std::abort();
  }
  return module;
}

}  // namespace

const plugin_loader::PluginModule& Module() {
  static const std::unique_ptr<const plugin_loader::PluginModule> module = LoadOrAbort();
  return *module;
}

}  // namespace module_under_test
