// Disc certificates for orbits caught by an attracting cycle.
//
// Discs D_k = D(w_k, r_k), k = 0 ... p, about a cycle of period p: w_0 lies
// near a point of the cycle (found by Newton's method in double; any w_0
// would do for soundness) and w_{k+1} is f(w_k) computed in double. For every
// float z in D_k the rounded step F(z) lies in D_{k+1} if
//   r_{k+1} >= r_k K_k + rho + e_k + E_k, with
//   K_k >= |f(z) - f(w_k)| / |z - w_k|: 2|w| + r for z^2 + c, and for
//          z (z^2 + c), where f(z) - f(w) = d (3w^2 + c + 3wd + d^2) with
//          d = z - w, |3w^2 + c| + 3|w| r + r^2;
//   e_k >= |f(w_k) - w_{k+1}|, the rounding of the double centre;
//   E_k >= |F(z) - f(z)|, the rounding of the rule itself;
//   rho >= |c - c_0|, where several orbits of z^2 + c are proven at once,
//          with the map's c_0 one of their parameters (0 for one orbit).
// If the orbits' points lie in D_0, D_p in D_0 (|w_p - w_0| + r_p <= r_0) and
// every D_k strictly inside the box, each orbit stays in the discs, and so
// inside the box, forever.
//
// The bounds, with R >= |z| and S >= |f(z)|:
// - Extended (64-bit significand, nearest even) never underflows here, each
//   operation errs by at most u = 2^-64 of its result, and the squares and
//   2 zr zi are exact. A component X of f(z) then comes out of the extended
//   arithmetic within 8u (R^2 + |X|) for z^2 + c, and within
//   8u (R (R^2 + 1) + |X|) for z (z^2 + c), where |c| < 2.1 and the five
//   roundings on P, Q and their products weigh at most 5 R (R^2 + 1). The
//   bound below takes u = 2^-53, so it holds for double intermediates too.
// - The store to single errs by at most 2^-24 of the value, or 2^-150 among
//   the subnormal singles: so by at most 2^-24 |s| + 2^-150. The discs lie in
//   the box, whose bounds are finite singles, so nothing overflows.
// - Both components together (Minkowski): |F(z) - f(z)| <=
//   2^-24 S + 2^-49 ((R + 1)^3 + S) + 2^-149.
// - The double centre: the same count of roundings at 2^-53 each gives
//   e_k <= 2^-49 ((|w| + 1)^3 + |w_{k+1}|), plus 2^-1000 for underflow.
// - The bounds themselves are computed in double, rounding to nearest, from
//   non-negative terms (|3w^2 + c| gets its own error term), so each is at
//   least (1 - 2^-53)^30 of the value it stands for; the factor kMargin on
//   each radius and in each comparison covers that.
#include "InteriorProof.h"

#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>

namespace wirolot {
namespace {

constexpr double kMargin = 1 + 0x1p-40;

// The longest cycle looked for.
constexpr int kLongestCycle = 32;

struct TCentre {
  double Re, Im;
};

double Norm(TCentre w) { return w.Re * w.Re + w.Im * w.Im; }
double Abs(TCentre w) { return std::sqrt(Norm(w)); }
TCentre Difference(TCentre a, TCentre b) { return {a.Re - b.Re, a.Im - b.Im}; }
TCentre Product(TCentre a, TCentre b) { return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re}; }
TCentre Sum(TCentre a, TCentre b) { return {a.Re + b.Re, a.Im + b.Im}; }
TCentre Root(TCentre a) {
  const double m = Abs(a), re = std::sqrt((m + a.Re) / 2), im = std::sqrt((m - a.Re) / 2);
  return {re, a.Im < 0 ? -im : im};
}
TCentre Quotient(TCentre a, TCentre b) {
  const double scale = 1 / Norm(b);
  return {(a.Re * b.Re + a.Im * b.Im) * scale, (a.Im * b.Re - a.Re * b.Im) * scale};
}

// z^2 + c.
struct TQuadratic {
  static constexpr int kDegree = 2;
  double Cre, Cim;
  TCentre Next(TCentre w) const { return {(w.Re * w.Re - w.Im * w.Im) + Cre, (2 * w.Re) * w.Im + Cim}; }
  TCentre Slope(TCentre w) const { return {2 * w.Re, 2 * w.Im}; }
  TCentre Curvature(TCentre) const { return {2, 0}; }
  double Spread(TCentre, double absW, double r) const { return 2 * absW + r; }
};

// z (z^2 + c).
struct TCubic {
  static constexpr int kDegree = 3;
  static constexpr double kCre = TJuliaOrbit::kCre, kCim = TJuliaOrbit::kCim;
  TCentre Next(TCentre w) const {
    const double p = (w.Re * w.Re - w.Im * w.Im) + kCre, q = (2 * w.Re) * w.Im + kCim;
    return {p * w.Re - q * w.Im, p * w.Im + q * w.Re};
  }
  TCentre Slope(TCentre w) const { return {3 * (w.Re * w.Re - w.Im * w.Im) + kCre, (6 * w.Re) * w.Im + kCim}; }
  TCentre Curvature(TCentre w) const { return {6 * w.Re, 6 * w.Im}; }
  double Spread(TCentre w, double absW, double r) const {
    return Abs(Slope(w)) + 0x1p-48 * (3 * absW * absW + 3) + (3 * absW + r) * r;
  }
};

// The box, within the float range, as doubles.
struct TBounds {
  double ReMin, ReMax, ImMin, ImMax;
  explicit TBounds(const TComplexRect& box)
      : ReMin(std::max<double>(box.Cremin, -FLT_MAX)), ReMax(std::min<double>(box.Cremax, FLT_MAX)),
        ImMin(std::max<double>(box.Cimmin, -FLT_MAX)), ImMax(std::min<double>(box.Cimmax, FLT_MAX)) {}

  // Whether the closed disc lies strictly inside.
  bool Hold(TCentre w, double r) const {
    const double reach = r * kMargin;
    return w.Re - ReMin > reach && ReMax - w.Re > reach && w.Im - ImMin > reach && ImMax - w.Im > reach;
  }
};

// The radius about `next` = map.Next(w) that holds the rounded step of every
// float within r of w, for every parameter within rho of the map's.
template <class Map>
double NextRadius(const Map& map, TCentre w, double absW, double absNext, double r, double rho) {
  const double spread = r * map.Spread(w, absW, r) + rho;
  const double cube = (absW + 1) * (absW + 1) * (absW + 1);
  const double centre = 0x1p-49 * (cube + absNext) + 0x1p-1000;
  const double image = absNext + centre + spread;
  const double reach = absW + r + 1;
  const double rounding = 0x1p-24 * image + 0x1p-49 * (reach * reach * reach + image) + 0x1p-149;
  return (spread + centre + rounding) * kMargin;
}

// A cycle is tried once the double orbit comes back this close.
constexpr double kNear = 0x1p-6;

// Whether discs about a cycle of `period` near z[anchor] trap the orbits
// through all z, each with a parameter within rho of the map's. `image` is
// f^period(z[anchor]), `slope` and `curvature` its first two derivatives.
template <class Map>
TProof Trap(const Map& map, std::span<const TOrbitPoint> z, std::size_t anchor, double rho, int period, TCentre image,
          TCentre slope, TCentre curvature, const TBounds& bounds) {
  const TCentre start{z[anchor].zr, z[anchor].zi};
  // The fixed point of f^period nearest the start, to second order: the
  // root d of g + g' d + g'' d^2 / 2 with g = f^period - id, and the slope
  // there. Where that slope is below 1, too early, most likely, if the start
  // lies too far off: a disc of radius d about the cycle grows to about
  // |slope| d + d^2 over it.
  // The start serves as centre if f^period moves it by little next to the
  // noise of the roundings, which the contraction 1 - |slope| amplifies.
  const double settled = 0x1p-50 * std::max(1 - Norm(slope), 0.0) * std::max(1 - Norm(slope), 0.0);
  const TCentre moved = Difference(image, start);
  TCentre step = {0, 0};
  if (Norm(moved) > settled) {
    const TCentre tilt = {slope.Re - 1, slope.Im};
    const TCentre root = Root(Difference(Product(tilt, tilt), Product(Product(moved, curvature), {2, 0})));
    const TCentre plus = Sum(tilt, root), minus = Difference(tilt, root);
    step = Quotient(Product(moved, {-2, 0}), Norm(plus) > Norm(minus) ? plus : minus);
  }
  const double shrink = 1 - Norm(Sum(slope, Product(curvature, step)));
  if (shrink > 0 && !(Norm(step) < shrink * shrink / 16)) return TProof::NotYet;
  // For a quadratic f^period that fixed point is exact: if it repels, so does the cycle.
  if (Map::kDegree == 2 && period == 1 && !(shrink > 0)) return TProof::Hopeless;
  // Newton's method from there, until f^period barely moves the point.
  TCentre w[kLongestCycle + 1];
  w[0] = Sum(start, step);
  if (step.Re != 0 || step.Im != 0) {
    image = w[0];
    slope = {1, 0};
    for (int k = 0; k < period; ++k) {
      slope = Product(slope, map.Slope(image));
      image = map.Next(image);
    }
  }
  for (int iteration = 0; iteration < 4; ++iteration) {
    const TCentre moved = Difference(image, w[0]);
    if (!(Norm(moved) > settled)) break;
    w[0] = Difference(w[0], Quotient(moved, {slope.Re - 1, slope.Im}));
    image = w[0];
    slope = {1, 0};
    for (int k = 0; k < period; ++k) {
      slope = Product(slope, map.Slope(image));
      image = map.Next(image);
    }
  }
  // Over the cycle a disc of radius r grows to about growth r + noise, the
  // radius that a point grows to.
  double absW[kLongestCycle + 1];
  absW[0] = Abs(w[0]);
  double growth = 1, noise = 0;
  for (int k = 0; k < period; ++k) {
    w[k + 1] = map.Next(w[k]);
    absW[k + 1] = Abs(w[k + 1]);
    growth *= map.Spread(w[k], absW[k], 0);
    noise = NextRadius(map, w[k], absW[k], absW[k + 1], noise, rho);
  }
  // A cycle that repels is hopeless, unless Newton's method has not found it.
  if (!(growth < 1)) return Norm(Difference(image, w[0])) <= 0x1p-40 ? TProof::Hopeless : TProof::NotYet;
  const TCentre apart = Difference(w[period], w[0]);
  const double gap = std::abs(apart.Re) + std::abs(apart.Im);
  const double least = (noise + gap) / (1 - growth);
  double reach = 0;
  for (const TOrbitPoint point : z)
    if (point.zr != w[0].Re || point.zi != w[0].Im)
      reach = std::max(reach, Abs(Difference({point.zr, point.zi}, w[0])) * kMargin);
  for (const double scale : {2.0, 8.0}) {
    const double first = std::max(reach, scale * least);
    double r = first;
    for (int k = 0; k < period; ++k) {
      if (!bounds.Hold(w[k], r)) return TProof::NotYet;  // larger discs fare no better
      r = NextRadius(map, w[k], absW[k], absW[k + 1], r, rho);
    }
    if ((gap + r) * kMargin <= first) return TProof::Trapped;
  }
  return TProof::NotYet;
}

// The same for the map of the parameters' anchor, which the others lie within
// rho of.
template <class Map>
TProof Prove(const Map& map, std::span<const TOrbitPoint> z, std::size_t anchor, double rho, const TComplexRect& box) {
  const TBounds bounds(box);
  const TCentre start{z[anchor].zr, z[anchor].zi};
  TCentre w = start, slope = {1, 0}, curvature = {0, 0};
  // The cycle's length: the double orbit's first close return.
  for (int period = 1; period <= kLongestCycle; ++period) {
    const TCentre outer = map.Slope(w);
    curvature = Sum(Product(map.Curvature(w), Product(slope, slope)), Product(outer, curvature));
    slope = Product(slope, outer);
    w = map.Next(w);
    if (!bounds.Hold(w, 0)) return TProof::Hopeless;
    if (Norm(Difference(w, start)) < kNear * kNear)
      return Trap(map, z, anchor, rho, period, w, slope, curvature, bounds);
  }
  return TProof::NotYet;
}

}  // namespace

double StepBound(TOrbitKind kind, double wr, double wi, double r, float re, float im, double& nextRe,
                 double& nextIm) {
  const TCentre w{wr, wi};
  const auto bound = [&](const auto& map) {
    const TCentre next = map.Next(w);
    nextRe = next.Re;
    nextIm = next.Im;
    return NextRadius(map, w, Abs(w), Abs(next), r, 0);
  };
  return kind == TOrbitKind::Mandelbrot ? bound(TQuadratic{re, im}) : bound(TCubic{});
}

TProof ProveTrapped(TOrbitKind kind, std::span<const TOrbitPoint> z, std::span<const float> re,
                  std::span<const float> im, const TComplexRect& box) {
  assert(!z.empty() && re.size() == z.size() && im.size() == z.size());
  const std::size_t anchor = z.size() / 2;
  if (kind == TOrbitKind::Julia) return Prove(TCubic{}, z, anchor, 0, box);
  double rho = 0;
  for (std::size_t k = 0; k < z.size(); ++k)
    rho = std::max(rho, Abs({double(re[k]) - re[anchor], double(im[k]) - im[anchor]}) * kMargin);
  return Prove(TQuadratic{re[anchor], im[anchor]}, z, anchor, rho, box);
}

}  // namespace wirolot
