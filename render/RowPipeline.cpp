#include "RowPipeline.h"

#include <algorithm>
#include <cassert>

#include <omp.h>

namespace wirolot {

namespace {
// The fewest rows held for each computing thread, however wide the rows are.
constexpr std::size_t kRowsPerThread = 4;

std::size_t WindowRows(const TWalk& walk) {
  const std::size_t rowBytes = std::max<std::size_t>(walk.Re.size(), 1) * sizeof(std::int32_t);
  const std::size_t fewest = kRowsPerThread * std::size_t(omp_get_max_threads());
  return std::max<std::size_t>(1, std::min(walk.VisibleRows, std::max(fewest, TRowPipeline::kWindowBytes / rowBytes)));
}
}  // namespace

TRowPipeline::TRowPipeline(const TWalk& walk, IPictureSurface& surface, IProgressSink& sink, std::stop_token stop)
    : walk_(walk),
      surface_(surface),
      sink_(sink),
      windowRows_(WindowRows(walk)),
      counts_(windowRows_ * walk.Re.size()),
      pending_(new std::atomic<std::size_t>[windowRows_]),
      onStop_(stop, [this] { stopping_.request_stop(); }),
      onStopping_(stopping_.get_token(), [this] { WakeClaimers(); }) {
  for (std::size_t k = 0; k < windowRows_; ++k) pending_[k].store(walk.Re.size(), std::memory_order_relaxed);
}

TRowPipeline::TClaim TRowPipeline::TryClaim(std::size_t length, TSegment& segment) {
  assert(length > 0);
  std::lock_guard lock(claimMutex_);
  if (Stopping() || claimRow_ >= walk_.VisibleRows || walk_.Re.empty()) return TClaim::Done;
  if (claimRow_ >= painted_.load(std::memory_order_acquire) + windowRows_) return TClaim::Full;
  segment = {claimRow_, claimColumn_, std::min(claimColumn_ + length, walk_.Re.size())};
  claimColumn_ = segment.End;
  if (claimColumn_ == walk_.Re.size()) {
    ++claimRow_;
    claimColumn_ = 0;
  }
  return TClaim::Taken;
}

bool TRowPipeline::Claim(std::size_t length, TSegment& segment) {
  for (;;) {
    const TClaim claim = TryClaim(length, segment);
    if (claim != TClaim::Full) return claim == TClaim::Taken;
    std::unique_lock lock(claimMutex_);
    room_.wait(lock, [this] { return Stopping() || claimRow_ < painted_.load(std::memory_order_acquire) + windowRows_; });
  }
}

bool TRowPipeline::Counted(std::size_t row, std::size_t samples) {
  if (samples == 0) return false;
  // The last counts of a row: whoever writes them paints what is complete.
  if (pending_[row % windowRows_].fetch_sub(samples, std::memory_order_acq_rel) != samples) return false;
  std::lock_guard lock(paintMutex_);
  return PaintCompleteRows();
}

bool TRowPipeline::PaintCompleteRows() {
  std::size_t row = painted_.load(std::memory_order_relaxed);
  const std::size_t before = row;
  // A stop holds from the next row on, whatever is complete.
  while (!failure_ && !Stopping() && row < walk_.VisibleRows &&
         pending_[row % windowRows_].load(std::memory_order_acquire) == 0) {
    try {
      sink_.SetPosition(walk_.Rows[row].Progress);
      if (!walk_.Re.empty()) surface_.PlotCounts(1, int(row) + 1, {Counts(row), walk_.Re.size()});
    } catch (...) {
      failure_ = std::current_exception();
      stopping_.request_stop();
      break;
    }
    // The slot now holds the row a window further down.
    pending_[row % windowRows_].store(walk_.Re.size(), std::memory_order_relaxed);
    painted_.store(++row, std::memory_order_release);
  }
  if (row == before) return false;
  WakeClaimers();
  return true;
}

void TRowPipeline::WakeClaimers() {
  { std::lock_guard lock(claimMutex_); }
  room_.notify_all();
}

TPassEnd TRowPipeline::Finish() {
  std::lock_guard lock(paintMutex_);
  PaintCompleteRows();  // rows without samples complete at once
  if (failure_) std::rethrow_exception(failure_);
  if (painted_.load() < walk_.VisibleRows) return TPassEnd::Stopped;
  for (std::size_t row = walk_.VisibleRows; row < walk_.Rows.size(); ++row) sink_.SetPosition(walk_.Rows[row].Progress);
  return TPassEnd::Complete;
}

}  // namespace wirolot
