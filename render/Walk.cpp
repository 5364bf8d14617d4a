#include "Walk.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "Extended.h"

namespace wirolot {

float StepRe(const TComplexRect& r, int width) {
  assert(width >= 1);
  return float((TExtended(r.Cremax) - r.Cremin) / width);
}

float StepIm(const TComplexRect& r, int height) {
  assert(height >= 1);
  return float((TExtended(r.Cimmax) - r.Cimmin) / height);
}

int ProgressPosition(float im, const TComplexRect& r) {
  const TExtended v = (TExtended(im) - r.Cimmin) * 100 / (TExtended(r.Cimmax) - r.Cimmin);
  if (!(v > 0)) return 0;
  if (v >= 100) return 100;
  return int(v);
}

TWalk PlanWalk(const TComplexRect& r, int width, int height) {
  assert(width >= 1 && height >= 1);
  TWalk walk;
  const float dRe = StepRe(r, width), dIm = StepIm(r, height);

  for (float re = r.Cremin; re < r.Cremax && walk.Re.size() + 1 < std::size_t(width); re = float(TExtended(re) + dRe))
    walk.Re.push_back(re);

  for (float im = r.Cimmin; im < r.Cimmax;) {
    walk.Rows.push_back({im, ProgressPosition(im, r)});
    const float next = float(TExtended(im) + dIm);
    if (next == im && walk.Rows.size() + 1 >= std::size_t(height)) break;
    im = next;
  }
  walk.VisibleRows = std::min(walk.Rows.size(), std::size_t(height - 1));
  return walk;
}

bool SamplesDistinct(const TComplexRect& r, int width, int height) {
  assert(width > 0 && height > 0);
  for (float bound : {r.Cremin, r.Cremax, r.Cimmin, r.Cimmax})
    if (!std::isfinite(bound)) return false;
  if (!(r.Cremin < r.Cremax && r.Cimmin < r.Cimmax)) return false;
  if (!std::isfinite(StepRe(r, width)) || !std::isfinite(StepIm(r, height))) return false;
  // The walk adds each step in single precision, so a step can stop
  // advancing anywhere: check every sample, not the step's size.
  const TWalk walk = PlanWalk(r, width, height);
  for (std::size_t k = 1; k < walk.Re.size(); ++k)
    if (walk.Re[k] == walk.Re[k - 1]) return false;
  for (std::size_t k = 1; k < walk.VisibleRows; ++k)
    if (walk.Rows[k].Im == walk.Rows[k - 1].Im) return false;
  return true;
}

}  // namespace wirolot
