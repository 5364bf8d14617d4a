// The walk over the analysis region: which samples a pass takes and where
// they land, by repeated single-precision addition.
#pragma once

#include <cstdint>
#include <vector>

#include "Types.h"

namespace wirolot {

struct TWalk {
  // Real parts of the samples of every row that land inside the surface:
  // Re[i] is painted in column i + 1. The same for every row.
  std::vector<float> Re;
  // Every row walked, in order; row j is painted in pixel row j + 1 while that
  // lies inside the surface, and the rows below it only report progress.
  struct TRow {
    float Im;
    int Progress;
  };
  std::vector<TRow> Rows;
  // How many leading rows land inside the surface.
  std::size_t VisibleRows = 0;
};

// Sampling steps for a surface of width x height pixels, each at least 1.
float StepRe(const TComplexRect& region, int width);
float StepIm(const TComplexRect& region, int height);

// Progress position of the row at im: (im - Cimmin) * 100 / (Cimmax - Cimmin)
// in extended precision, truncated toward zero, held to 0..100 (NaN gives 0).
int ProgressPosition(float im, const TComplexRect& region);

// Samples past the right edge of the surface leave no mark, so a row ends at
// the last column; that also bounds a row whose re no longer advances. A walk
// whose im no longer advances ends once the remaining rows could only repeat
// the last row's progress position.
TWalk PlanWalk(const TComplexRect& region, int width, int height);

// True if the bounds are finite and ordered and no two neighbouring samples
// of a width x height picture get the same coordinate.
bool SamplesDistinct(const TComplexRect& region, int width, int height);

}  // namespace wirolot
