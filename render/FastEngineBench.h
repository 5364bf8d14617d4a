// Hooks into the fast engine for the benchmarks only.
#pragma once

#include <cstdint>

#include "Orbits.h"
#include "RowPipeline.h"

namespace wirolot {

// The fast engine without its exactness check: double steps only, so an
// occasional count may differ.
void CountOrbitsUnchecked(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows);

// Lane steps the fast engine has recomputed exactly so far in this process.
std::uint64_t FastEngineFallbackSteps();

}  // namespace wirolot
