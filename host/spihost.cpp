// spihost: a command-line host for input plug-in modules. It loads a module by path and uses it
// only through its entry points, as an image viewer does: to describe the module, to ask whether
// it serves files, and to convert pictures to BMP or PNG. File names are kept in UTF-8; on Windows
// they reach the module through its Unicode entry points where it has them, so that any name
// opens, and through the ANSI ones otherwise.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/picture_files.h"
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

constexpr size_t kProbeBytes = 2048;  // what hosts hand IsSupported in memory

constexpr char kUsage[] =
    "usage: spihost [--module PATH] COMMAND [ARGS]\n"
    "\n"
    "Loads an input plug-in module (by default the one beside spihost) and uses it as an\n"
    "image viewer does.\n"
    "\n"
    "commands:\n"
    "  info                  what the module is and which files it serves\n"
    "  probe FILE...         whether the module serves each file, and its size and depth\n"
    "  convert IN... (-o OUT | -d DIR) [--format bmp|png]\n"
    "                        convert pictures to BMP or PNG files\n"
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
    "usage: spihost [--module PATH] convert IN... (-o OUT | -d DIR) [--format bmp|png]\n"
    "\n"
    "Loads each picture through the module and writes it as a 24-bit BMP or an RGB PNG.\n"
    "  -o OUT          the output file, for a single input\n"
    "  -d DIR          the output directory: DIR/NAME.png (or .bmp) for each input NAME.*\n"
    "  --format FMT    bmp or png; otherwise the extension of OUT decides, and png with -d\n"
    "An existing output is replaced only by a complete file. Inputs that fail are reported\n"
    "and skipped; the exit status is then 1.\n";

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

// The entry points that take a file name, called with a UTF-8 name as this platform's viewers do.
class NamedCalls {
 public:
  explicit NamedCalls(const PluginModule& module) : module_(module) {}

#if defined(_WIN32)
  bool unicode() const {
    return module_.HasUnicodeEntryPoints();
  }
#else
  bool unicode() const {
    return false;
  }  // POSIX names are UTF-8 bytes, which ANSI takes as is
#endif

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
  const PluginModule& module_;
};

fs::path PathOf(const std::string& utf8) {
  return fs::u8path(utf8);
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

    std::vector<char> head(kProbeBytes, 0);
    std::ifstream(PathOf(file), std::ios::binary)
        .read(head.data(), static_cast<std::streamsize>(head.size()));
    const int32_t by_memory = calls.IsSupported(file, reinterpret_cast<uintptr_t>(head.data()));

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

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string output_file;
  std::string output_directory;
  std::string format;  // "bmp", "png" or empty
};

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

bool SameFile(const fs::path& first, const fs::path& second) {
  std::error_code error;
  return fs::exists(second, error)
             ? fs::equivalent(first, second, error)
             : fs::weakly_canonical(first, error) == fs::weakly_canonical(second, error);
}

// Loads one picture through the module and writes it; returns false after saying what failed.
bool ConvertOne(const NamedCalls& calls, const std::string& input, const fs::path& output,
                const std::string& format) {
  if (SameFile(PathOf(input), output)) {
    Complain(input + ": the output would overwrite the input");
    return false;
  }
  const int32_t served = ProbeByHandle(calls, input);
  if (served < 0) {
    Complain(input + ": cannot be opened");
    return false;
  }
  if (served == 0) {
    Complain(input + ": not a picture this module serves");
    return false;
  }

  void* info = nullptr;
  void* pixels = nullptr;
  const int32_t result = calls.GetPicture(input, &info, &pixels);
  if (result != kPluginSuccess) {
    Complain(input + ": the module could not load it (result " + std::to_string(result) + ")");
    return false;
  }
  const HandedOverPicture picture(info, pixels, host_services::ReleaseBlock);
  if (!picture.valid()) {
    Complain(input + ": the module handed over a bitmap that is not bottom-up 24-bit");
    return false;
  }
  std::string error;
  const std::vector<uint8_t> encoded =
      format == "png" ? EncodePng(picture.view(), error) : EncodeBmp(picture.view(), error);
  if (encoded.empty()) {
    Complain(input + ": " + error);
    return false;
  }
  if (!WriteFileAtomically(output, encoded, error)) {
    Complain(output.u8string() + ": " + error);
    return false;
  }
  std::printf("%s -> %s (%d x %d, %zu bytes)\n", input.c_str(), output.u8string().c_str(),
              picture.view().width, picture.view().height, encoded.size());
  return true;
}

int Convert(const NamedCalls& calls, const ConvertOptions& options) {
  if (options.inputs.empty()) {
    return UsageError("convert needs at least one input", kConvertUsage);
  }
  if (options.output_file.empty() == options.output_directory.empty()) {
    return UsageError("convert needs either -o OUT or -d DIR", kConvertUsage);
  }
  if (!options.output_file.empty() && options.inputs.size() > 1) {
    return UsageError("-o takes one input; use -d DIR for several", kConvertUsage);
  }
  int status = 0;
  for (const std::string& input : options.inputs) {
    fs::path output;
    std::string format = options.format;
    if (!options.output_file.empty()) {
      output = PathOf(options.output_file);
      if (format.empty()) {
        format = FormatOfExtension(output);
      }
      if (format.empty()) {
        return UsageError(output.u8string() + ": say --format bmp or png, or name it .bmp or .png",
                          kConvertUsage);
      }
    } else {
      if (format.empty()) {
        format = "png";
      }
      output = PathOf(options.output_directory) / PathOf(input).stem();
      output += "." + format;
    }
    if (!ConvertOne(calls, input, output, format)) {
      status = 1;
    }
  }
  return status;
}

// ---------------------------------------------------------------------------------------------

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
    for (size_t i = 0; i < arguments.size(); ++i) {
      const std::string& argument = arguments[i];
      const bool has_value = i + 1 < arguments.size();
      if (argument == "-o" || argument == "-d" || argument == "--format") {
        if (!has_value) {
          return UsageError(argument + " needs a value", kConvertUsage);
        }
        const std::string& value = arguments[++i];
        if (argument == "-o") {
          options.output_file = value;
        } else if (argument == "-d") {
          options.output_directory = value;
        } else if (!ParseFormat(value, options.format)) {
          return UsageError("unknown format '" + value + "'", kConvertUsage);
        }
      } else {
        options.inputs.push_back(argument);
      }
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
