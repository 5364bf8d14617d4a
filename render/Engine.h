// Orbit engines: step counts for a block of samples.
#pragma once

#include <cstdint>
#include <span>

#include "Orbits.h"

namespace wirolot {

enum class TEngine {
  Reference,  // one sample at a time, every step in extended precision
  Fast,       // same counts, many samples at once on all cores
};

// Both write the step count of sample (re[i], im[j]) to counts[j * re.size() + i].
template <class Orbit>
void CountOrbitsReference(const TRenderParams& params, std::span<const float> re, std::span<const float> im,
                          std::int32_t* counts) {
  for (std::size_t j = 0; j < im.size(); ++j)
    for (std::size_t i = 0; i < re.size(); ++i)
      counts[j * re.size() + i] = OrbitSteps<Orbit>(re[i], im[j], params.Box, params.Csample);
}

// `limit` is the orbit's StepLimit for the pass's Csample.
void CountOrbitsFast(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, std::span<const float> re,
                     std::span<const float> im, std::int32_t* counts);

// For the benchmark: the fast engine without its exactness check (double
// steps only, so an occasional count may differ), and the number of lane steps
// the fast engine has recomputed exactly so far in this process.
void CountOrbitsUnchecked(TOrbitKind kind, const TComplexRect& box, std::int32_t limit, std::span<const float> re,
                          std::span<const float> im, std::int32_t* counts);
std::uint64_t FastEngineFallbackSteps();

template <class Orbit>
void CountOrbits(TEngine engine, const TRenderParams& params, std::span<const float> re, std::span<const float> im,
                 std::int32_t* counts) {
  if (engine == TEngine::Reference)
    CountOrbitsReference<Orbit>(params, re, im, counts);
  else
    CountOrbitsFast(Orbit::kKind, params.Box, Orbit::StepLimit(params.Csample), re, im, counts);
}

}  // namespace wirolot
