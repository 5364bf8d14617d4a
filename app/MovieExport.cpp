#include "MovieExport.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "Convert.h"
#include "Fractals.h"
#include "PngStreamSurface.h"

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
  {
    std::lock_guard lock(mutex_);
    state_ = {};
  }
  thread_ = std::jthread([this, folder](std::stop_token stop) {
    Run(stop, *movie_, folder);
    FreeThreadCaches();
  });
}

void TMovieExport::Run(std::stop_token stop, const TMovie& movie, const QString& folder) {
  const auto finish = [this](bool complete, const std::string& failure) {
    Post([&](TState& state) {
      state.Ended = true;
      state.Complete = complete;
      state.Failure = failure;
    });
  };
  TNoProgress noProgress;
  int number = 1;
  try {
    for (; number <= movie.Frames() && !stop.stop_requested(); ++number) {
      Post([&](TState& state) {
        state.Frame = number;
        state.Frames = movie.Frames();
      });
      const TView view = movie.FrameView(number);
      const QString file = QDir(folder).filePath(QString::fromStdString(FrameFileName(number)));
      if (HoldsFrame(QFile::encodeName(file).toStdString(), view)) continue;
      // Written beside the frame and renamed into place on commit, unbuffered so that every failed write is seen.
      QSaveFile out(file);
      if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) throw Exception(out.errorString().toStdString());
      TPngStreamSurface png(view, [&out](const std::uint8_t* data, std::size_t size) {
        if (out.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
          throw Exception(out.errorString().toStdString());
      });
      ClearPicture(png);
      if (DrawRows(view.Command, png, ConvertTexts(view.Texts, view.DecimalSeparator), noProgress, TEngine::Fast,
                   stop) != TPassEnd::Complete)
        break;
      png.Finish();
      if (!out.commit()) throw Exception(out.errorString().toStdString());
    }
  } catch (const std::exception& failure) {
    finish(false, failure.what());
    return;
  }
  finish(number > movie.Frames(), "");
}

void TMovieExport::Post(const std::function<void(TState&)>& change) {
  std::lock_guard lock(mutex_);
  change(state_);
  if (wakePosted_) return;
  wakePosted_ = true;
  QMetaObject::invokeMethod(this, "Deliver", Qt::QueuedConnection);
}

void TMovieExport::Deliver() {
  TState state;
  {
    std::lock_guard lock(mutex_);
    state = state_;
    wakePosted_ = false;
  }
  if (!running_) return;
  if (state.Frame != shown_) emit Progress(shown_ = state.Frame, state.Frames);
  if (!state.Ended) return;
  running_ = false;
  emit Finished(state.Complete, QString::fromStdString(state.Failure));
}
