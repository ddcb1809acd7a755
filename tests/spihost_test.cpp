// spihost run as a user runs it: converting pictures and decoding the output back, and the
// messages, exit status and files it leaves when something fails.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "loader/little_endian.h"
#include "testing/files.h"
#include "testing/oracle.h"
#include "testing/pac_writer.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Bytes ReadBytes(const fs::path& path) {
  return test_files::ReadFileBytes(path.string());
}

std::string ReadText(const fs::path& path) {
  const Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Writes a file, making the folders it lies in.
void WriteBytes(const fs::path& path, const Bytes& bytes) {
  fs::create_directories(path.parent_path());
  test_files::WriteFileBytes(path.string(), bytes);
}

class Spihost : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() /
                 ("spihost-test-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override { fs::remove_all(directory_); }

  fs::path Path(const std::string& name) const { return directory_ / name; }

  Outcome Spi(const std::string& arguments) const {
    const std::string command = "'" SPIHOST_PATH "' " + arguments + " >'" +
                                Path("stdout").string() + "' 2>'" + Path("stderr").string() + "'";
    const int status = std::system(command.c_str());
    Outcome run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(Path("stdout")),
                ReadText(Path("stderr"))};
    fs::remove(Path("stdout"));
    fs::remove(Path("stderr"));
    return run;
  }

  // Files in the directory other than those the test made itself.
  std::vector<std::string> Leftovers(const std::vector<std::string>& expected) const {
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(directory_)) {
      const std::string name = entry.path().filename().string();
      if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
        others.push_back(name);
      }
    }
    return others;
  }

  fs::path directory_;
};

// RGB pixels, top row first, that a PAC file's pixel area shows; what it lacks is black.
Bytes ExpectedRgb(const Bytes& pac, int32_t width, int32_t height) {
  const auto stride = static_cast<size_t>(oracle::RowStride(width));
  Bytes rgb;
  for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
    for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
      const size_t at = oracle::kPixelAreaOffset + y * stride + 3 * x;
      for (size_t channel : {2, 1, 0}) {
        rgb.push_back(at + channel < pac.size() ? pac[at + channel] : 0);
      }
    }
  }
  return rgb;
}

Bytes Decode(const fs::path& path, int32_t width, int32_t height) {
  const Bytes file = ReadBytes(path);
  int decoded_width = 0, decoded_height = 0, channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()),
                                          &decoded_width, &decoded_height, &channels, 3);
  if (pixels == nullptr) {
    ADD_FAILURE() << path << ": " << stbi_failure_reason();
    return {};
  }
  EXPECT_EQ(decoded_width, width) << path;
  EXPECT_EQ(decoded_height, height) << path;
  Bytes rgb(pixels, pixels + static_cast<size_t>(decoded_width) * decoded_height * 3);
  stbi_image_free(pixels);
  return rgb;
}

TEST_F(Spihost, ConvertsTheSampleTheRightWayUp) {
  const fs::path sample = fs::path(SAMPLE_DIRECTORY) / "sample.pac";
  const Bytes pac = ReadBytes(sample);
  const Outcome to_png = Spi("convert '" + sample.string() + "' -d '" + directory_.string() + "'");
  ASSERT_EQ(to_png.status, 0) << to_png.err;
  EXPECT_NE(to_png.out.find("sample.png (90 x 60"), std::string::npos) << to_png.out;
  const Outcome to_bmp =
      Spi("convert '" + sample.string() + "' -o '" + Path("sample.bmp").string() + "'");
  ASSERT_EQ(to_bmp.status, 0) << to_bmp.err;

  for (const char* name : {"sample.png", "sample.bmp"}) {
    const Bytes rgb = Decode(Path(name), 90, 60);
    EXPECT_EQ(rgb, ExpectedRgb(pac, 90, 60)) << name;
    ASSERT_EQ(rgb.size(), 90u * 60 * 3);
    const auto pixel = [&](size_t x, size_t y) {
      const size_t at = (y * 90 + x) * 3;
      return Bytes(rgb.begin() + static_cast<ptrdiff_t>(at),
                   rgb.begin() + static_cast<ptrdiff_t>(at + 3));
    };
    EXPECT_EQ(pixel(0, 0), (Bytes{255, 0, 0})) << name << ": top left is red";
    EXPECT_EQ(pixel(89, 0), (Bytes{0, 255, 0})) << name << ": top right is green";
    EXPECT_EQ(pixel(0, 59), (Bytes{0, 0, 255})) << name << ": bottom left is blue";
    EXPECT_EQ(pixel(89, 59), (Bytes{255, 255, 255})) << name << ": bottom right is white";
  }
  // The BMP holds the module's info block after a standard file header.
  const Bytes bmp = ReadBytes(Path("sample.bmp"));
  ASSERT_EQ(bmp.size(), 54u + 60 * 272);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(little_endian::Load(&bmp[2], 4), bmp.size());
  EXPECT_EQ(bmp[10], 54);
  EXPECT_EQ(bmp[14], 40);
}

TEST_F(Spihost, ConvertsPicturesOfAnyShapeExactly) {
  const struct {
    int32_t width;
    int32_t height;
    size_t cut;  // bytes missing from the end of the pixel area
  } cases[] = {{1, 1, 0}, {2, 3, 0}, {7, 3001, 0}, {333, 17, 0}, {5, 40, 301}, {64, 64, 64 * 192}};
  for (const auto& c : cases) {
    Bytes pac = pac_writer::EncodePatternedPac(c.width, c.height);
    pac.resize(pac.size() - c.cut);
    WriteBytes(Path("in.pac"), pac);
    const std::string shape = std::to_string(c.width) + " x " + std::to_string(c.height);
    for (const char* output : {"out.png", "out.bmp"}) {
      const Outcome run =
          Spi("convert '" + Path("in.pac").string() + "' -o '" + Path(output).string() + "'");
      ASSERT_EQ(run.status, 0) << shape << ": " << run.err;
      EXPECT_EQ(Decode(Path(output), c.width, c.height), ExpectedRgb(pac, c.width, c.height))
          << shape << " " << output;
    }
  }
}

TEST_F(Spihost, DescribesAndProbes) {
  const Outcome info = Spi("info");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("interface: 00IN\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("description: PAC to DIB filter v1.0 by Quorel\n"), std::string::npos);
  EXPECT_NE(info.out.find("format: *.PAC (PAC)\n"), std::string::npos);
  EXPECT_NE(info.out.find("previews: not provided\n"), std::string::npos);
  EXPECT_NE(info.out.find("unicode entry points: yes\n"), std::string::npos);

  WriteBytes(Path("a.pac"), pac_writer::EncodePatternedPac(3, 2));
  WriteBytes(Path("b.txt"), Bytes(100, 'x'));
  const Outcome probe =
      Spi("probe '" + Path("a.pac").string() + "' '" + Path("b.txt").string() + "'");
  EXPECT_EQ(probe.status, 0) << probe.err;
  EXPECT_NE(probe.out.find("a.pac: served (by handle: yes, from memory: yes), 3 x 2, 24 bits"),
            std::string::npos)
      << probe.out;
  EXPECT_NE(probe.out.find("b.txt: not served\n"), std::string::npos) << probe.out;

  const Outcome help = Spi("convert --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: spihost [--module PATH] convert"), std::string::npos);
}

TEST_F(Spihost, ConvertsAPictureWhoseNameNeedsUnicode) {
  const std::string name = u8"写真の絵-🖼";
  const Bytes pac = pac_writer::EncodePatternedPac(6, 5);
  WriteBytes(Path(name + ".pac"), pac);
  const Outcome run =
      Spi("convert '" + Path(name + ".pac").string() + "' -d '" + directory_.string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(name + ".png (6 x 5"), std::string::npos) << run.out;
  EXPECT_EQ(Decode(Path(name + ".png"), 6, 5), ExpectedRgb(pac, 6, 5));
}

TEST_F(Spihost, ReportsEachFailureAndLeavesNoPartialFile) {
  WriteBytes(Path("good.pac"), pac_writer::EncodePatternedPac(4, 4));
  WriteBytes(Path("text.txt"), Bytes(100, 'x'));
  const std::string old_content = "an earlier picture";
  std::ofstream(Path("kept.png")) << old_content;
  const std::vector<std::string> made = {"good.pac", "text.txt", "kept.png"};

  const struct {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"convert '" + Path("missing.pac").string() + "' -o '" + Path("kept.png").string() + "'",
       "missing.pac: cannot be opened"},
      {"convert '" + Path("text.txt").string() + "' -o '" + Path("kept.png").string() + "'",
       "text.txt: not a picture this module serves"},
      {"--module '" + Path("no-such-module.so").string() + "' info", "no-such-module.so: "},
      {"convert '" + Path("good.pac").string() + "' -o '" + Path("no-such-dir/out.png").string() +
           "'",
       "out.png: cannot be written"},
      {"convert '" + Path("good.pac").string() + "' -o '" + Path("good.pac").string() +
           "' --format bmp",
       "good.pac: the output would overwrite the input"},
      {"convert '" + Path("good.pac").string() + "'", "needs either -o OUT or -d DIR"},
      {"frobnicate", "unknown command 'frobnicate'"},
  };
  for (const auto& c : cases) {
    const Outcome run = Spi(c.arguments);
    EXPECT_NE(run.status, 0) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_EQ(Leftovers(made), std::vector<std::string>()) << c.arguments;
    EXPECT_EQ(ReadText(Path("kept.png")), old_content) << c.arguments;
  }
  EXPECT_EQ(ReadBytes(Path("good.pac")), pac_writer::EncodePatternedPac(4, 4));
}

TEST_F(Spihost, ConvertsTheOtherInputsWhenOneFails) {
  WriteBytes(Path("one.pac"), pac_writer::EncodePatternedPac(4, 4));
  WriteBytes(Path("two.pac"), pac_writer::EncodePatternedPac(5, 2));
  fs::create_directories(Path("out"));
  const Outcome run =
      Spi("convert '" + Path("one.pac").string() + "' '" + Path("missing.pac").string() + "' '" +
          Path("two.pac").string() + "' -d '" + Path("out").string() + "' --format bmp");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("missing.pac: cannot be opened"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(Path("out/one.bmp")));
  EXPECT_TRUE(fs::exists(Path("out/two.bmp")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("out")), fs::directory_iterator()), 2);
}

// A tree as users keep pictures: served ones at several depths, files the module does not serve,
// one picture the module refuses, a link to a folder elsewhere and, inside the input, the output
// folder of an earlier run holding a picture of its own.
class SpihostFolders : public Spihost {
 protected:
  void SetUp() override {
    Spihost::SetUp();
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"in/a.pac", pac_writer::EncodePatternedPac(4, 3)},
        {"in/sub/b.pac", pac_writer::EncodePatternedPac(7, 2)},
        {"in/sub/deeper/c.PIC", pac_writer::EncodePatternedPac(5, 5)},
        {"in/notes.txt", Bytes(300, 'x')},
        {"in/sub/readme.md", Bytes(10, 'y')},
        {"in/sub/broken.pac",
         pac_writer::WithDimensions(pac_writer::EncodePatternedPac(4, 4), 0xFFFFFFFF, 4)},
        {"in/out/earlier.pac", pac_writer::EncodePatternedPac(2, 2)},
        {"elsewhere/linked.pac", pac_writer::EncodePatternedPac(3, 3)},
    };
    for (const auto& [name, content] : files) {
      WriteBytes(Path(name), content);
      contents_[name] = content;
    }
    fs::create_directory_symlink(Path("elsewhere"), Path("in/link"));
  }

  // The PNG files below a folder, by path relative to it.
  std::vector<std::string> PngFiles(const std::string& folder) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(Path(folder))) {
      if (entry.path().extension() == ".png") {
        found.push_back(entry.path().lexically_relative(Path(folder)).string());
      }
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  std::map<std::string, Bytes> contents_;
};

TEST_F(SpihostFolders, ConvertsEveryServedPictureOfATreeIntoAMirroredTree) {
  const Outcome run =
      Spi("convert '" + Path("in").string() + "' -d '" + Path("in/out").string() + "' --verbose");
  EXPECT_EQ(run.status, 1) << "the refused picture fails the run";
  EXPECT_EQ(PngFiles("in/out"),
            (std::vector<std::string>{"a.png", "sub/b.png", "sub/deeper/c.png"}));
  EXPECT_EQ(Decode(Path("in/out/a.png"), 4, 3), ExpectedRgb(contents_["in/a.pac"], 4, 3));
  EXPECT_EQ(Decode(Path("in/out/sub/b.png"), 7, 2), ExpectedRgb(contents_["in/sub/b.pac"], 7, 2));
  EXPECT_EQ(Decode(Path("in/out/sub/deeper/c.png"), 5, 5),
            ExpectedRgb(contents_["in/sub/deeper/c.PIC"], 5, 5));
  EXPECT_NE(run.err.find("broken.pac: the module could not load it"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.out.find("notes.txt: not served\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("converted 3, not served 2, failed 1 in "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("earlier"), std::string::npos) << "read the output folder as input";
  EXPECT_EQ(run.out.find("linked"), std::string::npos) << "followed a link to a folder";

  const Outcome quiet =
      Spi("convert '" + Path("in/sub/deeper").string() + "' -d '" + Path("other").string() + "'");
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out.find(": not served"), std::string::npos) << "listed only with --verbose";
  EXPECT_EQ(PngFiles("other"), (std::vector<std::string>{"c.png"}));
}

TEST_F(SpihostFolders, WritesTheSameFilesWhateverTheNumberOfJobs) {
  for (int i = 0; i < 12; ++i) {
    WriteBytes(Path("in/many/p" + std::to_string(i) + ".pac"),
               pac_writer::EncodePatternedPac(31 + i, 17 + 3 * i));
  }
  const Outcome one = Spi("convert '" + Path("in").string() + "' -d '" + Path("one").string() +
                          "' -j 1 --format bmp");
  const Outcome four = Spi("convert '" + Path("in").string() + "' -d '" + Path("four").string() +
                           "' -j 4 --format bmp");
  const Outcome png = Spi("convert '" + Path("in").string() + "' -d '" + Path("png").string() +
                          "' -j 4 --png-level 9");
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(four.status, 1);
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(Path("one"))) {
    if (entry.is_regular_file()) {
      const fs::path relative = entry.path().lexically_relative(Path("one"));
      names.push_back(relative.string());
      EXPECT_EQ(ReadBytes(entry.path()), ReadBytes(Path("four") / relative)) << relative;
    }
  }
  EXPECT_EQ(names.size(), 16u) << "4 of the tree, 12 added";
  for (int i = 0; i < 12; ++i) {
    const std::string name = "many/p" + std::to_string(i);
    const Bytes pac = ReadBytes(Path("in/" + name + ".pac"));
    EXPECT_EQ(Decode(Path("png/" + name + ".png"), 31 + i, 17 + 3 * i),
              ExpectedRgb(pac, 31 + i, 17 + 3 * i))
        << name;
  }
}

TEST_F(SpihostFolders, KeepsExistingOutputsWhenAsked) {
  fs::create_directories(Path("out/sub"));
  const std::string earlier = "an earlier conversion";
  std::ofstream(Path("out/sub/b.png")) << earlier;
  const Outcome run = Spi("convert '" + Path("in").string() + "' -d '" + Path("out").string() +
                          "' --keep-existing");
  // With the output outside the tree, the earlier run's picture is one to convert too.
  EXPECT_NE(run.out.find("converted 3, not served 2, failed 1, kept 1 in "), std::string::npos)
      << run.out;
  EXPECT_EQ(ReadText(Path("out/sub/b.png")), earlier);
  EXPECT_EQ(Decode(Path("out/a.png"), 4, 3), ExpectedRgb(contents_["in/a.pac"], 4, 3));

  const Outcome replace =
      Spi("convert '" + Path("in").string() + "' -d '" + Path("out").string() + "'");
  EXPECT_EQ(Decode(Path("out/sub/b.png"), 7, 2), ExpectedRgb(contents_["in/sub/b.pac"], 7, 2));
}

// Runs spihost with its standard error on a pseudo-terminal and returns what the terminal showed.
std::string RunOnTerminal(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(SPIHOST_PATH));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    execv(SPIHOST_PATH, argv.data());
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) {
    shown.append(buffer, static_cast<size_t>(got));
  }
  waitpid(child, nullptr, 0);
  close(terminal);
  return shown;
}

TEST_F(SpihostFolders, ShowsProgressOnATerminalOnly) {
  const std::string input = Path("in").string();
  const std::string on_terminal = RunOnTerminal({"convert", input, "-d", Path("tty").string()});
  EXPECT_NE(on_terminal.find("of 7 files, "), std::string::npos) << on_terminal;
  EXPECT_NE(on_terminal.find("\r"), std::string::npos) << "the status line is drawn in place";
  EXPECT_NE(on_terminal.find("converted 4, not served 2, failed 1 in "), std::string::npos);

  const std::string quiet =
      RunOnTerminal({"convert", input, "-d", Path("quiet").string(), "--quiet"});
  EXPECT_EQ(quiet.find("files, "), std::string::npos) << quiet;

  const Outcome piped = Spi("convert '" + input + "' -d '" + Path("piped").string() + "'");
  EXPECT_EQ(piped.err.find("files, "), std::string::npos) << piped.err;
  EXPECT_NE(piped.out.find("converted 4, not served 2, failed 1 in "), std::string::npos);
}

TEST_F(Spihost, LeavesNoPartialFileWhenInterrupted) {
  for (int i = 0; i < 40; ++i) {
    WriteBytes(Path("in/p" + std::to_string(i) + ".pac"), pac_writer::EncodePatternedPac(900, 700));
  }
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const std::string input = Path("in").string();
  const std::string output = Path("out").string();
  const pid_t child = fork();
  if (child == 0) {
    dup2(channel[1], 1);
    close(channel[0]);
    execl(SPIHOST_PATH, SPIHOST_PATH, "convert", input.c_str(), "-d", output.c_str(), "-j", "1",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(channel[1]);
  char first = 0;
  ASSERT_EQ(read(channel[0], &first, 1), 1) << "spihost wrote nothing";
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  close(channel[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  size_t outputs = 0;
  for (const auto& entry : fs::directory_iterator(Path("out"))) {
    EXPECT_EQ(entry.path().extension(), ".png") << entry.path() << " is left over";
    const std::string stem = entry.path().stem().string();
    EXPECT_EQ(Decode(entry.path(), 900, 700),
              ExpectedRgb(ReadBytes(Path("in/" + stem + ".pac")), 900, 700));
    ++outputs;
  }
  EXPECT_GE(outputs, 1u);
  EXPECT_LT(outputs, 40u) << "the run went on after Ctrl-C";
}

}  // namespace
