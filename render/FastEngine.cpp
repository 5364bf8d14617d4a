// The fast orbit engine: double-precision vector steps on all cores, each step
// certified to round to the same floats as the extended-precision rule, and
// recomputed with the rule itself where it might not.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "Engine.h"
#include "FastEngineBench.h"
#include "InteriorProof.h"

namespace wirolot {
namespace {

// The samples of one call.
struct TFastJob {
  TComplexRect Box;
  std::int32_t Limit;  // at least 1: every orbit takes a step
  std::span<const float> Re, Im;
  std::int32_t* Counts;
  bool Prove = true;  // end orbits proven never to leave the box
};

// A job's rows cut into segments of a given length, claimed by the threads
// one at a time, in order.
class TSegments {
 public:
  TSegments(const TFastJob& job, std::size_t length)
      : job_(job), length_(length), perRow_((job.Re.size() + length - 1) / length) {}

  std::size_t Count() const { return perRow_ * job_.Im.size(); }

  // Row and columns [begin, end) of the next segment; false when none is left.
  bool Claim(std::size_t& row, std::size_t& begin, std::size_t& end) {
    const std::size_t segment = next_.fetch_add(1, std::memory_order_relaxed);
    if (segment >= Count()) return false;
    row = segment / perRow_;
    begin = segment % perRow_ * length_;
    end = std::min(begin + length_, job_.Re.size());
    return true;
  }

 private:
  const TFastJob& job_;
  const std::size_t length_, perRow_;
  std::atomic<std::size_t> next_{0};
};

std::atomic<std::uint64_t> gFallbackSteps{0};
std::atomic<std::uint64_t> gInteriorOrbits{0}, gInteriorProven{0}, gInteriorSteps{0};

// One thread's tally of the orbits that ran to their limit, added to the
// process's when it goes.
struct TInteriorCount : TInteriorTally {
  ~TInteriorCount() {
    gInteriorOrbits.fetch_add(Orbits, std::memory_order_relaxed);
    gInteriorProven.fetch_add(Proven, std::memory_order_relaxed);
    gInteriorSteps.fetch_add(Steps, std::memory_order_relaxed);
  }
};

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

void CountOrbitsFastProving(bool prove, TOrbitKind kind, const TComplexRect& box, std::int32_t limit,
                            std::span<const float> re, std::span<const float> im, std::int32_t* counts) {
  HWY_DYNAMIC_DISPATCH(CountCertified)(kind, TFastJob{box, std::max(limit, 1), re, im, counts, prove});
}

TInteriorTally FastEngineInteriorTally() {
  return {gInteriorOrbits.load(std::memory_order_relaxed), gInteriorProven.load(std::memory_order_relaxed),
          gInteriorSteps.load(std::memory_order_relaxed)};
}

}  // namespace wirolot
#endif
