#include "Video.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace wirolot {

namespace {

// ffmpeg's muxer and codec options for a file's ending; empty for others.
std::vector<std::string> Encoding(const std::string& file) {
  std::string ending = file.substr(std::min(file.size(), file.rfind('.')));
  std::ranges::transform(ending, ending.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  // Quality 16 to 18 is as good as lossless to the eye for x264 and libvpx.
  const std::vector<std::string> h264 = {"-c:v", "libx264", "-crf", "16"};
  std::vector<std::string> options;
  if (ending == ".mp4") {
    options = h264;
    options.insert(options.end(), {"-movflags", "+faststart", "-f", "mp4"});
  } else if (ending == ".mkv") {
    options = h264;
    options.insert(options.end(), {"-f", "matroska"});
  } else if (ending == ".webm") {
    options = {"-c:v", "libvpx-vp9", "-crf", "18", "-b:v", "0", "-row-mt", "1", "-f", "webm"};
  }
  return options;
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  const std::string folders = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string folder = end == start ? "." : folders.substr(start, end - start);
    struct stat status;
    const std::string file = folder + "/" + program;
    if (stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(file.c_str(), X_OK) == 0) return true;
    if (end == folders.size()) return false;
    start = end + 1;
  }
}

}  // namespace

std::string TVideo::Problem(const std::string& file) {
  if (Encoding(file).empty()) return "the video '" + file + "' must end in .mp4, .webm or .mkv";
  if (!OnPath("ffmpeg"))
    return "--video needs ffmpeg, which is not on PATH; install the package ffmpeg (apt-get install ffmpeg)";
  return "";
}

TVideo::TVideo(const std::string& file, int fps, TInterrupts& interrupts) : name_(file), file_(file, interrupts) {
  // yuv420p needs even sides; colours in BT.709, as players take HD video to be.
  std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostats", "-y",
                                   "-f", "image2pipe", "-framerate", std::to_string(fps), "-c:v", "png", "-i", "-",
                                   "-vf", "crop=trunc(iw/2)*2:trunc(ih/2)*2:0:0,"
                                          "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                                   "-pix_fmt", "yuv420p", "-colorspace", "bt709", "-color_primaries", "bt709",
                                   "-color_trc", "bt709", "-color_range", "tv"};
  const std::vector<std::string> encoding = Encoding(file);
  args.insert(args.end(), encoding.begin(), encoding.end());
  args.push_back(file_.Written());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipe[2];
  if (pipe2(pipe, O_CLOEXEC) != 0) throw EOutputError("cannot start ffmpeg: " + std::string(std::strerror(errno)));
  input_ = pipe[1];
  // ffmpeg in a process group of its own, so that a Ctrl+C at the terminal
  // reaches this program alone, which then ends ffmpeg; signals as by default.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[0], STDIN_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  const int error = posix_spawnp(&ffmpeg_, "ffmpeg", &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipe[0]);
  if (error != 0) {
    ffmpeg_ = -1;
    End();
    throw EOutputError("cannot start ffmpeg: " + std::string(std::strerror(error)));
  }
}

TVideo::~TVideo() { End(); }

void TVideo::End() {
  if (input_ >= 0) close(input_);
  input_ = -1;
  if (ffmpeg_ > 0) {
    kill(ffmpeg_, SIGKILL);
    waitpid(ffmpeg_, nullptr, 0);
  }
  ffmpeg_ = -1;
}

void TVideo::Add(const std::string& frame) {
  std::ifstream in(frame, std::ios::binary);
  char buffer[1 << 16];
  while (in) {
    in.read(buffer, sizeof buffer);
    for (std::streamsize done = 0; done < in.gcount();) {
      const ssize_t written = write(input_, buffer + done, std::size_t(in.gcount() - done));
      if (written < 0 && errno == EINTR) continue;
      if (written < 0)
        throw EOutputError("ffmpeg stopped taking frames; '" + name_ + "' not written: " + std::strerror(errno));
      done += written;
    }
  }
  if (in.bad() || !in.eof()) throw EOutputError("cannot read '" + frame + "' for the video");
}

bool TVideo::Finish() {
  close(input_);
  input_ = -1;
  int status = 0;
  while (waitpid(ffmpeg_, &status, 0) < 0 && errno == EINTR) {
  }
  ffmpeg_ = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw EOutputError("ffmpeg failed to make '" + name_ + "'; it is not written");
  file_.Sync();
  return file_.Commit();
}

}  // namespace wirolot
