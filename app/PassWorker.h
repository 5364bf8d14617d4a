// Render passes off the user-interface thread: one long-lived thread runs
// them, and their rows and progress positions come back to the
// user-interface thread, where they are drawn into the pass's target.
#pragma once

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "Mailbox.h"
#include "Orbits.h"
#include "RenderPass.h"
#include "Surface.h"
#include "Types.h"

class TPassWorker : public QObject {
  Q_OBJECT

 public:
  explicit TPassWorker(QObject* parent = nullptr);
  // Stops the pass under way and waits for the thread.
  ~TPassWorker() override;

  // Starts a pass of `command` over a target that is already cleared; the
  // pass under way, if any, is abandoned first. Rows and positions reach
  // `target` and `sink` on this object's thread, in the order a blocking pass
  // gives them; both must last until the pass ends or is abandoned.
  void Start(wirolot::TOrbitKind command, const wirolot::TRenderParams& params, wirolot::IPictureSurface& target,
             wirolot::IProgressSink& sink);
  // Asks the pass under way to stop; the rows it has painted still arrive.
  void Stop();
  // Stops the pass under way and drops whatever it would still deliver.
  void Abandon();
  // True from Start until the pass's end has been delivered or it is abandoned.
  bool Running() const { return running_; }

 signals:
  // The pass started last has delivered everything.
  void Finished(wirolot::TPassEnd end);

 private:
  struct TJob {
    std::uint64_t Pass;
    wirolot::TOrbitKind Command;
    wirolot::TRenderParams Params;
    int Width, Height;
    std::stop_token Stop;
  };
  // A row of colours or counts, a progress position or the end of a pass, on
  // its way to the target.
  struct TDelivery {
    enum TKind { Row, CountRow, Position, End } Kind;
    std::uint64_t Pass;
    int X = 0, Y = 0;  // Position: Y holds the position
    std::vector<wirolot::TColor> Colors = {};
    std::vector<std::int32_t> Counts = {};
    wirolot::TPassEnd How = wirolot::TPassEnd::Complete;  // End: how the pass ended
    std::string Failure = {};  // End: what the pass raised, if anything
  };
  class THandOff;

  void Run(std::stop_token quit);
  void RunJob(const TJob& job);
  // Worker side: queues a delivery for the user-interface thread.
  void Post(TDelivery delivery);
  // User-interface side: draws what has arrived for the current pass.
  void Deliver();

  // User-interface thread only.
  std::uint64_t pass_ = 0;
  bool running_ = false;
  wirolot::IPictureSurface* target_ = nullptr;
  wirolot::IProgressSink* sink_ = nullptr;
  std::stop_source stop_;

  std::mutex jobMutex_;
  std::condition_variable_any jobReady_;
  std::optional<TJob> job_;

  TMailbox<std::vector<TDelivery>> mailbox_{this, [this] { Deliver(); }};

  std::jthread thread_;  // last: it goes first
};
