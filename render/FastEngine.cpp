// The fast orbit engine: double-precision vector steps on all cores, each step
// certified to round to the same floats as the extended-precision rule, and
// recomputed with the rule itself where it might not.
#include <algorithm>
#include <atomic>

#include "Engine.h"
#include "FastEngineFigures.h"
#include "FastEngineJob.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "FastEngine-inl.h"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
#include "hwy/highway.h"
#include "FastEngine-inl.h"

#if HWY_ONCE
namespace wirolot {

namespace {
std::atomic<std::uint64_t> gFallbackSteps{0};
std::atomic<std::uint64_t> gInteriorOrbits{0}, gInteriorProven{0}, gInteriorSteps{0}, gEscapedSteps{0};
}  // namespace

HWY_EXPORT(CountCertified);
HWY_EXPORT(CountUnchecked);

void AddFallbackSteps(std::uint64_t steps) { gFallbackSteps.fetch_add(steps, std::memory_order_relaxed); }

void AddOrbitTally(const TOrbitTally& tally) {
  gInteriorOrbits.fetch_add(tally.Orbits, std::memory_order_relaxed);
  gInteriorProven.fetch_add(tally.Proven, std::memory_order_relaxed);
  gInteriorSteps.fetch_add(tally.Steps, std::memory_order_relaxed);
  gEscapedSteps.fetch_add(tally.EscapedSteps, std::memory_order_relaxed);
}

void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows) {
  HWY_DYNAMIC_DISPATCH(CountCertified)(kind, TFastJob{box, std::max(limit, 1), rows});
}

void CountOrbitsUnchecked(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows) {
  HWY_DYNAMIC_DISPATCH(CountUnchecked)(kind, TFastJob{box, std::max(limit, 1), rows});
}

void CountOrbitsFastProving(bool prove, TOrbitKind kind, const TComplexRect& box, std::int32_t limit,
                            TRowPipeline& rows) {
  HWY_DYNAMIC_DISPATCH(CountCertified)(kind, TFastJob{box, std::max(limit, 1), rows, prove});
}

std::uint64_t FastEngineFallbackSteps() { return gFallbackSteps.load(std::memory_order_relaxed); }

TOrbitTally FastEngineOrbitTally() {
  return {gInteriorOrbits.load(std::memory_order_relaxed), gInteriorProven.load(std::memory_order_relaxed),
          gInteriorSteps.load(std::memory_order_relaxed), gEscapedSteps.load(std::memory_order_relaxed)};
}

}  // namespace wirolot
#endif
