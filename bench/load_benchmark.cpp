// Measures a picture load against what it cannot beat and what a user would pick instead, on
// generated PAC pictures kept in the page cache:
//   GetPicture   through the built module, blocks released after each call;
//   floor        a fresh zero-filled block from the module's own allocator (LocalAlloc) and one
//                ReadFile of the pixel area into it, the least one read request allows;
//   stb_image    stbi_load of the same picture stored as a standard bitmap file;
//   ReverseRows  the in-place row reversal alone, on a buffer already in memory.
// On Linux it also reports the peak memory one GetPicture adds, against the pixel-area size.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "format/pac_format.h"
#include "loader/host_services.h"
#include "plugin/windows_services.h"
#include "testing/files.h"
#include "testing/module_under_test.h"
#include "testing/pac_writer.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
  std::vector<int> sizes_mib = {1, 4, 16, 64, 192};
  int repetitions = 5;
  fs::path directory = fs::temp_directory_path();
};

// The median of repeated runs, after one untimed run that brings the caches and the allocator to
// their steady state.
double MedianSeconds(int repetitions, const std::function<void()>& run) {
  run();
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Reads a file whole, so that the measurements find it in the page cache.
void Warm(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chunk(1 << 20);
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
  }
}

void LoadWithModule(const plugin_loader::PluginModule& module, const std::string& path) {
  void* info = nullptr;
  void* pixels = nullptr;
  if (module.GetPicture(path.c_str(), 0, 0, &info, &pixels, nullptr, 0) != 0) {
    std::fprintf(stderr, "GetPicture failed on %s\n", path.c_str());
    std::exit(1);
  }
  host_services::ReleaseBlock(info);
  host_services::ReleaseBlock(pixels);
}

void LoadFloor(const std::string& path, DWORD area_size) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  SetFilePointer(file, static_cast<LONG>(pac::kPixelAreaOffset), nullptr, FILE_BEGIN);
  HLOCAL block = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, area_size);
  DWORD delivered = 0;
  if (block == nullptr || !ReadFile(file, block, area_size, &delivered, nullptr) ||
      delivered != area_size) {
    std::fprintf(stderr, "the floor's read failed on %s\n", path.c_str());
    std::exit(1);
  }
  LocalFree(block);
  CloseHandle(file);
}

void LoadWithStb(const std::string& path) {
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
  if (pixels == nullptr) {
    std::fprintf(stderr, "stb_image failed on %s: %s\n", path.c_str(), stbi_failure_reason());
    std::exit(1);
  }
  stbi_image_free(pixels);
}

#if defined(_WIN32)
std::string PeakGrowthMiB(const plugin_loader::PluginModule&, const std::string&) {
  return "n/a";
}
#else
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::atol(line.c_str() + std::strlen(field));
    }
  }
  return -1;
}

// The resident memory one GetPicture adds at its peak, measured in a child process whose
// high-water mark starts at its current size.
std::string PeakGrowthMiB(const plugin_loader::PluginModule& module, const std::string& path) {
  int channel[2];
  if (pipe(channel) != 0) {
    return "n/a";
  }
  const pid_t child = fork();
  if (child == 0) {
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
    const long before = StatusKiB("VmRSS:");
    LoadWithModule(module, path);
    const long growth = StatusKiB("VmHWM:") - before;
    (void)!write(channel[1], &growth, sizeof growth);
    _exit(0);
  }
  long growth = -1;
  (void)!read(channel[0], &growth, sizeof growth);
  waitpid(child, nullptr, 0);
  close(channel[0]);
  close(channel[1]);
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", growth / 1024.0);
  return text;
}
#endif

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (i + 1 >= argc) {
      return false;
    }
    const std::string value = argv[++i];
    if (argument == "--sizes") {
      options.sizes_mib.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) {
        options.sizes_mib.push_back(std::atoi(item.c_str()));
      }
    } else if (argument == "--repetitions") {
      options.repetitions = std::max(1, std::atoi(value.c_str()));
    } else if (argument == "--directory") {
      options.directory = value;
    } else {
      return false;
    }
  }
  return !options.sizes_mib.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: load_benchmark [--sizes MIB,...] [--repetitions N] [--directory DIR]\n");
    return 2;
  }
  const plugin_loader::PluginModule& module = module_under_test::Module();

  std::printf("%-11s %8s %4s | %10s %10s %5s %6s | %10s %6s | %11s | %8s\n", "picture", "area MiB",
              "reps", "GetPicture", "floor", "ratio", "ms/MiB", "stb_image", "stb/GP",
              "ReverseRows", "peak MiB");
  for (int size_mib : options.sizes_mib) {
    // Square pictures whose pixel area is the size asked for: 8192 × 8192 for 192 MiB.
    const auto side = static_cast<int32_t>(std::lround(std::sqrt(size_mib * 1048576.0 / 3)));
    const std::vector<uint8_t> pac = pac_writer::EncodePatternedPac(side, side);
    const auto area_size = static_cast<DWORD>(pac.size() - oracle::kPixelAreaOffset);
    const fs::path pac_path = options.directory / "lumivar-benchmark.pac";
    const fs::path bmp_path = options.directory / "lumivar-benchmark.bmp";
    test_files::WriteFileBytes(pac_path.string(), pac);
    // Without its prefix a PAC file is a bitmap file.
    test_files::WriteFileBytes(bmp_path.string(),
                               std::vector<uint8_t>(pac.begin() + oracle::kPrefixSize, pac.end()));
    Warm(pac_path);
    Warm(bmp_path);

    const int repetitions =
        size_mib >= 64 ? std::max(1, options.repetitions / 2 + 1) : options.repetitions;
    const double get_picture =
        MedianSeconds(repetitions, [&] { LoadWithModule(module, pac_path.string()); });
    const double floor =
        MedianSeconds(repetitions, [&] { LoadFloor(pac_path.string(), area_size); });
    const double stb = MedianSeconds(repetitions, [&] { LoadWithStb(bmp_path.string()); });
    std::vector<uint8_t> rows(pac.begin() + oracle::kPixelAreaOffset, pac.end());
    const auto stride = static_cast<int32_t>(oracle::RowStride(side));
    const double reverse = MedianSeconds(
        repetitions, [&] { pac::ReverseRows(rows.data(), rows.data(), side, stride); });
    const std::string peak = PeakGrowthMiB(module, pac_path.string());

    char picture[32];
    std::snprintf(picture, sizeof picture, "%dx%d", side, side);
    const double area_mib = area_size / 1048576.0;
    std::printf("%-11s %8.1f %4d | %8.4f s %8.4f s %5.2f %6.3f | %8.4f s %6.1f | %9.4f s | %8s\n",
                picture, area_mib, repetitions, get_picture, floor, get_picture / floor,
                get_picture * 1000 / area_mib, stb, stb / get_picture, reverse, peak.c_str());
    std::fflush(stdout);
    fs::remove(pac_path);
    fs::remove(bmp_path);
  }
  return 0;
}
