// What the fast engine's vector kernels (FastEngine-inl.h, compiled once per
// instruction set) share with the code that dispatches to them.
#pragma once

#include <cstdint>

#include "Orbits.h"
#include "RowPipeline.h"

namespace wirolot {

// The samples of one pass.
struct TFastJob {
  TComplexRect Box;
  std::int32_t Limit;  // at least 1: every orbit takes a step
  TRowPipeline& Rows;
};

// Adds to the count of lane steps recomputed exactly in this process.
void AddFallbackSteps(std::uint64_t steps);

}  // namespace wirolot
