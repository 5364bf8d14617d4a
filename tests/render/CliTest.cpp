#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "StraightReference.h"

namespace wirolot {
namespace {

namespace fs = std::filesystem;

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("wirolot-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::string& args) {
    const std::string command = std::string(WIROLOT_RENDER) + " " + args + " 2>" + (dir_ / "stderr").string();
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::path Out(const char* name) const { return dir_ / name; }

  void ExpectPicture(const fs::path& png, const testing::TStraightPicture& want) {
    QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), QSize(want.Width, want.Height));
    long differing = 0;
    for (int y = 0; y < want.Height; ++y)
      for (int x = 0; x < want.Width; ++x) {
        const std::uint32_t c = want.At(x, y);
        differing += image.pixel(x, y) != qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
      }
    EXPECT_EQ(differing, 0);
  }

 private:
  fs::path dir_;
};

TEST_F(Cli, DefaultPicturesMatchTheStraightReference) {
  ASSERT_EQ(Run("--out " + Out("m.png").string()), 0);
  ExpectPicture(Out("m.png"), testing::StraightRender(false, kDefaultTexts, 487, 409));
  ASSERT_EQ(Run("--julia --out " + Out("j.png").string()), 0);
  ExpectPicture(Out("j.png"), testing::StraightRender(true, kDefaultTexts, 487, 409));
}

TEST_F(Cli, SizeAndTexts) {
  const TParamTexts t = {"-0.16", "-0.14", "1.025", "1.045", "-2", "2", "-2", "2", "500"};
  std::string args = "--size 160x90 --out " + Out("z.png").string() + " --";
  for (const auto& text : t) args += " " + text;
  ASSERT_EQ(Run(args), 0);
  ExpectPicture(Out("z.png"), testing::StraightRender(false, t, 160, 90));
}

TEST_F(Cli, JuliaLimitTheCounterNeverMeets) {
  for (const char* cs : {"2.5", "-5"}) {
    const TParamTexts t = {"0", "3", "0", "2", "-3", "3", "-2", "2", cs};
    std::string args = "--julia --size 120x90 --out " + Out("u.png").string() + " --";
    for (const auto& text : t) args += " " + text;
    ASSERT_EQ(Run(args), 0);
    ExpectPicture(Out("u.png"), testing::StraightRender(true, t, 120, 90));
  }
}

TEST_F(Cli, BadTextWritesNothing) {
  EXPECT_EQ(Run("-3 3 -2 2 -3 3 -2 2 fifteen --out " + Out("bad.png").string()), 2);
  EXPECT_FALSE(fs::exists(Out("bad.png")));
  EXPECT_EQ(Run("-3 3 -2 --out " + Out("bad.png").string()), 2);
  EXPECT_EQ(Run("--size 0x5"), 2);
  EXPECT_FALSE(fs::exists(Out("bad.png")));
}

}  // namespace
}  // namespace wirolot
