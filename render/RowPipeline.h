// The rows of one pass on their way from the computing threads to the
// surface: threads claim segments of rows and write their step counts; a row
// is painted as soon as it and every row above it are complete.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <vector>

#include "Surface.h"
#include "Types.h"
#include "Walk.h"

namespace wirolot {

class TRowPipeline {
 public:
  // Columns [Begin, End) of a visible row.
  struct TSegment {
    std::size_t Row, Begin, End;
  };
  enum class TClaim { Taken, Full, Done };

  // Counts held in flight at most, unless rows are wider than this over the
  // rows each thread needs.
  static constexpr std::size_t kWindowBytes = std::size_t(1) << 22;

  // The surface must already be cleared. `stop` ends the pass early.
  TRowPipeline(const TWalk& walk, IPictureSurface& surface, IProgressSink& sink, std::stop_token stop);
  TRowPipeline(const TRowPipeline&) = delete;
  TRowPipeline& operator=(const TRowPipeline&) = delete;

  // Real parts of every row's samples, and the imaginary part of a row.
  std::span<const float> Re() const { return walk_.Re; }
  float Im(std::size_t row) const { return walk_.Rows[row].Im; }
  // Samples in all visible rows.
  std::size_t Samples() const { return walk_.Re.size() * walk_.VisibleRows; }

  // Takes the next segment, of at most `length` columns, in row order. Full:
  // the rows ahead of the painted ones fill the pipeline for now. Done:
  // nothing is left to claim, or the pass is stopping.
  TClaim TryClaim(std::size_t length, TSegment& segment);
  // The same, waiting while the pipeline is full.
  bool Claim(std::size_t length, TSegment& segment);

  // Where the counts of a claimed row go, indexed by column.
  std::int32_t* Counts(std::size_t row) { return counts_.data() + row % windowRows_ * walk_.Re.size(); }
  // `samples` more counts of `row` are written; paints the rows that became
  // complete, and says whether it painted any. Any thread, any order.
  bool Counted(std::size_t row, std::size_t samples);

  // True once the pass is to end early: on request or after a surface failure.
  bool Stopping() const { return stopping_.stop_requested(); }
  std::stop_token StopToken() const { return stopping_.get_token(); }

  // After the computing threads have returned: reports the rows that only
  // give progress, says how the pass ended, and raises what the surface raised.
  TPassEnd Finish();

 private:
  bool PaintCompleteRows();  // under paintMutex_; whether it painted any
  void WakeClaimers();

  const TWalk& walk_;
  IPictureSurface& surface_;
  IProgressSink& sink_;
  const std::size_t windowRows_;  // rows held at once, a ring over the picture
  std::vector<std::int32_t> counts_;
  std::unique_ptr<std::atomic<std::size_t>[]> pending_;  // counts a held row still lacks

  std::mutex claimMutex_;
  std::condition_variable room_;
  std::size_t claimRow_ = 0, claimColumn_ = 0;  // the next segment's start
  std::atomic<std::size_t> painted_{0};         // rows painted, top down

  std::mutex paintMutex_;
  std::exception_ptr failure_;

  std::stop_source stopping_;
  std::stop_callback<std::function<void()>> onStop_, onStopping_;
};

}  // namespace wirolot
