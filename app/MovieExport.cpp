#include "MovieExport.h"

#include <QDir>
#include <QFile>

#include "Convert.h"
#include "PngPicture.h"
#include "SaveFile.h"

using namespace wirolot;

namespace {
class TNoProgress final : public IProgressSink {
 public:
  void SetPosition(int) override {}
};
}  // namespace

TMovieExport::~TMovieExport() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void TMovieExport::Start(TMovie movie, const QString& folder) {
  Stop();
  if (thread_.joinable()) thread_.join();
  movie_.emplace(std::move(movie));
  running_ = true;
  shown_ = 0;
  mailbox_.Take();
  thread_ = std::jthread([this, folder](std::stop_token stop) {
    Run(stop, *movie_, folder);
    FreeThreadCaches();
  });
}

void TMovieExport::Run(std::stop_token stop, const TMovie& movie, const QString& folder) {
  const auto finish = [this](bool complete, const std::string& failure) {
    mailbox_.Post([&](TState& state) {
      state.Ended = true;
      state.Complete = complete;
      state.Failure = failure;
    });
  };
  TNoProgress noProgress;
  int number = 1;
  try {
    for (; number <= movie.Frames() && !stop.stop_requested(); ++number) {
      mailbox_.Post([&](TState& state) {
        state.Frame = number;
        state.Frames = movie.Frames();
      });
      const TView view = movie.FrameView(number);
      const QString file = QDir(folder).filePath(QString::fromStdString(FrameFileName(number)));
      if (HoldsFrame(QFile::encodeName(file).toStdString(), view)) continue;
      if (!SaveFile(file, [&](const TPngStreamSurface::TWriter& write) {
            return DrawPng(view, write, noProgress, TEngine::Fast, stop) == TPassEnd::Complete;
          }))
        break;
    }
  } catch (const std::exception& failure) {
    finish(false, failure.what());
    return;
  }
  finish(number > movie.Frames(), "");
}

void TMovieExport::Deliver() {
  const TState state = mailbox_.Take();
  if (!running_) return;
  if (state.Frame && state.Frame != shown_) emit Progress(shown_ = state.Frame, state.Frames);
  if (!state.Ended) return;
  running_ = false;
  emit Finished(state.Complete, QString::fromStdString(state.Failure));
}
