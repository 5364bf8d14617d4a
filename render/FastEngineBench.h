// Hooks into the fast engine for the benchmark alone.
#pragma once

#include <cstdint>
#include <span>

#include "Orbits.h"

namespace wirolot {

// Orbits that ran to their limit in the fast engine so far in this process.
struct TInteriorTally {
  std::uint64_t Orbits = 0;  // how many
  std::uint64_t Proven = 0;  // of them, ended by a proof that they never leave
  std::uint64_t Steps = 0;   // steps iterated on them
};
TInteriorTally FastEngineInteriorTally();

// CountOrbitsFast with or without its proofs for orbits that never leave.
void CountOrbitsFastProving(bool prove, TOrbitKind kind, const TComplexRect& box, std::int32_t limit,
                            std::span<const float> re, std::span<const float> im, std::int32_t* counts);

}  // namespace wirolot
