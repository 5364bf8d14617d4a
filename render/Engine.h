// Orbit engines: the step counts of every sample of a pass, on all cores.
#pragma once

#include <cstdint>

#include "Orbits.h"
#include "RowPipeline.h"

namespace wirolot {

enum class TEngine {
  Reference,  // one sample at a time, every step in extended precision
  Fast,       // same counts, many samples at once
};

// Both write the step count of every sample `rows` hands out, by the rule of
// `kind`, and return once nothing is left or the pass is stopping.
void CountOrbitsReference(TOrbitKind kind, const TRenderParams& params, TRowPipeline& rows);
// `limit` is StepLimit(kind, Csample) for the pass's Csample.
void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows);

inline void CountOrbits(TOrbitKind kind, TEngine engine, const TRenderParams& params, std::int32_t limit,
                        TRowPipeline& rows) {
  if (engine == TEngine::Reference)
    CountOrbitsReference(kind, params, rows);
  else
    CountOrbitsFast(kind, params.Box, limit, rows);
}

}  // namespace wirolot
