// spihost: a command-line host for input plug-in modules. It loads a module by path and uses it
// only through its entry points, as an image viewer does: to describe the module, to ask whether
// it serves files, and to convert pictures to BMP or PNG. File names are kept in UTF-8; on Windows
// they reach the module through its Unicode entry points where it has them, so that any name
// opens, and through the ANSI ones otherwise.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/conversion.h"
#include "host/named_calls.h"
#include "loader/host_services.h"
#include "loader/plugin_loader.h"
#include "loader/utf16.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace spihost {
namespace {

namespace fs = std::filesystem;
using host_services::CloseFileHandle;
using host_services::OpenFileHandle;
using plugin_loader::PluginModule;

constexpr char kUsage[] =
    "usage: spihost [--module PATH] COMMAND [ARGS]\n"
    "\n"
    "Loads an input plug-in module (by default the one beside spihost) and uses it as an\n"
    "image viewer does.\n"
    "\n"
    "commands:\n"
    "  info                  what the module is and which files it serves\n"
    "  probe FILE...         whether the module serves each file, and its size and depth\n"
    "  convert IN... (-o OUT | -d DIR) [OPTIONS]\n"
    "                        convert pictures, or folders of them, to BMP or PNG files\n"
    "\n"
    "'spihost COMMAND --help' describes a command.\n";

constexpr char kInfoUsage[] =
    "usage: spihost [--module PATH] info\n"
    "\n"
    "Prints the module's interface version, description, file filters and format names, and\n"
    "whether it provides previews.\n";

constexpr char kProbeUsage[] =
    "usage: spihost [--module PATH] probe FILE...\n"
    "\n"
    "Asks the module whether it serves each file, once with an open file handle and once with\n"
    "the file's first 2 KiB in memory, and for served files prints size and colour depth.\n";

constexpr char kConvertUsage[] =
    "usage: spihost [--module PATH] convert IN... (-o OUT | -d DIR) [OPTIONS]\n"
    "\n"
    "Loads pictures through the module and writes each as a 24-bit BMP or an RGB PNG. An IN\n"
    "is a picture or a folder; a folder's files are looked through, folders below it too, and\n"
    "each one the module serves (by its content, whatever its name) is converted.\n"
    "  -o OUT           the output file, for a single picture\n"
    "  -d DIR           the output folder: DIR/NAME.png (or .bmp) for each picture NAME.*;\n"
    "                   the pictures of a folder keep their places in its tree below DIR\n"
    "  --format FMT     bmp or png; otherwise the extension of OUT decides, and png with -d\n"
    "  --png-level N    PNG compression from 0 (none, fastest) to 9 (smallest); default 2\n"
    "  -j N             convert N pictures at once; default: as many as there are cores\n"
    "  --keep-existing  leave pictures whose output exists alone\n"
    "  --verbose        also list the files of folders that the module does not serve\n"
    "  --quiet          no progress line on a terminal\n"
    "An existing output is replaced only by a complete file, and Ctrl-C leaves none half\n"
    "written. Pictures that fail are reported and skipped; the exit status is then 1.\n";

void Complain(const std::string& message) {
  std::fprintf(stderr, "spihost: %s\n", message.c_str());
}

int UsageError(const std::string& message, const char* usage) {
  Complain(message);
  std::fputs(usage, stderr);
  return 2;
}

bool WantsHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------------

int Info(const PluginModule& module, const std::string& module_path) {
  std::printf("module: %s\n", module_path.c_str());
  std::vector<std::string> strings;
  for (int32_t number = 0;; ++number) {
    char buffer[1024] = {};
    if (module.GetPluginInfo(number, buffer, sizeof buffer) <= 0) {
      break;
    }
    strings.emplace_back(buffer);
  }
  if (strings.empty()) {
    Complain("the module gives no information");
    return 1;
  }
  std::printf("interface: %s\n", strings[0].c_str());
  if (strings.size() > 1) {
    std::printf("description: %s\n", strings[1].c_str());
  }
  // The rest come in pairs: a file filter and the name of its format.
  for (size_t i = 2; i < strings.size(); i += 2) {
    std::printf("format: %s", strings[i].c_str());
    if (i + 1 < strings.size()) {
      std::printf(" (%s)", strings[i + 1].c_str());
    }
    std::printf("\n");
  }
  // A module without previews answers -1 whatever it is given; one with them fails to open "".
  void* info = nullptr;
  void* pixels = nullptr;
  const int32_t preview = module.GetPreview("", 0, kInputModeFile, &info, &pixels, nullptr, 0);
  std::printf("previews: %s\n", preview == kPluginNotProvided ? "not provided" : "provided");
  std::printf("unicode entry points: %s\n", module.HasUnicodeEntryPoints() ? "yes" : "no");
  return 0;
}

// ---------------------------------------------------------------------------------------------

// IsSupported with the host's own open handle of the file, as viewers ask first; -1 when the
// file cannot be opened.
int32_t ProbeByHandle(const NamedCalls& calls, const std::string& file) {
  const uintptr_t handle = OpenFileHandle(file);
  if (handle == 0) {
    return -1;
  }
  const int32_t served = calls.IsSupported(file, handle);
  CloseFileHandle(handle);
  return served;
}

int Probe(const NamedCalls& calls, const std::vector<std::string>& files) {
  if (files.empty()) {
    return UsageError("probe needs at least one file", kProbeUsage);
  }
  int status = 0;
  for (const std::string& file : files) {
    const int32_t by_handle = ProbeByHandle(calls, file);
    if (by_handle < 0) {
      Complain(file + ": cannot be opened");
      status = 1;
      continue;
    }

    const int32_t by_memory = ProbeFromMemory(calls, file);

    if (by_handle == 0 && by_memory == 0) {
      std::printf("%s: not served\n", file.c_str());
      continue;
    }
    std::printf("%s: served (by handle: %s, from memory: %s)", file.c_str(),
                by_handle != 0 ? "yes" : "no", by_memory != 0 ? "yes" : "no");
    PictureInfoRecord record{};
    const int32_t result = calls.GetPictureInfo(file, &record);
    if (result == kPluginSuccess) {
      std::printf(", %d x %d, %d bits per pixel\n", record.width, record.height,
                  record.colour_depth);
    } else {
      std::printf(", no picture information (result %d)\n", result);
      status = 1;
    }
  }
  return status;
}

// ---------------------------------------------------------------------------------------------

bool ParseFormat(const std::string& name, std::string& format) {
  if (name == "bmp" || name == "png") {
    format = name;
    return true;
  }
  return false;
}

std::string FormatOfExtension(const fs::path& path) {
  std::string extension = path.extension().u8string();
  for (char& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  std::string format;
  return ParseFormat(extension.empty() ? "" : extension.substr(1), format) ? format : "";
}

// A whole number from first to last, or -1.
int ParseNumber(const std::string& text, int first, int last) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  const int number = std::stoi(text);
  return number >= first && number <= last ? number : -1;
}

int Convert(const NamedCalls& calls, ConvertOptions options) {
  if (options.inputs.empty()) {
    return UsageError("convert needs at least one input", kConvertUsage);
  }
  if (options.output_file.empty() == options.output_directory.empty()) {
    return UsageError("convert needs either -o OUT or -d DIR", kConvertUsage);
  }
  if (!options.output_file.empty()) {
    std::error_code error;
    if (options.inputs.size() > 1 || fs::is_directory(PathOf(options.inputs[0]), error)) {
      return UsageError("-o takes one picture; use -d DIR for several or for a folder",
                        kConvertUsage);
    }
    if (options.format.empty()) {
      options.format = FormatOfExtension(PathOf(options.output_file));
    }
    if (options.format.empty()) {
      return UsageError(options.output_file + ": say --format bmp or png, or name it .bmp or .png",
                        kConvertUsage);
    }
  } else if (options.format.empty()) {
    options.format = "png";
  }
  return ConvertPictures(calls, options);
}

// ---------------------------------------------------------------------------------------------

// Reads the convert command's arguments; returns an exit status when they are wrong.
std::optional<int> ParseConvertArguments(const std::vector<std::string>& arguments,
                                         ConvertOptions& options) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--keep-existing") {
      options.keep_existing = true;
    } else if (argument == "--verbose") {
      options.verbose = true;
    } else if (argument == "--quiet") {
      options.quiet = true;
    } else if (argument == "-o" || argument == "-d" || argument == "--format" || argument == "-j" ||
               argument == "--png-level") {
      if (i + 1 >= arguments.size()) {
        return UsageError(argument + " needs a value", kConvertUsage);
      }
      const std::string& value = arguments[++i];
      if (argument == "-o") {
        options.output_file = value;
      } else if (argument == "-d") {
        options.output_directory = value;
      } else if (argument == "--format" && !ParseFormat(value, options.format)) {
        return UsageError("unknown format '" + value + "'", kConvertUsage);
      } else if (argument == "-j") {
        const int jobs = ParseNumber(value, 1, 1024);
        if (jobs < 0) {
          return UsageError("-j takes a number of pictures from 1 to 1024", kConvertUsage);
        }
        options.jobs = static_cast<unsigned>(jobs);
      } else if (argument == "--png-level") {
        options.png_level = ParseNumber(value, kLowestPngLevel, kHighestPngLevel);
        if (options.png_level < 0) {
          return UsageError("--png-level takes a level from 0 to 9", kConvertUsage);
        }
      }
    } else {
      options.inputs.push_back(argument);
    }
  }
  return std::nullopt;
}

#if defined(_WIN32)
fs::path ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}
#else
fs::path ProgramPath() {
  return fs::read_symlink("/proc/self/exe");
}
#endif

// The module built beside this program.
std::string DefaultModulePath() {
  return (ProgramPath().parent_path() / DEFAULT_MODULE_NAME).u8string();
}

int Run(std::vector<std::string> arguments) {
  std::string module_path = DefaultModulePath();
  while (!arguments.empty() && arguments.front() == "--module") {
    if (arguments.size() < 2) {
      return UsageError("--module needs a path", kUsage);
    }
    module_path = arguments[1];
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  }
  if (arguments.empty()) {
    return UsageError("no command given", kUsage);
  }
  const std::string command = arguments.front();
  arguments.erase(arguments.begin());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }

  const char* usage = command == "info"      ? kInfoUsage
                      : command == "probe"   ? kProbeUsage
                      : command == "convert" ? kConvertUsage
                                             : nullptr;
  if (usage == nullptr) {
    return UsageError("unknown command '" + command + "'", kUsage);
  }
  if (WantsHelp(arguments)) {
    std::fputs(usage, stdout);
    return 0;
  }

  ConvertOptions options;
  if (command == "info" && !arguments.empty()) {
    return UsageError("info takes no arguments", kInfoUsage);
  }
  if (command == "convert") {
    if (const std::optional<int> status = ParseConvertArguments(arguments, options)) {
      return *status;
    }
  }

  std::string error;
  const std::unique_ptr<const PluginModule> module =
      plugin_loader::LoadPluginModule(module_path, &error);
  if (module == nullptr) {
    Complain(module_path + ": " + error);
    return 1;
  }
  if (command == "info") {
    return Info(*module, module_path);
  }
  const NamedCalls calls(*module);
  if (command == "probe") {
    return Probe(calls, arguments);
  }
  return Convert(calls, options);
}

}  // namespace
}  // namespace spihost

#if defined(_WIN32)
// Windows gives the arguments in UTF-16, whatever the ANSI code page can spell; the console is
// told that spihost writes UTF-8.
int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(utf16::ToUtf8(argv[i]));
  }
  return spihost::Run(arguments);
}
#else
int main(int argc, char** argv) {
  return spihost::Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
