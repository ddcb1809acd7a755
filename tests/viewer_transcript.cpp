// A host that calls the module exactly as today's viewers do, and only so: GetPluginInfo walked
// from 2 upward into a 256-unit buffer, IsSupported on the 2 KiB buffer viewers pass,
// GetPictureInfo into a record pre-filled with 0x7F, GetPicture with each block's size taken as a
// viewer takes it (LocalSize on Windows; on POSIX from the info block). Each answer is
// checked against the oracle, and all of them are written as a transcript that must equal the
// one given: native and 64-bit Windows hosts share one transcript, 32-bit hosts have their own.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "loader/dib.h"
#include "loader/little_endian.h"
#include "testing/blocks.h"
#include "testing/files.h"
#include "testing/module_under_test.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using module_under_test::NamedEntryPoints;
using module_under_test::Names;
using oracle::Bytes;

struct Picture {
  const char* label;
  std::string suffix;
  Bytes content;
  bool needs_unicode = false;  // no ANSI code page spells the name whole
};

std::vector<Picture> Pictures() {
  const Bytes pac = pac_writer::EncodePatternedPac(5, 3);
  Bytes bitmap(pac.begin() + oracle::kPrefixSize, pac.end());
  return {
      {"2x2", ".pac", pac_writer::EncodePatternedPac(2, 2)},
      {"5x3 cut short", ".pac", pac_writer::Prefix(pac, pac.size() - 7)},
      {"header only", ".pac", pac_writer::Prefix(pac, 34)},
      {"empty", ".pac", {}},
      {"plain bitmap", ".bmp", bitmap},
      {"row beyond 32 bits", ".pac", pac_writer::WithDimensions(pac, 715827882, 1)},
      {"unicode name", u8"-写真の絵-🖼.pac", pac_writer::EncodePatternedPac(7, 2), true},
  };
}

std::string Hex(const Bytes& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    text += digits;
  }
  return text;
}

// FNV-1a: a short fingerprint of a pixel block for the transcript.
uint32_t Fingerprint(const Bytes& bytes) {
  uint32_t hash = 2166136261u;
  for (uint8_t byte : bytes) {
    hash = (hash ^ byte) * 16777619u;
  }
  return hash;
}

class Transcript {
 public:
  template <typename... Parts>
  void Line(const Parts&... parts) {
    ((text_ << parts), ...);
    text_ << '\n';
  }
  void Check(bool holds, const std::string& what) {
    if (!holds) {
      ++mismatches_;
      Line("MISMATCH: ", what);
    }
  }
  std::string text() const { return text_.str(); }
  int mismatches() const { return mismatches_; }

 private:
  std::ostringstream text_;
  int mismatches_ = 0;
};

void WalkPluginInfo(Names names, Transcript& transcript) {
  for (int32_t number = 2;; ++number) {
    std::string text;
    int32_t length = 0;
    if (names == Names::kAnsi) {
      char buffer[256] = {};
      length = module_under_test::Module().GetPluginInfo(number, buffer, 256);
      text = buffer;
    } else {
      WideChar buffer[256] = {};
      length = module_under_test::Module().GetPluginInfoW(number, buffer, 256);
      for (const WideChar* unit = buffer; *unit != 0; ++unit) {
        text += static_cast<char>(*unit);
      }
    }
    transcript.Line("  GetPluginInfo ", number, ": ", length, " '", text, "'");
    transcript.Check(length == static_cast<int32_t>(text.size()), "information length");
    if (length == 0) {
      break;
    }
  }
}

void Probe(const NamedEntryPoints& calls, const Picture& picture, const std::string& path,
           Transcript& transcript) {
  const test_files::GuardedBytes head(test_files::ViewerProbeBuffer(picture.content));
  const int32_t served = calls.IsSupported(path.c_str(), reinterpret_cast<uintptr_t>(head.data()));
  transcript.Line("  IsSupported: ", served);
  transcript.Check(served == oracle::ExpectedServed(picture.content.data(), picture.content.size()),
                   "IsSupported");
}

void Describe(const NamedEntryPoints& calls, const Picture& picture, const std::string& path,
              Transcript& transcript) {
  alignas(PictureInfoRecord) uint8_t record[oracle::kRecordSize];
  std::memset(record, 0x7F, sizeof record);
  const int32_t result =
      calls.GetPictureInfo(path.c_str(), 0, 0, reinterpret_cast<PictureInfoRecord*>(record));
  const Bytes received(record, record + sizeof record);
  transcript.Line("  GetPictureInfo: ", result, " record ", Hex(received));
  const auto dimensions = oracle::DimensionsOf(picture.content.data(), picture.content.size());
  transcript.Check(result == (dimensions ? 0 : 1), "GetPictureInfo result");
  transcript.Check(received == oracle::ExpectedRecord(Bytes(sizeof record, 0x7F), dimensions),
                   "record");
}

// The size of each block as a viewer learns it.
size_t BlockSize(void* block, size_t size_from_header) {
#if defined(_WIN32)
  (void)size_from_header;
  return LocalSize(block);
#else
  (void)block;
  return size_from_header;
#endif
}

void Load(const NamedEntryPoints& calls, const Picture& picture, const std::string& path,
          Transcript& transcript) {
  void* info = blocks::kUntouchedHandle;
  void* pixels = blocks::kUntouchedHandle;
  const int32_t result = calls.GetPicture(path.c_str(), 0, 0, &info, &pixels, nullptr, 0);
  const std::optional<oracle::Picture> expected = oracle::ExpectedPicture(picture.content);
  if (result != 0) {
    transcript.Line("  GetPicture: ", result);
    transcript.Check(
        !expected && info == blocks::kUntouchedHandle && pixels == blocks::kUntouchedHandle,
        "GetPicture refusal");
    return;
  }
  const auto* header = static_cast<const uint8_t*>(info);
  const auto stride = static_cast<size_t>(dib::RowStride(little_endian::LoadSigned32(header + 4)));
  const size_t info_size = BlockSize(info, dib::kInfoHeaderSize);
  const size_t pixel_size =
      BlockSize(pixels, stride * static_cast<size_t>(little_endian::LoadSigned32(header + 8)));
  const oracle::Picture received = blocks::TakeBlocks(info, pixels, pixel_size);
  transcript.Line("  GetPicture: 0 info ", info_size, " bytes ", Hex(received.info), ", pixels ",
                  pixel_size, " bytes, fingerprint ", Fingerprint(received.pixels));
  transcript.Check(expected && info_size == oracle::kInfoHeaderSize &&
                       received.info == expected->info && received.pixels == expected->pixels,
                   "GetPicture blocks");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: viewer_transcript EXPECTED\n");
    return 2;
  }
  Transcript transcript;
  for (Names names : {Names::kAnsi, Names::kUnicode}) {
    transcript.Line(module_under_test::NameOf(names), " entry points");
    WalkPluginInfo(names, transcript);
    const NamedEntryPoints calls(names);
    for (const Picture& picture : Pictures()) {
      if (names == Names::kAnsi && picture.needs_unicode) {
        continue;  // viewers open such names through the Unicode entry points
      }
      transcript.Line(" ", picture.label, " (", picture.content.size(), " bytes)");
      const test_files::ScratchFile file(picture.content, picture.suffix);
      Probe(calls, picture, file.path(), transcript);
      Describe(calls, picture, file.path(), transcript);
      Load(calls, picture, file.path(), transcript);
    }
  }
  const std::string received = transcript.text();
  std::fputs(received.c_str(), stdout);
  const oracle::Bytes expected = test_files::ReadFileBytes(argv[1]);
  if (std::string(expected.begin(), expected.end()) != received) {
    std::fprintf(stderr, "the transcript differs from %s\n", argv[1]);
    return 1;
  }
  return transcript.mismatches() == 0 ? 0 : 1;
}
