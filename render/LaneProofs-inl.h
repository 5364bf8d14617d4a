// Proofs, lane by lane, that orbits never leave the box: which lanes to ask,
// the proofs' trap discs, and the cycles known in closed form.
#if defined(WIROLOT_RENDER_LANE_PROOFS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_LANE_PROOFS_INL_H_
#undef WIROLOT_RENDER_LANE_PROOFS_INL_H_
#else
#define WIROLOT_RENDER_LANE_PROOFS_INL_H_
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "FastStep-inl.h"
#include "InteriorProof.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace wirolot {
namespace HWY_NAMESPACE {
namespace {

// Orbits that come back near a point they held (and so, likely, have
// settled on a cycle) are asked for a proof that they never leave the box:
// first within kNearPoint in each part, then, after a proof has failed, each
// time kCloser times nearer than before. In their first rounds they look back
// every kSettleRounds rounds, which a cycle of length 1, 2, 3, 4, 6 or 12
// divides.
constexpr double kNearPoint = 0x1p-4;
constexpr double kCloser = 16;
constexpr std::int32_t kSettleRounds = 12;

// How far apart two points are, in the larger of the two parts.
HWY_INLINE V Apart(V zr, V zi, V keptZr, V keptZi) {
  return hn::Max(hn::Abs(hn::Sub(zr, keptZr)), hn::Abs(hn::Sub(zi, keptZi)));
}

// Each of n lanes' trap disc.
template <std::size_t n>
struct TTrapArrays {
  alignas(64) double Re[n] = {}, Im[n] = {}, Reach[n] = {};

  void Set(std::size_t l, const TTrapDisc& trap) {
    Re[l] = trap.Re;
    Im[l] = trap.Im;
    Reach[l] = trap.Reach;
  }
  TTrapDisc Get(std::size_t l) const { return {Re[l], Im[l], Reach[l]}; }

  // Whether some lane from `at` on has a disc.
  HWY_INLINE bool Any(D d, std::size_t at) const {
    return !hn::AllFalse(d, hn::Ge(hn::Load(d, Reach + at), hn::Zero(d)));
  }

  // The lanes from `at` on whose disc holds their point, as Holds decides.
  HWY_INLINE M Hold(D d, std::size_t at, V zr, V zi) const {
    const V dr = hn::Sub(zr, hn::Load(d, Re + at)), di = hn::Sub(zi, hn::Load(d, Im + at));
    return hn::Le(hn::MulAdd(dr, dr, hn::Mul(di, di)), hn::Load(d, Reach + at));
  }
};

// The lanes whose orbit, stepped in double, comes back within kShortCycle of
// z after one step or two, in each part. Such lanes are not asked for a
// proof: the proofs would find a cycle of length 1 or 2, which attracts only
// where ClosedFormTrap serves, and give up.
constexpr double kShortCycle = 0x1p-7;
HWY_INLINE M NearShortCycle(D d, V zr, V zi, V re, V im) {
  V r1, i1, r2, i2;
  SquarePlus(zr, zi, re, im, r1, i1);
  SquarePlus(r1, i1, re, im, r2, i2);
  const V near = hn::Set(d, kShortCycle);
  return hn::Or(hn::Lt(Apart(r1, i1, zr, zi), near), hn::Lt(Apart(r2, i2, zr, zi), near));
}

// Those of the lanes `asked` whose orbit is proven never to leave the box.
// The others get the trap disc found for them, if any, and then are not
// asked again; nor are those near a short cycle, or hopeless. The rest must
// come kCloser times nearer than `apart` first (`near` holds each lane's
// bound). `near` and `traps` start at the first lane.
template <class Orbit, class Traps>
HWY_NOINLINE M ProveLanes(D d, const TComplexRect& box, M asked, V zr, V zi, V re, V im, V apart, double* near,
                          Traps& traps, std::size_t at) {
  if constexpr (Orbit::kKind == TOrbitKind::Mandelbrot) {
    const M ghosts = hn::And(asked, NearShortCycle(d, zr, zi, re, im));
    hn::Store(hn::IfThenZeroElse(ghosts, hn::Load(d, near)), d, near);
    asked = hn::AndNot(ghosts, asked);
  }
  alignas(64) double pointZr[kMaxLanes], pointZi[kMaxLanes], sampleRe[kMaxLanes], sampleIm[kMaxLanes],
      distance[kMaxLanes];
  hn::Store(zr, d, pointZr);
  hn::Store(zi, d, pointZi);
  hn::Store(re, d, sampleRe);
  hn::Store(im, d, sampleIm);
  hn::Store(apart, d, distance);
  alignas(8) std::uint8_t proven[8] = {};
  for (std::uint64_t lanes = LaneBits(d, asked); lanes; lanes &= lanes - 1) {
    const int l = std::countr_zero(lanes);
    TTrapDisc trap;
    const TProof proof = ProveTrapped(Orbit::kKind, {float(pointZr[l]), float(pointZi[l])}, float(sampleRe[l]),
                                      float(sampleIm[l]), box, trap);
    if (trap.Reach >= 0) traps.Set(at + std::size_t(l), trap);
    if (proof == TProof::Trapped)
      proven[l / 8] |= std::uint8_t(1 << l % 8);
    else
      near[l] = proof == TProof::Hopeless || trap.Reach >= 0 ? 0 : distance[l] / kCloser;
  }
  return hn::LoadMaskBits(d, proven);
}

// The lanes whose sample lies in the main cardioid or the period-2 bulb of
// the Mandelbrot set, as double arithmetic tells; traps are sought only for
// them. Only a filter: a disc found is checked in full wherever it lies.
HWY_INLINE M KnownCycle(D d, V re, V im) {
  const V x = hn::Sub(re, hn::Set(d, 0.25)), y2 = hn::Mul(im, im);
  const V q = hn::MulAdd(x, x, y2);
  const M cardioid = hn::Lt(hn::Mul(q, hn::Add(q, x)), hn::Mul(hn::Set(d, 0.25), y2));
  const V shifted = hn::Add(re, hn::Set(d, 1.0));
  return hn::Or(cardioid, hn::Lt(hn::MulAdd(shifted, shifted, y2), hn::Set(d, 0.0625)));
}

// Whether samples from re `first` to `last` with imaginary part `im` may lie
// where KnownCycle holds: -1.25 <= re <= 0.375, |im| <= 0.65 bounds both.
HWY_INLINE bool NearKnownCycles(float first, float last, float im) {
  return std::max(first, last) >= -1.25f && std::min(first, last) <= 0.375f && std::abs(im) <= 0.65f;
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
