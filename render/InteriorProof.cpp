// Disc certificates for orbits caught by an attracting cycle.
//
// Discs D_k = D(w_k, r_k), k = 0 ... p, about a cycle of period p: w_0 lies
// near a point of the cycle (found by Newton's method in double, or for the
// cycles of z^2 + c of period 1 and 2 from their closed form; any w_0 would
// do for soundness) and w_{k+1} is f(w_k) computed in double. For every
// float z in D_k the rounded step F(z) lies in D_{k+1} if
//   r_{k+1} >= r_k K_k + e_k + E_k, with
//   K_k >= |f(z) - f(w_k)| / |z - w_k|: 2|w| + r for z^2 + c, and for
//          z (z^2 + c), where f(z) - f(w) = d (3w^2 + c + 3wd + d^2) with
//          d = z - w, |3w^2 + c| + 3|w| r + r^2;
//   e_k >= |f(w_k) - w_{k+1}|, the rounding of the double centre;
//   E_k >= |F(z) - f(z)|, the rounding of the rule itself.
// If D_p lies in D_0 (|w_p - w_0| + r_p <= r_0) and every D_k strictly
// inside the box, an orbit that comes to a point of any D_k stays in the
// discs, and so inside the box, forever. NextRadius (DiscBound-inl.h) is
// r_{k+1}, written once for doubles and for vectors of them.
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
//   each radius and in each comparison covers that. Where a multiply and an
//   add are fused, one rounding replaces two, and every bound here still
//   holds; the same goes for the double centres.
// - A trap's reach (r_k / kMargin)^2 is below r_k^2 (1 - 2^-40). The squared
//   distance of a float z to w_k computed in double (fused or not: at most
//   four roundings, each within 2^-53, and 2^-1070 for underflow) is at least
//   |z - w_k|^2 (1 - 2^-50) - 2^-1070. Every r_k exceeds 2^-149, so a point
//   whose computed squared distance is within the reach lies in D_k.
#include "InteriorProof.h"

#include <algorithm>
#include <cmath>

#include "hwy/highway.h"
#include "DiscBound-inl.h"

namespace wirolot {
namespace {

using HWY_NAMESPACE::kMargin;
using HWY_NAMESPACE::TScalarArith;

// The longest cycle looked for.
constexpr int kLongestCycle = 32;

struct TCentre {
  double Re, Im;
};

double Norm(TCentre w) { return w.Re * w.Re + w.Im * w.Im; }
double Abs(TCentre w) { return HWY_NAMESPACE::Modulus(TScalarArith{}, w.Re, w.Im); }
TCentre Difference(TCentre a, TCentre b) { return {a.Re - b.Re, a.Im - b.Im}; }
TCentre Product(TCentre a, TCentre b) { return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re}; }
TCentre Sum(TCentre a, TCentre b) { return {a.Re + b.Re, a.Im + b.Im}; }
TCentre Root(TCentre a) {
  TCentre root;
  HWY_NAMESPACE::Root(TScalarArith{}, a.Re, a.Im, root.Re, root.Im);
  return root;
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

// Whether the closed disc about w lies strictly inside the bounds.
bool Holds(const TBoxBounds& bounds, TCentre w, double r) {
  return HWY_NAMESPACE::Holds(TScalarArith{}, bounds, w.Re, w.Im, r);
}

// The radius about `next` = map.Next(w) that holds the rounded step of every
// float within r of w.
template <class Map>
double NextRadius(const Map& map, TCentre w, double absW, double absNext, double r) {
  return HWY_NAMESPACE::NextRadius(TScalarArith{}, map.Spread(w, absW, r), absW, absNext, r);
}

// At least |a - b|.
double Gap(TCentre a, TCentre b) { return HWY_NAMESPACE::Gap(TScalarArith{}, a.Re, a.Im, b.Re, b.Im); }

// Whether the discs D(w[k], radius[k]), k < period, from radius[0] on, trap
// the map's orbits: each lies strictly inside the box, and D_period within
// D_0. w[period] is f(w[period - 1]), absW[k] = |w[k]|; fills
// radius[1 ... period].
template <class Map>
bool Closes(const Map& map, const TCentre* w, const double* absW, int period, const TBoxBounds& bounds, double* radius) {
  for (int k = 0; k < period; ++k) {
    if (!Holds(bounds, w[k], radius[k])) return false;
    radius[k + 1] = NextRadius(map, w[k], absW[k], absW[k + 1], radius[k]);
  }
  return (Gap(w[period], w[0]) + radius[period]) * kMargin <= radius[0];
}

// The largest disc found about w[0] that traps, with discs about the rest of
// the cycle w[0 ... period - 1] after it, the map's orbits, or none
// (Reach < 0). Fills w[1 ... period] and `growth`, the bound on the modulus
// of the cycle's multiplier.
template <class Map>
TTrapDisc TrapAbout(const Map& map, TCentre* w, int period, const TBoxBounds& bounds, double& growth) {
  // Over the cycle a disc of small radius r grows to about
  // noise + growth r + curve r^2, where noise is what a point grows to.
  double absW[kLongestCycle + 1];
  absW[0] = Abs(w[0]);
  double curve = 0, noise = 0;
  growth = 1;
  for (int k = 0; k < period; ++k) {
    w[k + 1] = map.Next(w[k]);
    absW[k + 1] = Abs(w[k + 1]);
    const double spread = map.Spread(w[k], absW[k], 0);
    curve = spread * curve + (map.Spread(w[k], absW[k], 1) - spread) * growth * growth;
    growth *= spread;
    noise = NextRadius(map, w[k], absW[k], absW[k + 1], noise);
  }
  if (!(growth < 1)) return {};
  // The radii that may close lie between the two where noise + growth r and
  // growth r + curve r^2 reach r: halving from near the larger.
  const double least = (noise + Gap(w[period], w[0])) / (1 - growth);
  double radius[kLongestCycle + 1];
  for (radius[0] = 0.9 * (1 - growth) / curve; radius[0] > least; radius[0] /= 2)
    if (Closes(map, w, absW, period, bounds, radius)) {
      const double reach = radius[0] / kMargin;
      return {w[0].Re, w[0].Im, reach * reach};
    }
  return {};
}

// A cycle is tried once the double orbit comes back this close.
constexpr double kNear = 0x1p-6;

// Whether discs about a cycle of `period` near z trap the orbit through z;
// sets `trap` to the first disc where the cycle attracts. `image` is
// f^period(z), `slope` and `curvature` its first two derivatives.
template <class Map>
TProof Trap(const Map& map, TOrbitPoint z, int period, TCentre image, TCentre slope, TCentre curvature,
            const TBoxBounds& bounds, TTrapDisc& trap) {
  const TCentre start{z.zr, z.zi};
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
  const auto iterate = [&] {  // image and slope of f^period at w[0]
    image = w[0];
    slope = {1, 0};
    for (int k = 0; k < period; ++k) {
      slope = Product(slope, map.Slope(image));
      image = map.Next(image);
    }
  };
  if (step.Re != 0 || step.Im != 0) iterate();
  for (int iteration = 0; iteration < 4; ++iteration) {
    const TCentre moved = Difference(image, w[0]);
    if (!(Norm(moved) > settled)) break;
    w[0] = Difference(w[0], Quotient(moved, {slope.Re - 1, slope.Im}));
    iterate();
  }
  double growth;
  trap = TrapAbout(map, w, period, bounds, growth);
  // A cycle that repels is hopeless, unless Newton's method has not found it.
  if (!(growth < 1)) return Norm(Difference(image, w[0])) <= 0x1p-40 ? TProof::Hopeless : TProof::NotYet;
  return Holds(trap, z) ? TProof::Trapped : TProof::NotYet;
}

// The same for the map's orbit through z, from the cycle's length on.
template <class Map>
TProof Prove(const Map& map, TOrbitPoint z, const TComplexRect& box, TTrapDisc& trap) {
  const TBoxBounds bounds = TBoxBounds::WithinFloats(box);
  const TCentre start{z.zr, z.zi};
  TCentre w = start, slope = {1, 0}, curvature = {0, 0};
  // The cycle's length: the double orbit's first close return.
  for (int period = 1; period <= kLongestCycle; ++period) {
    const TCentre outer = map.Slope(w);
    curvature = Sum(Product(map.Curvature(w), Product(slope, slope)), Product(outer, curvature));
    slope = Product(slope, outer);
    w = map.Next(w);
    if (!Holds(bounds, w, 0)) return TProof::Hopeless;
    if (Norm(Difference(w, start)) < kNear * kNear)
      return Trap(map, z, period, w, slope, curvature, bounds, trap);
  }
  return TProof::NotYet;
}

}  // namespace

TTrapDisc ClosedFormTrap(float re, float im, const TComplexRect& box) {
  TTrapDisc trap;
  HWY_NAMESPACE::ClosedFormDisc(TScalarArith{}, re, im, TBoxBounds::WithinFloats(box), trap.Re, trap.Im, trap.Reach);
  return trap;
}

double StepBound(TOrbitKind kind, double wr, double wi, double r, float re, float im, double& nextRe,
                 double& nextIm) {
  const TCentre w{wr, wi};
  const auto bound = [&](const auto& map) {
    const TCentre next = map.Next(w);
    nextRe = next.Re;
    nextIm = next.Im;
    return NextRadius(map, w, Abs(w), Abs(next), r);
  };
  return kind == TOrbitKind::Mandelbrot ? bound(TQuadratic{re, im}) : bound(TCubic{});
}

TProof ProveTrapped(TOrbitKind kind, TOrbitPoint z, float re, float im, const TComplexRect& box, TTrapDisc& trap) {
  trap = {};
  return kind == TOrbitKind::Julia ? Prove(TCubic{}, z, box, trap) : Prove(TQuadratic{re, im}, z, box, trap);
}

}  // namespace wirolot
