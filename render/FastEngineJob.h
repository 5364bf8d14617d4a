// What the fast engine's vector kernels (FastEngine-inl.h, compiled once per
// instruction set) share with the code that dispatches to them.
#pragma once

#include <cstdint>

#include "FastEngineFigures.h"
#include "Orbits.h"
#include "RowPipeline.h"

namespace wirolot {

// The samples of one pass.
struct TFastJob {
  TComplexRect Box;
  std::int32_t Limit;  // at least 1: every orbit takes a step
  TRowPipeline& Rows;
  bool Prove = true;  // end orbits proven never to leave the box
};

// Add a thread's figures to the process's, for the benchmarks.
void AddFallbackSteps(std::uint64_t steps);
void AddOrbitTally(const TOrbitTally& tally);

}  // namespace wirolot
