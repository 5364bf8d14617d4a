#include "Movie.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "Convert.h"
#include "Messages.h"
#include "MovieFrames.h"
#include "Video.h"
#include "WritePicture.h"

namespace wirolot {

namespace {

// Plain decimal digits making a number from lo to hi.
bool ParseNumber(std::string_view text, int lo, int hi, int& value) {
  int n = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, n);
  if (text.empty() || text[0] == '-' || text[0] == '+' || error != std::errc() || stop != end || n < lo || n > hi)
    return false;
  value = n;
  return true;
}

std::string Duration(double seconds) {
  const long s = std::lround(seconds);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
  else if (s >= 60)
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld s", s);
  return text;
}

// On a terminal: the frame under way of all, how far it is, and the time
// left at the pace of the frames drawn so far.
class TMovieProgress final : public IProgressSink {
 public:
  TMovieProgress(bool enabled, int frames, int left) : enabled_(enabled), frames_(frames), left_(left) {}
  ~TMovieProgress() override { End(); }

  void Begin(int frame) {
    frame_ = frame;
    started_ = std::chrono::steady_clock::now();
    SetPosition(0);
  }
  // The frame under way is complete: `drawn` if it was drawn now.
  void Done(bool drawn) {
    --left_;
    if (drawn) {
      spent_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
      ++drawn_;
    }
  }
  void SetPosition(int position) override {
    if (!enabled_) return;
    std::string left = "time left: after the first frame";
    if (drawn_ > 0) left = "about " + Duration(spent_ / drawn_ * (left_ - position / 100.0)) + " left";
    std::fprintf(stderr, "\r\033[Kframe %d of %d %3d%%  %s", frame_, frames_, std::clamp(position, 0, 99),
                 left.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void End() {
    if (shown_) std::fputs("\n", stderr);
    shown_ = false;
  }

 private:
  const bool enabled_;
  const int frames_;
  int left_;  // frames of the range not yet complete
  int frame_ = 0, drawn_ = 0;
  double spent_ = 0;  // seconds on the frames drawn
  std::chrono::steady_clock::time_point started_;
  bool shown_ = false;
};

// Whether a file can be made in `folder`, made if need be; else why not.
std::string FolderProblem(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error && !std::filesystem::is_directory(folder, error)) error = std::make_error_code(std::errc::not_a_directory);
  if (error) return "cannot make the folder '" + folder + "': " + error.message();
  std::string probe = folder + "/.wirolot-probe-XXXXXX";
  const int fd = mkstemp(probe.data());
  if (fd < 0) return "cannot write frames in '" + folder + "': " + std::strerror(errno);
  close(fd);
  unlink(probe.c_str());
  return "";
}

}  // namespace

int RunMovie(int argc, char** argv, TInterrupts& interrupts) {
  std::vector<std::string> keys;
  int frames = 0, width = 0, height = 0, fps = 30, first = 1, last = 0;
  bool reference = false, optionsEnded = false;
  std::string out = ".";
  std::optional<std::string> video;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (optionsEnded || !arg.starts_with("--")) {
      keys.emplace_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--movie") {
    } else if (arg == "--reference") {
      reference = true;
    } else if (arg == "--frames" || arg == "--size" || arg == "--out" || arg == "--video" || arg == "--fps" ||
               arg == "--frame-range") {
      if (i + 1 == argc) return UsageError(std::string(arg) + " needs a value");
      const std::string value = argv[++i];
      const std::size_t dash = value.find('-');
      if (arg == "--out") {
        out = value;
      } else if (arg == "--video") {
        video = value;
      } else if (arg == "--size") {
        if (!ParseSize(value, width, height))
          return UsageError("bad size '" + value + "' (expected WxH, each 1 to 65535, e.g. 487x409)");
      } else if (arg == "--frames") {
        if (!ParseNumber(value, 1, kMaxFrames, frames))
          return UsageError("bad frame count '" + value + "' (expected a whole number up to " +
                            std::to_string(kMaxFrames) + ")");
      } else if (arg == "--fps") {
        if (!ParseNumber(value, 1, 1000, fps)) return UsageError("bad frame rate '" + value + "' (expected 1 to 1000)");
      } else if (dash == std::string::npos || !ParseNumber(value.substr(0, dash), 1, kMaxFrames, first) ||
                 !ParseNumber(value.substr(dash + 1), first, kMaxFrames, last)) {
        return UsageError("bad frame range '" + value + "' (expected A-B, 1 <= A <= B, e.g. 1-100)");
      }
    } else if (arg == "--julia" || arg == "--from") {
      return UsageError("--movie takes the command and the views from its keyframes; give no " + std::string(arg));
    } else {
      return UsageError("unknown option '" + std::string(arg) + "'");
    }
  }
  if (keys.size() < 2) return UsageError("--movie needs two keyframes or more (got " + std::to_string(keys.size()) + ")");
  if (frames == 0) return UsageError("--movie needs --frames N");
  if (video && last > 0) return UsageError("--video makes the whole movie; give it without --frame-range");
  if (video)
    if (const std::string problem = TVideo::Problem(*video); !problem.empty()) return Failure(2, problem);

  std::vector<TView> views;
  try {
    for (const std::string& key : keys) views.push_back(ReadView(key));
  } catch (const EPngViewError& e) {
    return Failure(2, e.what());
  }
  if (!width) {
    width = views[0].Width;
    height = views[0].Height;
  }
  std::optional<TMovie> movie;
  try {
    movie.emplace(views, keys, frames, width, height);
  } catch (const EMovieError& e) {
    return Failure(2, e.what());
  }
  if (last == 0) last = frames;
  if (last > frames)
    return Failure(2, "--frame-range " + std::to_string(first) + "-" + std::to_string(last) + " goes past the " +
                          std::to_string(frames) + " frames");
  if (const std::string problem = FolderProblem(out); !problem.empty()) return Failure(2, problem);

  const TEngine engine = reference ? TEngine::Reference : TEngine::Fast;
  TMovieProgress progress(isatty(STDERR_FILENO), frames, last - first + 1);
  int drawn = 0;
  bool complete = false;
  try {
    std::unique_ptr<TVideo> encoder;
    if (video) encoder = std::make_unique<TVideo>(*video, fps, interrupts);
    int number = first;
    for (; number <= last && !interrupts.Token().stop_requested(); ++number) {
      const TView view = movie->FrameView(number);
      const std::string file = out + "/" + FrameFileName(number);
      progress.Begin(number);
      const bool kept = HoldsFrame(file, view);
      if (!kept) {
        const TRenderParams params = ConvertTexts(view.Texts, view.DecimalSeparator);
        if (!WritePicture(view, params, file, engine, interrupts, progress, false)) break;
        ++drawn;
      }
      progress.Done(!kept);
      if (encoder) encoder->Add(file);
    }
    complete = number > last && (!encoder || encoder->Finish());
  } catch (const std::exception& e) {
    if (!interrupts.Token().stop_requested()) {
      progress.End();
      return Failure(1, e.what());
    }
  }
  progress.End();
  if (!complete)
    return Failure(1, "interrupted; the frames in '" + out + "' are complete, and the same command draws the rest");
  if (isatty(STDERR_FILENO))
    std::fprintf(stderr, "frames %d to %d in '%s': %d drawn, %d already there%s\n", first, last, out.c_str(), drawn,
                 last - first + 1 - drawn, video ? (", video '" + *video + "'").c_str() : "");
  return 0;
}

}  // namespace wirolot
