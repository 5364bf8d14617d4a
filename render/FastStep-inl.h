// The fast engine's vector step: every lane's orbit stepped in double, each
// step certified to round to the floats of the extended-precision rule, or
// recomputed with the rule itself. Vectors live only in locals and
// parameters, as scalable vectors (SVE) require.
#if defined(WIROLOT_RENDER_FAST_STEP_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_FAST_STEP_INL_H_
#undef WIROLOT_RENDER_FAST_STEP_INL_H_
#else
#define WIROLOT_RENDER_FAST_STEP_INL_H_
#endif

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Orbits.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace wirolot {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<double>;
using V = hn::Vec<D>;
using M = hn::Mask<D>;
constexpr std::size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);

// A component x of a double step lies within e = kErr / 2 * (w + |x|) of the
// extended one, w its error weight, with a margin of nearly 2 for the rounding
// of the bound itself. The float fx nearest x is the extended result too if
// no midpoint next to fx lies within e of x: |x - fx| + 2e <= 2^-24 * P,
// P = 2^floor(log2 |x|), suffices (also next to a power of two, and in the
// float subnormal range, where it is stricter than needed). With |x| < 2P the
// share of |x| moves to the right: |x - fx| + kErr * w <= (2^-24 - 2 kErr) P.
// This rests only on IEEE doubles rounded to nearest with gradual underflow,
// as on every target (NEON too: Linux leaves the FPCR's flush-to-zero off),
// and holds against the x87 and the software extended type alike.
constexpr double kErr = 0x1p-51;
constexpr double kRoom = 0x1p-24 - 2 * kErr;

HWY_INLINE V ToSingle(D d, V x) { return hn::PromoteTo(d, hn::DemoteTo(hn::Rebind<float, D>(), x)); }

// P of x: its exponent bits alone; 0 for 0. NaN and infinite x or fx fail.
HWY_INLINE V Room(D d, V x) {
  const V binade = hn::And(x, hn::BitCast(d, hn::Set(hn::RebindToUnsigned<D>(), 0x7FF0000000000000ull)));
  return hn::Mul(hn::Set(d, kRoom), binade);
}
// The bound may be fused: a more exact sum only helps.
HWY_INLINE M Certain(D d, V x, V fx, V weight) {
  return hn::Le(hn::MulAdd(hn::Set(d, kErr), weight, hn::Abs(hn::Sub(x, fx))), Room(d, x));
}
// The same for a weight of 0.
HWY_INLINE M Certain(D d, V x, V fx) { return hn::Le(hn::Abs(hn::Sub(x, fx)), Room(d, x)); }

// Bit l set for lane l in m.
HWY_INLINE std::uint64_t LaneBits(D d, M m) {
  alignas(8) std::uint8_t bytes[8] = {};
  hn::StoreMaskBits(d, m, bytes);
  std::uint64_t bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, bytes, sizeof bits);
  } else {
    for (int k = 7; k >= 0; --k) bits = bits << 8 | bytes[k];
  }
  return bits;
}

// z^2 + c in double, fused: (x, y) from (zr, zi) and c = (cr, ci).
HWY_INLINE void SquarePlus(V zr, V zi, V cr, V ci, V& x, V& y) {
  x = hn::Add(hn::MulSub(zr, zr, hn::Mul(zi, zi)), cr);
  y = hn::MulAdd(hn::Add(zr, zr), zi, ci);
}

// One step of every lane from (zr, zi) with sample (re, im), each component
// rounded to single. Returns the lanes whose step is certainly the extended
// one (all unless kCertify).
template <bool kCertify>
HWY_INLINE M Step(D d, TMandelbrotOrbit, V zr, V zi, V re, V im, V& nextZr, V& nextZi) {
  // Products of two floats are exact in double, so fusing them changes
  // nothing: x errs by both roundings, y by one.
  V x, y;
  SquarePlus(zr, zi, re, im, x, y);
  nextZr = ToSingle(d, x);
  nextZi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  return hn::And(Certain(d, x, nextZr, hn::MulAdd(zr, zr, hn::Mul(zi, zi))), Certain(d, y, nextZi));
}

template <bool kCertify>
HWY_INLINE M Step(D d, TJuliaOrbit, V zr, V zi, V, V, V& nextZr, V& nextZi) {
  // Fused where the product is exact, as above.
  V p, q;
  SquarePlus(zr, zi, hn::Set(d, TJuliaOrbit::kCre), hn::Set(d, TJuliaOrbit::kCim), p, q);
  const V x = hn::Sub(hn::Mul(p, zr), hn::Mul(q, zi));
  const V y = hn::Add(hn::Mul(p, zi), hn::Mul(q, zr));
  nextZr = ToSingle(d, x);
  nextZi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  // x errs by at most |zr| (|A| + 2|p|) + 2|q| |zi| + |x| units of the two
  // roundings, A = zr2 - zi2, and y the same with zr and zi swapped. With
  // m = zr2 + zi2 >= |A|, |2 zr zi|: |p| <= m + 2.04, |q| <= m + 0.2, so both
  // weights are at most (|zr| + |zi|) (5m + 4.5). The weight w has slack: cut
  // to w / k it passes a wrong float only if the error exceeds
  // kErr (w / k + 2P), which needs |zr| (|A| + 2|p|) + 2|q| |zi| - 3|x| > 4w / k;
  // that share of w is at most 0.317 (at large |z|, arg z = 30 + 60 j
  // degrees), so cuts up to 12.6 stay sound. A cut by 24 does not: a view of
  // tests/render/x87-pictures.txt.
  const V m = hn::MulAdd(zr, zr, hn::Mul(zi, zi));
  const V weight = hn::Mul(hn::Add(hn::Abs(zr), hn::Abs(zi)), hn::MulAdd(hn::Set(d, 5.0), m, hn::Set(d, 4.5)));
  return hn::And(Certain(d, x, nextZr, weight), Certain(d, y, nextZi, weight));
}

// The orbits' first points.
HWY_INLINE void Start(D d, TMandelbrotOrbit, V, V, V& zr, V& zi) { zr = zi = hn::Zero(d); }
HWY_INLINE void Start(D, TJuliaOrbit, V re, V im, V& zr, V& zi) {
  zr = re;
  zi = im;
}

// The exact rule for the lanes set in `lanes`: old[0..3] hold their zr, zi,
// re and im, next[0..1] the new zr and zi.
template <class Orbit>
HWY_NOINLINE void StepExactly(std::uint64_t lanes, const double (*old)[kMaxLanes], double (*next)[kMaxLanes]) {
  for (; lanes; lanes &= lanes - 1) {
    const int l = std::countr_zero(lanes);
    const TOrbitPoint z = Orbit::Step({float(old[0][l]), float(old[1][l])}, float(old[2][l]), float(old[3][l]));
    next[0][l] = z.zr;
    next[1][l] = z.zi;
  }
}

// One step of the lanes in `active` (the others may step or not), with the
// exact rule where the double step is not certain.
template <class Orbit, bool kCertify>
HWY_INLINE void Advance(D d, V& zr, V& zi, V re, V im, M active, std::uint64_t& fallbacks) {
  V nextZr, nextZi;
  const M certain = Step<kCertify>(d, Orbit{}, zr, zi, re, im, nextZr, nextZi);
  if constexpr (kCertify) {
    const M uncertain = hn::AndNot(certain, active);
    if (HWY_UNLIKELY(!hn::AllFalse(d, uncertain))) {
      alignas(64) double old[4][kMaxLanes], next[2][kMaxLanes];
      hn::Store(zr, d, old[0]);
      hn::Store(zi, d, old[1]);
      hn::Store(re, d, old[2]);
      hn::Store(im, d, old[3]);
      hn::Store(nextZr, d, next[0]);
      hn::Store(nextZi, d, next[1]);
      StepExactly<Orbit>(LaneBits(d, uncertain), old, next);
      nextZr = hn::Load(d, next[0]);
      nextZi = hn::Load(d, next[1]);
      fallbacks += hn::CountTrue(d, uncertain);
    }
  }
  zr = nextZr;
  zi = nextZi;
}

// The lanes strictly inside the box (TBoxBounds::Of); a NaN is outside.
HWY_INLINE M Inside(D d, const TBoxBounds& box, V zr, V zi) {
  return hn::And(hn::And(hn::Gt(zr, hn::Set(d, box.ReMin)), hn::Lt(zr, hn::Set(d, box.ReMax))),
                 hn::And(hn::Gt(zi, hn::Set(d, box.ImMin)), hn::Lt(zi, hn::Set(d, box.ImMax))));
}

// Independent groups of lanes stepped in turn, so that one group's step
// overlaps the latency of the other's.
constexpr std::size_t kGroups = 4;
constexpr std::size_t kStateSize = kGroups * kMaxLanes;
// Where a group's lanes start in arrays of kStateSize.
constexpr std::size_t At(std::size_t group) { return group * kMaxLanes; }

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
