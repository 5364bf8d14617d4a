#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

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
  std::string Stderr() const { return Contents(dir_ / "stderr"); }
  static std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Names in the folder besides the captured standard error.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      if (entry.path().filename() != "stderr") names.push_back(entry.path().filename().string());
    return names;
  }

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

TEST_F(Cli, OutDashWritesStandardOutput) {
  ASSERT_EQ(Run("--julia --size 61x37 --out - >" + Out("piped.png").string()), 0);
  ExpectPicture(Out("piped.png"), testing::StraightRender(true, kDefaultTexts, 61, 37));
  EXPECT_EQ(Run("--out - >/dev/full"), 1);
  EXPECT_NE(Stderr().find("'standard output': No space left on device"), std::string::npos) << Stderr();
}

TEST_F(Cli, FailedWriteLeavesNothingBehind) {
  const std::string missing = Out("none").string() + "/m.png";
  EXPECT_EQ(Run("--out " + missing), 1);
  EXPECT_NE(Stderr().find("'" + missing + "': No such file or directory"), std::string::npos) << Stderr();

  // A file size limit makes the write fail part way, even for root.
  { std::ofstream(Out("old.png")) << "earlier picture"; }
  const std::string command = "trap '' XFSZ; ulimit -f 4; " + std::string(WIROLOT_RENDER) +
                              " --size 2000x1500 --out " + Out("old.png").string() + " 2>" +
                              Out("stderr").string();
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_NE(Stderr().find("old.png': File too large"), std::string::npos) << Stderr();
  EXPECT_EQ(Contents(Out("old.png")), "earlier picture");
  EXPECT_EQ(Files(), std::vector<std::string>{"old.png"});
}

TEST_F(Cli, TerminationRemovesTheUnfinishedFile) {
  const pid_t pid = fork();
  if (pid == 0) {
    freopen(Out("stderr").c_str(), "w", stderr);
    execl(WIROLOT_RENDER, WIROLOT_RENDER, "--size", "30000x30000", "--out", Out("big.png").c_str(), nullptr);
    _exit(127);
  }
  // Wait for the temporary file, then stop the program.
  for (int i = 0; i < 1000 && Files().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(Files().size(), 1u);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_TRUE(Files().empty());
  EXPECT_NE(Stderr().find("interrupted; '" + Out("big.png").string() + "' not written"), std::string::npos);
}

}  // namespace
}  // namespace wirolot
