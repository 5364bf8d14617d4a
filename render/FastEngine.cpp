// The fast orbit engine: double-precision vector steps on all cores, each step
// certified to round to the same floats as the extended-precision rule, and
// recomputed with the rule itself where it might not.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "Engine.h"

namespace wirolot {
namespace {

// The samples of one call, handed out to the threads in short row segments.
struct TFastJob {
  TComplexRect Box;
  std::int32_t Limit;  // at least 1: every orbit takes a step
  std::span<const float> Re, Im;
  std::int32_t* Counts;

  static constexpr std::size_t kSegment = 16;
  std::size_t SegmentsPerRow() const { return (Re.size() + kSegment - 1) / kSegment; }
  std::size_t Segments() const { return SegmentsPerRow() * Im.size(); }
};

struct TSample {
  float Re, Im;
  std::size_t Slot;  // index into Counts
};

// One thread's supply of samples: the next sample of the segment it holds,
// then of the next segment not yet claimed by any thread.
class TSampleSupply {
 public:
  TSampleSupply(const TFastJob& job, std::atomic<std::size_t>& cursor) : job_(job), cursor_(cursor) {}

  bool Next(TSample& sample) {
    if (column_ == end_ && !Claim()) return false;
    sample = {job_.Re[column_], job_.Im[row_], row_ * job_.Re.size() + column_};
    ++column_;
    return true;
  }

 private:
  bool Claim() {
    const std::size_t segment = cursor_.fetch_add(1, std::memory_order_relaxed);
    if (segment >= job_.Segments()) return false;
    row_ = segment / job_.SegmentsPerRow();
    column_ = segment % job_.SegmentsPerRow() * TFastJob::kSegment;
    end_ = std::min(column_ + TFastJob::kSegment, job_.Re.size());
    return true;
  }

  const TFastJob& job_;
  std::atomic<std::size_t>& cursor_;
  std::size_t row_ = 0, column_ = 0, end_ = 0;
};

std::atomic<std::uint64_t> gFallbackSteps{0};

}  // namespace
}  // namespace wirolot

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "FastEngine-inl.h"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"
#include "FastEngine-inl.h"

#if HWY_ONCE
namespace wirolot {

HWY_EXPORT(CountCertified);
HWY_EXPORT(CountUnchecked);

void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, std::span<const float> re,
                     std::span<const float> im, std::int32_t* counts) {
  HWY_DYNAMIC_DISPATCH(CountCertified)(kind, TFastJob{box, std::max(limit, 1), re, im, counts});
}

void CountOrbitsUnchecked(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, std::span<const float> re,
                          std::span<const float> im, std::int32_t* counts) {
  HWY_DYNAMIC_DISPATCH(CountUnchecked)(kind, TFastJob{box, std::max(limit, 1), re, im, counts});
}

std::uint64_t FastEngineFallbackSteps() { return gFallbackSteps.load(std::memory_order_relaxed); }

}  // namespace wirolot
#endif
