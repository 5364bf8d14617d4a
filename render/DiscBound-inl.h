// The bound that the disc certificates rest on (stated, with why it covers
// every rounding, atop InteriorProof.cpp), and the trap discs about the cycles
// known in closed form: written once for arithmetic `A` on doubles, one at a
// time (TScalarArith) or in the lanes of vectors (TLaneArith), with the same
// operations in the same order. Compiled once per instruction set where
// included after hwy/foreach_target.h, else for the static target.
#if defined(WIROLOT_RENDER_DISC_BOUND_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_DISC_BOUND_INL_H_
#undef WIROLOT_RENDER_DISC_BOUND_INL_H_
#else
#define WIROLOT_RENDER_DISC_BOUND_INL_H_
#endif

#include <algorithm>
#include <cmath>

#include "Orbits.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace wirolot {
namespace HWY_NAMESPACE {
namespace {

// Every radius and every comparison of the certificates carries this factor.
constexpr double kMargin = 1 + 0x1p-40;

// Doubles one at a time, rounding to nearest, never fused.
struct TScalarArith {
  using T = double;
  using B = bool;
  static T Set(double x) { return x; }
  static T Add(T a, T b) { return a + b; }
  static T Sub(T a, T b) { return a - b; }
  static T Mul(T a, T b) { return a * b; }
  static T Div(T a, T b) { return a / b; }
  static T Sqrt(T a) { return std::sqrt(a); }
  static T Abs(T a) { return std::abs(a); }
  static T Neg(T a) { return -a; }
  static B Lt(T a, T b) { return a < b; }
  static B Le(T a, T b) { return a <= b; }
  static B Gt(T a, T b) { return a > b; }
  static B And(B a, B b) { return a && b; }
  static B Or(B a, B b) { return a || b; }
  static B AndNot(B no, B yes) { return !no && yes; }
  static T Select(B m, T yes, T no) { return m ? yes : no; }
  static bool AllFalse(B m) { return !m; }
};

// The same on the lanes of vectors of D, each lane on its own.
template <class D>
struct TLaneArith {
  using T = hwy::HWY_NAMESPACE::Vec<D>;
  using B = hwy::HWY_NAMESPACE::Mask<D>;
  D d;
  T Set(double x) const { return hwy::HWY_NAMESPACE::Set(d, x); }
  static T Add(T a, T b) { return hwy::HWY_NAMESPACE::Add(a, b); }
  static T Sub(T a, T b) { return hwy::HWY_NAMESPACE::Sub(a, b); }
  static T Mul(T a, T b) { return hwy::HWY_NAMESPACE::Mul(a, b); }
  static T Div(T a, T b) { return hwy::HWY_NAMESPACE::Div(a, b); }
  static T Sqrt(T a) { return hwy::HWY_NAMESPACE::Sqrt(a); }
  static T Abs(T a) { return hwy::HWY_NAMESPACE::Abs(a); }
  static T Neg(T a) { return hwy::HWY_NAMESPACE::Neg(a); }
  static B Lt(T a, T b) { return hwy::HWY_NAMESPACE::Lt(a, b); }
  static B Le(T a, T b) { return hwy::HWY_NAMESPACE::Le(a, b); }
  static B Gt(T a, T b) { return hwy::HWY_NAMESPACE::Gt(a, b); }
  static B And(B a, B b) { return hwy::HWY_NAMESPACE::And(a, b); }
  static B Or(B a, B b) { return hwy::HWY_NAMESPACE::Or(a, b); }
  static B AndNot(B no, B yes) { return hwy::HWY_NAMESPACE::AndNot(no, yes); }
  static T Select(B m, T yes, T no) { return hwy::HWY_NAMESPACE::IfThenElse(m, yes, no); }
  bool AllFalse(B m) const { return hwy::HWY_NAMESPACE::AllFalse(d, m); }
};

template <class A>
using TNum = typename A::T;

// The radius about the double step of w that holds the rounded step of every
// float within r of w, where the map moves points within r of w apart by at
// most `spread` times as much: r spread + e + E as atop InteriorProof.cpp,
// from |w| and |f(w)|.
template <class A>
inline TNum<A> NextRadius(const A& a, TNum<A> spread, TNum<A> absW, TNum<A> absNext, TNum<A> r) {
  using T = TNum<A>;
  const T grown = a.Mul(r, spread);
  const T absW1 = a.Add(absW, a.Set(1));
  const T cube = a.Mul(a.Mul(absW1, absW1), absW1);
  const T centre = a.Add(a.Mul(a.Set(0x1p-49), a.Add(cube, absNext)), a.Set(0x1p-1000));
  const T image = a.Add(a.Add(absNext, centre), grown);
  const T reach = a.Add(a.Add(absW, r), a.Set(1));
  const T reach3 = a.Mul(a.Mul(reach, reach), reach);
  const T rounding = a.Add(a.Add(a.Mul(a.Set(0x1p-24), image), a.Mul(a.Set(0x1p-49), a.Add(reach3, image))),
                           a.Set(0x1p-149));
  return a.Mul(a.Add(a.Add(grown, centre), rounding), a.Set(kMargin));
}

// Whether the closed disc D((wr, wi), r) lies strictly inside the bounds,
// those of the box within the float range (TBoxBounds::WithinFloats).
template <class A>
inline typename A::B Holds(const A& a, const TBoxBounds& bounds, TNum<A> wr, TNum<A> wi, TNum<A> r) {
  const TNum<A> reach = a.Mul(r, a.Set(kMargin));
  return a.And(a.And(a.Gt(a.Sub(wr, a.Set(bounds.ReMin)), reach), a.Gt(a.Sub(a.Set(bounds.ReMax), wr), reach)),
               a.And(a.Gt(a.Sub(wi, a.Set(bounds.ImMin)), reach), a.Gt(a.Sub(a.Set(bounds.ImMax), wi), reach)));
}

// |(re, im)|.
template <class A>
inline TNum<A> Modulus(const A& a, TNum<A> re, TNum<A> im) {
  return a.Sqrt(a.Add(a.Mul(re, re), a.Mul(im, im)));
}

// At least the distance of (ar, ai) to (br, bi).
template <class A>
inline TNum<A> Gap(const A& a, TNum<A> ar, TNum<A> ai, TNum<A> br, TNum<A> bi) {
  return a.Add(a.Abs(a.Sub(ar, br)), a.Abs(a.Sub(ai, bi)));
}

// The principal square root of (re, im).
template <class A>
inline void Root(const A& a, TNum<A> re, TNum<A> im, TNum<A>& rootRe, TNum<A>& rootIm) {
  const TNum<A> m = Modulus(a, re, im), half = a.Set(0.5);
  rootRe = a.Sqrt(a.Mul(a.Add(m, re), half));
  const TNum<A> rootAbsIm = a.Sqrt(a.Mul(a.Sub(m, re), half));
  rootIm = a.Select(a.Lt(im, a.Set(0)), a.Neg(rootAbsIm), rootAbsIm);
}

// (wr, wi)^2 + (cr, ci), in double.
template <class A>
inline void SquarePlus(const A& a, TNum<A> wr, TNum<A> wi, TNum<A> cr, TNum<A> ci, TNum<A>& nextRe,
                           TNum<A>& nextIm) {
  nextRe = a.Add(a.Sub(a.Mul(wr, wr), a.Mul(wi, wi)), cr);
  nextIm = a.Add(a.Mul(a.Mul(a.Set(2), wr), wi), ci);
}

// For the lanes `todo`: a disc about w0 = (wr, wi), a point of a cycle of
// z^2 + c, c = (cr, ci), of length kPeriod (1 or 2) that attracts, as large
// as found, that traps the orbits of z^2 + c; its reach (squared radius
// shrunk by kMargin), or -1.
template <int kPeriod, class A>
inline TNum<A> CycleDisc(const A& a, typename A::B todo, TNum<A> wr, TNum<A> wi, TNum<A> cr, TNum<A> ci,
                             const TBoxBounds& bounds) {
  using T = TNum<A>;
  const T one = a.Set(1), half = a.Set(0.5);
  // The cycle w0, w1 (= w0 for period 1) and the double step of its last
  // point, wp; over one period a disc of small radius r grows to about
  // noise + growth r + curve r^2.
  T w1r = wr, w1i = wi, wpr, wpi;
  if constexpr (kPeriod == 2) SquarePlus(a, wr, wi, cr, ci, w1r, w1i);
  SquarePlus(a, w1r, w1i, cr, ci, wpr, wpi);
  const T absW0 = Modulus(a, wr, wi), absW1 = kPeriod == 2 ? Modulus(a, w1r, w1i) : absW0;
  const T absWp = Modulus(a, wpr, wpi);
  const T spread0 = a.Mul(a.Set(2), absW0), spread1 = a.Mul(a.Set(2), absW1);
  T growth = spread0, curve = a.Sub(a.Add(spread0, one), spread0);
  T noise = NextRadius(a, spread0, absW0, kPeriod == 2 ? absW1 : absWp, a.Set(0));
  if constexpr (kPeriod == 2) {
    curve = a.Add(a.Mul(spread1, curve), a.Mul(a.Sub(a.Add(spread1, one), spread1), a.Mul(growth, growth)));
    growth = a.Mul(growth, spread1);
    noise = NextRadius(a, a.Add(spread1, noise), absW1, absWp, noise);
  }
  const T gap = Gap(a, wpr, wpi, wr, wi);
  todo = a.And(todo, a.Lt(growth, one));
  // The first of a few radii, halving from near where growth r + curve r^2
  // reaches r, whose discs close: D_p within D_0, each inside the box. Below
  // (noise + gap) / (1 - growth) none does.
  T r = a.Div(a.Mul(a.Set(0.9), a.Sub(one, growth)), curve), radius = a.Set(-1);
  for (int k = 0; k < 4 && !a.AllFalse(todo); ++k, r = a.Mul(r, half)) {
    auto closes = a.And(todo, a.And(Holds(a, bounds, wr, wi, r), a.Gt(a.Mul(r, a.Sub(one, growth)), a.Add(noise, gap))));
    T next = NextRadius(a, a.Add(spread0, r), absW0, kPeriod == 2 ? absW1 : absWp, r);
    if constexpr (kPeriod == 2) {
      closes = a.And(closes, Holds(a, bounds, w1r, w1i, next));
      next = NextRadius(a, a.Add(spread1, next), absW1, absWp, next);
    }
    closes = a.And(closes, a.Le(a.Mul(a.Add(gap, next), a.Set(kMargin)), r));
    radius = a.Select(closes, r, radius);
    todo = a.AndNot(closes, todo);
  }
  const T shrunk = a.Div(radius, a.Set(kMargin));
  return a.Select(a.Lt(radius, a.Set(0)), radius, a.Mul(shrunk, shrunk));
}

// A disc D((wr, wi), sqrt(reach)) about the attracting cycle of z^2 + c,
// c = (cr, ci), where it is known in closed form: period 1 in the main
// cardioid, period 2 in the bulb left of it. Every orbit of z^2 + c that
// comes to a float point whose squared distance to the centre, computed in
// double, is within the reach stays in the box from there on. A reach below
// 0 where there is no such disc.
template <class A>
inline void ClosedFormDisc(const A& a, TNum<A> cr, TNum<A> ci, const TBoxBounds& bounds, TNum<A>& wr,
                               TNum<A>& wi, TNum<A>& reach) {
  using T = TNum<A>;
  const T one = a.Set(1), half = a.Set(0.5), four = a.Set(4);
  reach = a.Set(-1);
  // Period 1: w = (1 - sqrt(1 - 4c)) / 2, multiplier 2w.
  T rootRe, rootIm;
  Root(a, a.Sub(one, a.Mul(four, cr)), a.Mul(a.Set(-4), ci), rootRe, rootIm);
  wr = a.Mul(a.Sub(one, rootRe), half);
  wi = a.Mul(a.Neg(rootIm), half);
  const auto fixed = a.Lt(a.Mul(four, a.Add(a.Mul(wr, wr), a.Mul(wi, wi))), one);
  if (!a.AllFalse(fixed)) reach = CycleDisc<1>(a, fixed, wr, wi, cr, ci, bounds);
  // Period 2: w = (-1 + sqrt(-3 - 4c)) / 2, multiplier 4 (c + 1).
  const T shifted = a.Add(cr, one);
  const auto pair = a.AndNot(fixed, a.Lt(a.Mul(a.Set(16), a.Add(a.Mul(shifted, shifted), a.Mul(ci, ci))), one));
  if (a.AllFalse(pair)) return;
  Root(a, a.Sub(a.Set(-3), a.Mul(four, cr)), a.Mul(a.Set(-4), ci), rootRe, rootIm);
  wr = a.Select(pair, a.Mul(a.Sub(rootRe, one), half), wr);
  wi = a.Select(pair, a.Mul(rootIm, half), wi);
  reach = a.Select(pair, CycleDisc<2>(a, pair, wr, wi, cr, ci, bounds), reach);
}

}  // namespace
// NOLINTNEXTLINE(google-readability-namespace-comments)
}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
