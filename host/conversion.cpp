#include "host/conversion.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "loader/host_services.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace spihost {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kProgressInterval = std::chrono::milliseconds(200);

// One picture to convert.
struct Job {
  std::string input;
  fs::path output;
  bool named;  // named on the command line, not found in a folder
  uintmax_t size;
};

enum class Outcome { kConverted, kNotServed, kKept, kFailed, kInterrupted };

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
  interrupted = true;
  std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the program at once
}

uintmax_t SizeOf(const fs::path& path) {
  std::error_code error;
  const uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

bool SameFile(const fs::path& first, const fs::path& second) {
  std::error_code error;
  return fs::exists(second, error)
             ? fs::equivalent(first, second, error)
             : fs::weakly_canonical(first, error) == fs::weakly_canonical(second, error);
}

// Every regular file below a folder, in a fixed order; symbolic links to folders are not
// followed, and the output folder, should it lie inside, is not entered.
void CollectFolder(const fs::path& folder, const ConvertOptions& options, std::vector<Job>& jobs) {
  const fs::path output_folder = PathOf(options.output_directory);
  std::vector<Job> found;
  std::error_code error;
  for (fs::recursive_directory_iterator
           entry(folder, fs::directory_options::skip_permission_denied, error),
       end;
       !error && entry != end; entry.increment(error)) {
    std::error_code unreadable;  // an entry that cannot be examined is passed over
    if (entry->is_directory(unreadable) && SameFile(entry->path(), output_folder)) {
      entry.disable_recursion_pending();
      continue;
    }
    if (!entry->is_regular_file(unreadable)) {
      continue;
    }
    const fs::path relative = entry->path().lexically_relative(folder);
    fs::path output = output_folder / relative.parent_path() / relative.stem();
    output += "." + options.format;
    found.push_back({entry->path().u8string(), output, false, SizeOf(entry->path())});
  }
  std::sort(found.begin(), found.end(),
            [](const Job& a, const Job& b) { return a.input < b.input; });
  jobs.insert(jobs.end(), found.begin(), found.end());
}

std::vector<Job> CollectJobs(const ConvertOptions& options) {
  std::vector<Job> jobs;
  for (const std::string& input : options.inputs) {
    const fs::path path = PathOf(input);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      CollectFolder(path, options, jobs);
      continue;
    }
    fs::path output = PathOf(options.output_file);
    if (options.output_file.empty()) {
      output = PathOf(options.output_directory) / path.stem();
      output += "." + options.format;
    }
    jobs.push_back({input, output, true, SizeOf(path)});
  }
  return jobs;
}

// What the conversion tells its user, from any thread: lines on stdout and stderr, and on a
// terminal a status line on stderr that the other lines clear before they are printed.
class Reporter {
 public:
  Reporter(size_t total_files, uintmax_t total_bytes, bool show_progress)
      : total_files_(total_files),
        total_bytes_(total_bytes),
        show_progress_(show_progress),
        start_(Clock::now()) {
    if (show_progress_) {
      ticker_ = std::thread([this] { Tick(); });
    }
  }
  ~Reporter() { Stop(); }

  void Done(uintmax_t bytes) {
    ++done_files_;
    done_bytes_ += bytes;
  }
  void Out(const std::string& line) { Print(stdout, line); }
  void Problem(const std::string& line) { Print(stderr, "spihost: " + line); }

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopped_) {
        return;
      }
      stopped_ = true;
      ClearStatus();
    }
    wake_.notify_all();
    if (ticker_.joinable()) {
      ticker_.join();
    }
  }

 private:
  void Print(FILE* stream, const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearStatus();
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
  }

  void ClearStatus() {
    if (status_shown_) {
      std::fputs("\r\033[K", stderr);
      std::fflush(stderr);
      status_shown_ = false;
    }
  }

  // Draws the status line at once, then again at each interval until stopped.
  void Tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    do {
      DrawStatus();
    } while (!wake_.wait_for(lock, kProgressInterval, [this] { return stopped_; }));
  }

  void DrawStatus() {
    const double seconds = Seconds();
    const uintmax_t done_bytes = std::min<uintmax_t>(done_bytes_, total_bytes_);
    const double rate = seconds > 0 ? static_cast<double>(done_bytes) / 1e6 / seconds : 0;
    std::fprintf(stderr, "\r%zu of %zu files, %.1f MB/s", done_files_.load(), total_files_, rate);
    if (done_bytes > 0) {
      std::fprintf(stderr, ", %.0f s left",
                   static_cast<double>(total_bytes_ - done_bytes) / 1e6 / rate);
    }
    std::fputs("\033[K", stderr);
    std::fflush(stderr);
    status_shown_ = true;
  }

  const size_t total_files_;
  const uintmax_t total_bytes_;
  const bool show_progress_;
  const Clock::time_point start_;
  std::atomic<size_t> done_files_{0};
  std::atomic<uintmax_t> done_bytes_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  bool status_shown_ = false;
  std::thread ticker_;
};

Outcome Fail(Reporter& reporter, const std::string& message) {
  reporter.Problem(message);
  return Outcome::kFailed;
}

// Loads one picture through the module and writes it.
Outcome ConvertOne(const NamedCalls& calls, const Job& job, const ConvertOptions& options,
                   Reporter& reporter) {
  std::error_code error;
  if (options.keep_existing && fs::exists(job.output, error)) {
    return Outcome::kKept;
  }
  if (SameFile(PathOf(job.input), job.output)) {
    return Fail(reporter, job.input + ": the output would overwrite the input");
  }
  const int32_t served = ProbeFromMemory(calls, job.input);
  if (served < 0) {
    return Fail(reporter, job.input + ": cannot be opened");
  }
  if (served == 0) {
    if (job.named) {
      return Fail(reporter, job.input + ": not a picture this module serves");
    }
    if (options.verbose) {
      reporter.Out(job.input + ": not served");
    }
    return Outcome::kNotServed;
  }

  void* info = nullptr;
  void* pixels = nullptr;
  const int32_t result = calls.GetPicture(job.input, &info, &pixels);
  if (result != kPluginSuccess) {
    return Fail(reporter, job.input + ": the module could not load it (result " +
                              std::to_string(result) + ")");
  }
  const HandedOverPicture picture(info, pixels, host_services::ReleaseBlock);
  if (!picture.valid()) {
    return Fail(reporter,
                job.input + ": the module handed over a bitmap that is not bottom-up 24-bit");
  }
  std::string problem;
  const std::vector<uint8_t> encoded = options.format == "png"
                                           ? EncodePng(picture.view(), options.png_level, problem)
                                           : EncodeBmp(picture.view(), problem);
  if (encoded.empty()) {
    return Fail(reporter, job.input + ": " + problem);
  }
  if (interrupted) {
    return Outcome::kInterrupted;
  }
  if (!job.named) {
    fs::create_directories(job.output.parent_path(), error);
  }
  if (!WriteFileAtomically(job.output, encoded, problem)) {
    return Fail(reporter, job.output.u8string() + ": " + problem);
  }
  char line[64];
  std::snprintf(line, sizeof line, " (%d x %d, %zu bytes)", picture.view().width,
                picture.view().height, encoded.size());
  reporter.Out(job.input + " -> " + job.output.u8string() + line);
  return Outcome::kConverted;
}

std::string Summary(const size_t (&counts)[5], bool keep_existing, double seconds) {
  char line[200];
  std::snprintf(line, sizeof line, "converted %zu, not served %zu, failed %zu",
                counts[static_cast<int>(Outcome::kConverted)],
                counts[static_cast<int>(Outcome::kNotServed)],
                counts[static_cast<int>(Outcome::kFailed)]);
  std::string summary = line;
  if (keep_existing) {
    summary += ", kept " + std::to_string(counts[static_cast<int>(Outcome::kKept)]);
  }
  std::snprintf(line, sizeof line, " in %.2f s", seconds);
  return summary + line;
}

}  // namespace

int ConvertPictures(const NamedCalls& calls, const ConvertOptions& options) {
  const std::vector<Job> jobs = CollectJobs(options);
  uintmax_t total_bytes = 0;
  for (const Job& job : jobs) {
    total_bytes += job.size;
  }
  const bool show_progress = !options.quiet && isatty(2);
  Reporter reporter(jobs.size(), total_bytes, show_progress);

  interrupted = false;
  const auto previous_handler = std::signal(SIGINT, OnInterrupt);
  std::mutex counts_mutex;
  size_t counts[5] = {};
  std::atomic<size_t> next{0};
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t workers = std::min<size_t>(options.jobs == 0 ? cores : options.jobs, jobs.size());
  std::vector<std::thread> threads;
  for (size_t worker = 0; worker < workers; ++worker) {
    threads.emplace_back([&] {
      for (size_t index = next++; index < jobs.size() && !interrupted; index = next++) {
        const Outcome outcome = ConvertOne(calls, jobs[index], options, reporter);
        reporter.Done(jobs[index].size);
        std::lock_guard<std::mutex> lock(counts_mutex);
        ++counts[static_cast<int>(outcome)];
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  reporter.Stop();
  std::signal(SIGINT, previous_handler);

  const std::string summary = Summary(counts, options.keep_existing, reporter.Seconds());
  if (interrupted) {
    reporter.Problem("interrupted: " + summary);
    return 130;
  }
  reporter.Out(summary);
  return counts[static_cast<int>(Outcome::kFailed)] > 0 ? 1 : 0;
}

}  // namespace spihost
