#include <gtest/gtest.h>

#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "Orbits.h"
#include "PngStreamSurface.h"
#include "StraightReference.h"

namespace wirolot {
namespace {

// A PNG file's pixels as 0x00BBGGRR, row-major; empty if it does not decode.
struct TDecoded {
  int Width = 0, Height = 0;
  std::vector<std::uint32_t> Pixels;
};

TDecoded Decode(const std::string& file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  TDecoded d{int(image.width), int(image.height), {}};
  for (std::size_t i = 0; i < rgb.size(); i += 3) d.Pixels.push_back(RGB(rgb[i], rgb[i + 1], rgb[i + 2]));
  return d;
}

// The streamed PNG takes rows top to bottom, and colours of its palette, only.
TEST(PngStream, RefusesWhatItCannotWrite) {
  const TColor row[3] = {ColorOf(1), ColorOf(2), ColorOf(3)};
  const std::function<void(IPictureSurface&)> cases[] = {
      [&](IPictureSurface& s) { s.PlotRow(0, 5, row); s.PlotRow(0, 4, row); },
      [&](IPictureSurface& s) { s.PlotRow(0, 1, row); s.FillRect({0, 0, 8, 8}, 0); },
      [&](IPictureSurface& s) { s.MoveTo(0, 3); s.LineTo(3, 0); },
      [&](IPictureSurface& s) { s.SetPenColor(ColorOf(4)); s.MoveTo(0, 0); s.LineTo(1, 1); },
  };
  for (const auto& draw : cases) {
    TPngStreamSurface stream(8, 8, {ColorOf(0), ColorOf(1), ColorOf(2), ColorOf(3)}, [](const std::uint8_t*, std::size_t) {});
    stream.FillRect({0, 0, 8, 8}, 0);
    EXPECT_THROW(draw(stream), EPngStreamError);
  }
}

namespace fs = std::filesystem;

struct TTempDir {
  const fs::path Path = fs::temp_directory_path() / ("wirolot-cli-" + std::to_string(::getpid()));
  TTempDir() { fs::create_directories(Path); }
  ~TTempDir() { fs::remove_all(Path); }
  std::size_t Files() const { return std::size_t(std::distance(fs::directory_iterator(Path), {})); }
};

std::string Contents(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// wirolot-render: exit status, message, what is left in the folder, picture.
TEST(Cli, ArgumentsExitStatusAndPicture) {
  const TTempDir dir;
  const std::string R = WIROLOT_RENDER, out = (dir.Path / "p.png").string(), err = (dir.Path / "err").string();
  const auto args = [](const TParamTexts& t) {
    std::string a = " --";
    for (const std::string& text : t) a += " " + text;
    return a;
  };
  const TParamTexts deep = {"-0.16", "-0.14", "1.025", "1.045", "-2", "2", "-2", "2", "500"},
                    shortRows = {"0.3", "0.3001", "-2", "2", "-3", "3", "-2", "2", "15"},
                    fewRows = {"-3", "3", "0.3", "0.3001", "-3", "3", "-2", "2", "15"},
                    unmet = {"0", "3", "0", "2", "-3", "3", "-2", "2", "2.5"},
                    limit255 = {"-3", "3", "-2", "2", "-3", "3", "-2", "2", "255"};
  const struct {
    std::string Command;
    int Status;
    std::string Message = "";  // in standard error
    bool Julia = false;
    TParamTexts Texts = kDefaultTexts;
    int W = 0, H = 0;  // 0: the earlier file stays as it was
  } cases[] = {
      {R + " --julia --out " + out, 0, "", true, kDefaultTexts, 487, 409},
      {R + " --size 160x90 --out " + out + args(deep), 0, "", false, deep, 160, 90},  // RGB
      {R + " --size 1x1 --out " + out + args(limit255), 0, "", false, limit255, 1, 1},  // 256 colours
      {R + " --size 487x9 --out " + out + args(shortRows), 0, "", false, shortRows, 487, 9},
      {R + " --julia --size 9x487 --out " + out + args(fewRows), 0, "", true, fewRows, 9, 487},
      {R + " --julia --size 120x90 --reference --out " + out + args(unmet), 0, "", true, unmet, 120, 90},
      {R + " --julia --size 61x37 --out - >" + out, 0, "", true, kDefaultTexts, 61, 37},
      {R + " -3 3 -2 2 -3 3 -2 2 fifteen --out " + out, 2, "'fifteen' is not a valid floating point value"},
      {R + " -3 3 -2 --out " + out, 2}, {R + " --size 0x5 --out " + out, 2}, {R + " --sizes 5x5 --out " + out, 2},
      {R + " --out " + out + ".d/p.png", 1, out + ".d/p.png': No such file or directory"},
      {R + " --out - >/dev/full", 1, "'standard output': No space left on device"},
      // A file size limit makes the write fail part way, even for root.
      {"trap '' XFSZ; ulimit -f 4; " + R + " --size 2000x1500 --out " + out, 1, out + "': File too large"},
  };
  for (const auto& c : cases) {
    { std::ofstream(out) << "earlier"; }
    const int status = std::system((c.Command + " 2>" + err).c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.Status) << c.Command;
    EXPECT_NE(Contents(err).find(c.Message), std::string::npos) << c.Command << ": " << Contents(err);
    EXPECT_EQ(dir.Files(), 2u) << c.Command;  // no temporary file left
    if (!c.W) {
      EXPECT_EQ(Contents(out), "earlier") << c.Command;
      continue;
    }
    const TDecoded image = Decode(out);
    ASSERT_EQ(image.Width, c.W) << c.Command;
    ASSERT_EQ(image.Height, c.H) << c.Command;
    EXPECT_TRUE(image.Pixels == testing::StraightRender(c.Julia, c.Texts, c.W, c.H).Pixels) << c.Command;
  }
}

TEST(Cli, TerminationLeavesNothingBehind) {
  const TTempDir dir;
  const std::string out = (dir.Path / "big.png").string();
  const pid_t pid = fork();
  if (pid == 0) {
    execl(WIROLOT_RENDER, WIROLOT_RENDER, "--size", "30000x30000", "--out", out.c_str(), nullptr);
    _exit(127);
  }
  // Once the temporary file is there.
  for (int i = 0; i < 1000 && !dir.Files(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(dir.Files(), 0u);
}

}  // namespace
}  // namespace wirolot
