#include "Movie.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "Messages.h"
#include "MovieFrames.h"
#include "Video.h"
#include "WritePicture.h"

namespace wirolot {

namespace {

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

// Makes the movie `o` asks for in `movie`. Empty if it could, and its frames
// can be written; otherwise why not.
std::string MakeMovie(const TOptions& o, std::optional<TMovie>& movie) {
  if (o.Video)
    if (const std::string problem = TVideo::Problem(*o.Video); !problem.empty()) return problem;
  try {
    std::vector<TView> views;
    for (const std::string& key : o.Keys) views.push_back(ReadView(key));
    const int width = o.Width ? o.Width : views[0].Width, height = o.Width ? o.Height : views[0].Height;
    movie.emplace(views, o.Keys, o.Frames, width, height);
  } catch (const Exception& e) {
    return e.what();
  }
  if (o.Last > o.Frames)
    return "--frame-range " + std::to_string(o.First) + "-" + std::to_string(o.Last) + " goes past the " +
           std::to_string(o.Frames) + " frames";
  return FolderProblem(o.Out);
}

// Frames o.First to `last` into o.Out, those already there kept, each handed
// on to the video if one is asked for; counts those drawn in `drawn`. Returns
// whether all are there and the video is made, false once a stop was requested.
bool DrawFrames(const TMovie& movie, const TOptions& o, int last, TInterrupts& interrupts,
                TMovieProgress& progress, int& drawn) {
  std::unique_ptr<TVideo> encoder;
  if (o.Video) encoder = std::make_unique<TVideo>(*o.Video, o.Fps, interrupts);
  int number = o.First;
  for (; number <= last && !interrupts.Token().stop_requested(); ++number) {
    const TView view = movie.FrameView(number);
    const std::string file = o.Out + "/" + FrameFileName(number);
    progress.Begin(number);
    const bool kept = HoldsFrame(file, view);
    if (!kept) {
      if (!WritePicture(view, file, o.Engine, interrupts, progress, false)) break;
      ++drawn;
    }
    progress.Done(!kept);
    if (encoder) encoder->Add(file);
  }
  return number > last && (!encoder || encoder->Finish());
}

}  // namespace

int RunMovie(const TOptions& options, TInterrupts& interrupts) {
  std::optional<TMovie> movie;
  if (const std::string problem = MakeMovie(options, movie); !problem.empty()) return Failure(2, problem);
  const int first = options.First, last = options.Last ? options.Last : options.Frames;
  TMovieProgress progress(isatty(STDERR_FILENO), options.Frames, last - first + 1);
  int drawn = 0;
  bool complete = false;
  try {
    complete = DrawFrames(*movie, options, last, interrupts, progress, drawn);
  } catch (const std::exception& e) {
    if (!interrupts.Token().stop_requested()) {
      progress.End();
      return Failure(1, e.what());
    }
  }
  progress.End();
  const std::string& out = options.Out;
  if (!complete)
    return Failure(1, "interrupted; the frames in '" + out + "' are complete, and the same command draws the rest");
  if (isatty(STDERR_FILENO))
    std::fprintf(stderr, "frames %d to %d in '%s': %d drawn, %d already there%s\n", first, last, out.c_str(), drawn,
                 last - first + 1 - drawn, options.Video ? (", video '" + *options.Video + "'").c_str() : "");
  return 0;
}

}  // namespace wirolot
