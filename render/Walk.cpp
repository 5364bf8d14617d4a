#include "Walk.h"

#include <algorithm>
#include <cassert>

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

}  // namespace wirolot
