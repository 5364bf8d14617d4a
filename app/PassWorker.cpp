#include "PassWorker.h"

#include <cassert>
#include <exception>

#include "Fractals.h"
#include "Vcl.h"

using namespace wirolot;

// The surface and sink a pass draws into on the computing threads: each row
// and position is copied out to the user-interface thread.
class TPassWorker::THandOff final : public TPixelSurface, public IProgressSink {
 public:
  THandOff(TPassWorker& worker, const TJob& job) : TPixelSurface(job.Width, job.Height), worker_(worker), pass_(job.Pass) {}
  void SetPosition(int position) override { worker_.Post({TDelivery::Position, pass_, 0, position}); }

 protected:
  void PlotSpan(int y, int left, std::span<const TColor> colors) override {
    worker_.Post({TDelivery::Row, pass_, left, y, {colors.begin(), colors.end()}});
  }
  void CountSpan(int y, int left, std::span<const std::int32_t> counts) override {
    worker_.Post({TDelivery::CountRow, pass_, left, y, {}, {counts.begin(), counts.end()}});
  }

 private:
  TPassWorker& worker_;
  const std::uint64_t pass_;
};

TPassWorker::TPassWorker(QObject* parent)
    : QObject(parent), thread_([this](std::stop_token quit) { Run(quit); }) {}

TPassWorker::~TPassWorker() {
  Abandon();
  thread_.request_stop();
  thread_.join();
}

void TPassWorker::Start(TOrbitKind command, const TRenderParams& params, IPictureSurface& target,
                        IProgressSink& sink) {
  assert(target.Width() > 0 && target.Height() > 0);
  Abandon();
  target_ = &target;
  sink_ = &sink;
  running_ = true;
  {
    std::lock_guard lock(jobMutex_);
    job_ = TJob{pass_, command, params, target.Width(), target.Height(), stop_.get_token()};
  }
  jobReady_.notify_one();
}

void TPassWorker::Stop() { stop_.request_stop(); }

void TPassWorker::Abandon() {
  stop_.request_stop();
  stop_ = {};
  ++pass_;
  running_ = false;
  target_ = nullptr;
  sink_ = nullptr;
  std::lock_guard lock(jobMutex_);
  job_.reset();
}

void TPassWorker::Run(std::stop_token quit) {
  for (;;) {
    TJob job;
    {
      std::unique_lock lock(jobMutex_);
      if (!jobReady_.wait(lock, quit, [this] { return job_.has_value(); })) return;
      job = std::move(*job_);
      job_.reset();
    }
    RunJob(job);
  }
}

void TPassWorker::RunJob(const TJob& job) {
  THandOff handOff(*this, job);
  TDelivery end{TDelivery::End, job.Pass};
  try {
    end.How = DrawRows(job.Command, {}, handOff, job.Params, handOff, TEngine::Fast, job.Stop);
  } catch (const std::exception& failure) {
    end.How = TPassEnd::Stopped;
    end.Failure = failure.what();
  }
  Post(std::move(end));
}

void TPassWorker::Post(TDelivery delivery) {
  mailbox_.Post([&delivery](std::vector<TDelivery>& out) { out.push_back(std::move(delivery)); });
}

void TPassWorker::Deliver() {
  for (const TDelivery& delivery : mailbox_.Take()) {
    // A pass abandoned since, or a target changed under it: nothing to draw.
    if (delivery.Pass != pass_ || !running_) continue;
    switch (delivery.Kind) {
      case TDelivery::Row:
        target_->PlotRow(delivery.X, delivery.Y, delivery.Colors);
        break;
      case TDelivery::CountRow:
        target_->PlotCounts(delivery.X, delivery.Y, delivery.Counts);
        break;
      case TDelivery::Position:
        sink_->SetPosition(delivery.Y);
        break;
      case TDelivery::End:
        running_ = false;
        if (!delivery.Failure.empty()) ShowException(Exception(delivery.Failure));
        emit Finished(delivery.How);
        break;
    }
  }
}
