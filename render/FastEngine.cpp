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

namespace wirolot {
namespace {

// The samples of one pass.
struct TFastJob {
  TComplexRect Box;
  std::int32_t Limit;  // at least 1: every orbit takes a step
  TRowPipeline& Rows;
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

void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows) {
  HWY_DYNAMIC_DISPATCH(CountCertified)(kind, TFastJob{box, std::max(limit, 1), rows});
}

void CountOrbitsUnchecked(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows) {
  HWY_DYNAMIC_DISPATCH(CountUnchecked)(kind, TFastJob{box, std::max(limit, 1), rows});
}

std::uint64_t FastEngineFallbackSteps() { return gFallbackSteps.load(std::memory_order_relaxed); }

}  // namespace wirolot
#endif
