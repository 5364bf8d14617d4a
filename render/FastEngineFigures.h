// What the fast engine counts as it goes (steps, exact recomputations,
// orbits that ran to their limit), for the benchmarks; and two
// variants of it, for measuring what its check and its proofs cost.
#pragma once

#include <cstdint>

#include "Orbits.h"
#include "RowPipeline.h"

namespace wirolot {

// The fast engine without its exactness check: double steps only, so an
// occasional count may differ.
void CountOrbitsUnchecked(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows);

// The fast engine with or without its proofs that an orbit never leaves the box.
void CountOrbitsFastProving(bool prove, TOrbitKind kind, const TComplexRect& box, std::int32_t limit,
                            TRowPipeline& rows);

// Lane steps the fast engine has recomputed exactly so far in this process.
std::uint64_t FastEngineFallbackSteps();

// Orbits the fast engine has run so far in this process: those that ran to
// their limit, and the steps of those that left the box.
struct TOrbitTally {
  std::uint64_t Orbits = 0;  // how many
  std::uint64_t Proven = 0;  // of them, ended by a proof that they never leave
  std::uint64_t Steps = 0;   // steps iterated on them
  std::uint64_t EscapedSteps = 0;  // steps of the orbits that left the box
};
TOrbitTally FastEngineOrbitTally();

}  // namespace wirolot
