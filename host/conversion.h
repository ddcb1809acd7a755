// spihost's convert command: pictures named one by one or found in folders, loaded through the
// module on several threads at once and written as BMP or PNG files.
#pragma once

#include <string>
#include <vector>

#include "host/named_calls.h"
#include "host/picture_files.h"

namespace spihost {

struct ConvertOptions {
  std::vector<std::string> inputs;  // files and folders, UTF-8
  std::string output_file;          // -o: one picture to this file
  std::string output_directory;     // -d: outputs mirror the inputs below this folder
  std::string format;               // "bmp" or "png"
  int png_level = kDefaultPngLevel;
  unsigned jobs = 0;  // pictures converted at once; 0 for as many as the machine has cores
  bool keep_existing = false;
  bool verbose = false;  // also list the files found in folders that the module does not serve
  bool quiet = false;    // no progress line
};

// Converts every picture and says how it went: a line per picture written (stdout), a line per
// failure (stderr), a progress line on a terminal, and a summary at the end. Returns the exit
// status: 0, 1 when any picture the module serves (or any file named on its own) failed, or 130
// when interrupted, in which case no partly written output is left behind.
int ConvertPictures(const NamedCalls& calls, const ConvertOptions& options);

}  // namespace spihost
