// The module this build made, loaded once per process from the path the build gives, as a
// viewer loads it.
#pragma once

#include "loader/plugin_loader.h"

namespace module_under_test {

// Aborts when the module cannot be loaded.
const plugin_loader::PluginModule& Module();

}  // namespace module_under_test
