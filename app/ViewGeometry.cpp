#include "ViewGeometry.h"

#include <cassert>
#include <cmath>
#include <limits>

#include "Walk.h"

namespace wirolot {

namespace {
// Position u in sample units along an axis whose samples are `samples`.
long double AxisAt(const std::vector<float>& samples, float first, float step, double u) {
  const std::size_t n = samples.size();
  if (n == 0) return first + u * static_cast<long double>(step);
  if (u <= 0 || n == 1) return samples.front() + u * static_cast<long double>(step);
  if (u >= double(n - 1)) return samples.back() + (u - double(n - 1)) * static_cast<long double>(step);
  const std::size_t k = std::size_t(u);
  return samples[k] + (u - double(k)) * (static_cast<long double>(samples[k + 1]) - samples[k]);
}

// Rounds to single; false for a value beyond the single range.
bool ToSingle(long double value, float& single) {
  if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return false;
  single = float(value);
  return true;
}

bool ToSingle(const TPlaneRect& r, TComplexRect& single) {
  return ToSingle(r.Cremin, single.Cremin) && ToSingle(r.Cremax, single.Cremax) && ToSingle(r.Cimmin, single.Cimmin) &&
         ToSingle(r.Cimmax, single.Cimmax);
}

bool Same(const TComplexRect& a, const TComplexRect& b) {
  return a.Cremin == b.Cremin && a.Cremax == b.Cremax && a.Cimmin == b.Cimmin && a.Cimmax == b.Cimmax;
}
}  // namespace

TViewGeometry::TViewGeometry(const TComplexRect& region, int width, int height)
    : firstRe_(region.Cremin),
      firstIm_(region.Cimmin),
      stepRe_(StepRe(region, width)),
      stepIm_(StepIm(region, height)) {
  assert(width > 0 && height > 0);
  const TWalk walk = PlanWalk(region, width, height);
  re_ = walk.Re;
  for (const TWalk::TRow& row : walk.Rows) im_.push_back(row.Im);
}

long double TViewGeometry::Re(double x) const { return AxisAt(re_, firstRe_, stepRe_, x - 1); }

long double TViewGeometry::Im(double y) const { return AxisAt(im_, firstIm_, stepIm_, y - 1); }

TPlaneRect ZoomedAbout(const TComplexRect& r, long double re, long double im, long double factor) {
  return {re - (re - r.Cremin) / factor, re + (r.Cremax - re) / factor, im - (im - r.Cimmin) / factor,
          im + (r.Cimmax - im) / factor};
}

TReach Reach(const TComplexRect& from, const TPlaneRect& to, int width, int height) {
  const auto along = [&](long double t, TComplexRect& region) {
    const auto at = [t](long double a, long double b) { return a + t * (b - a); };
    return ToSingle({at(from.Cremin, to.Cremin), at(from.Cremax, to.Cremax), at(from.Cimmin, to.Cimmin),
                     at(from.Cimmax, to.Cimmax)},
                    region) &&
           SamplesDistinct(region, width, height);
  };
  TComplexRect region;
  if (along(1, region)) return {region, false};
  if (!SamplesDistinct(from, width, height)) return {from, true};
  // Bisection for the last distinct region on the way; 64 halvings take t
  // below any single-precision difference.
  long double fits = 0, fails = 1;
  for (int i = 0; i < 64; ++i) {
    const long double t = (fits + fails) / 2;
    (along(t, region) ? fits : fails) = t;
  }
  if (!along(fits, region) || Same(region, from)) return {from, true};
  return {region, true};
}

}  // namespace wirolot
