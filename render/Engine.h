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

// Both write the step count of every sample `rows` hands out, and return once
// nothing is left or the pass is stopping.
void CountOrbitsReference(TOrbitKind kind, const TRenderParams& params, TRowPipeline& rows);
// `limit` is the orbit's StepLimit for the pass's Csample.
void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, TRowPipeline& rows);

template <class Orbit>
void CountOrbits(TEngine engine, const TRenderParams& params, TRowPipeline& rows) {
  if (engine == TEngine::Reference)
    CountOrbitsReference(Orbit::kKind, params, rows);
  else
    CountOrbitsFast(Orbit::kKind, params.Box, Orbit::StepLimit(params.Csample), rows);
}

}  // namespace wirolot
