// Vector kernels of the fast engine, compiled once per instruction set by
// FastEngine.cpp through hwy/foreach_target.h.
#if defined(WIROLOT_RENDER_FAST_ENGINE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_FAST_ENGINE_INL_H_
#undef WIROLOT_RENDER_FAST_ENGINE_INL_H_
#else
#define WIROLOT_RENDER_FAST_ENGINE_INL_H_
#endif

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
constexpr double kErr = 0x1p-51;
constexpr double kRoom = 0x1p-24 - 2 * kErr;

V ToSingle(D d, V x) { return hn::PromoteTo(d, hn::DemoteTo(hn::Rebind<float, D>(), x)); }

// P of x: its exponent bits alone; 0 for 0. NaN and infinite x or fx fail.
V Room(D d, V x) {
  const V binade = hn::And(x, hn::BitCast(d, hn::Set(hn::RebindToUnsigned<D>(), 0x7FF0000000000000ull)));
  return hn::Mul(hn::Set(d, kRoom), binade);
}
// The bound may be fused: a more exact sum only helps.
M Certain(D d, V x, V fx, V weight) {
  return hn::Le(hn::MulAdd(hn::Set(d, kErr), weight, hn::Abs(hn::Sub(x, fx))), Room(d, x));
}
// The same for a weight of 0.
M Certain(D d, V x, V fx) { return hn::Le(hn::Abs(hn::Sub(x, fx)), Room(d, x)); }

// The lanes' orbit state: point and sample, held in doubles.
struct TLanes {
  V Zr, Zi, Re, Im;
};

// One step of every lane, each component rounded to single. Returns the lanes
// whose step is certainly the extended one (all unless kCertify).
template <bool kCertify>
M Step(D d, TMandelbrotOrbit, const TLanes& s, V& zr, V& zi) {
  const V zr2 = hn::Mul(s.Zr, s.Zr), zi2 = hn::Mul(s.Zi, s.Zi);
  // zr2, zi2 and the product are exact: x errs by both roundings, y by one.
  const V x = hn::Add(hn::Sub(zr2, zi2), s.Re);
  const V y = hn::Add(hn::Mul(hn::Add(s.Zr, s.Zr), s.Zi), s.Im);
  zr = ToSingle(d, x);
  zi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  return hn::And(Certain(d, x, zr, hn::Add(zr2, zi2)), Certain(d, y, zi));
}

template <bool kCertify>
M Step(D d, TJuliaOrbit, const TLanes& s, V& zr, V& zi) {
  const V zr2 = hn::Mul(s.Zr, s.Zr), zi2 = hn::Mul(s.Zi, s.Zi);
  const V p = hn::Add(hn::Sub(zr2, zi2), hn::Set(d, TJuliaOrbit::kCre));
  const V q = hn::Add(hn::Mul(hn::Add(s.Zr, s.Zr), s.Zi), hn::Set(d, TJuliaOrbit::kCim));
  const V x = hn::Sub(hn::Mul(p, s.Zr), hn::Mul(q, s.Zi));
  const V y = hn::Add(hn::Mul(p, s.Zi), hn::Mul(q, s.Zr));
  zr = ToSingle(d, x);
  zi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  // x errs by at most |zr| (|A| + 2|p|) + 2|q| |zi| + |x| units of the two
  // roundings, A = zr2 - zi2, and y the same with zr and zi swapped. With
  // m = zr2 + zi2 >= |A|, |2 zr zi|: |p| <= m + 2.04, |q| <= m + 0.2, so both
  // weights are at most (|zr| + |zi|) (5m + 4.5).
  const V m = hn::Add(zr2, zi2);
  const V weight = hn::Mul(hn::Add(hn::Abs(s.Zr), hn::Abs(s.Zi)), hn::MulAdd(hn::Set(d, 5.0), m, hn::Set(d, 4.5)));
  return hn::And(Certain(d, x, zr, weight), Certain(d, y, zi, weight));
}

// The exact rule for the lanes whose double step is not certain.
template <class Orbit>
HWY_NOINLINE void StepExactly(D d, M lanes, const TLanes& s, V& zr, V& zi) {
  alignas(64) double old[4][kMaxLanes], next[2][kMaxLanes];
  hn::Store(s.Zr, d, old[0]);
  hn::Store(s.Zi, d, old[1]);
  hn::Store(s.Re, d, old[2]);
  hn::Store(s.Im, d, old[3]);
  hn::Store(zr, d, next[0]);
  hn::Store(zi, d, next[1]);
  alignas(8) std::uint8_t bits[8] = {};
  hn::StoreMaskBits(d, lanes, bits);
  for (std::size_t l = 0; l < hn::Lanes(d); ++l) {
    if (!(bits[l / 8] >> (l % 8) & 1)) continue;
    const TOrbitPoint z = Orbit::Step({float(old[0][l]), float(old[1][l])}, float(old[2][l]), float(old[3][l]));
    next[0][l] = z.zr;
    next[1][l] = z.zi;
  }
  zr = hn::Load(d, next[0]);
  zi = hn::Load(d, next[1]);
}

// Independent groups of lanes stepped in turn, so that one group's step
// overlaps the latency of the other's.
constexpr std::size_t kGroups = 3;

// All groups' lanes in memory, where finished orbits hand their count over
// and take the next sample. Groups step in rounds; a lane's step count is the
// rounds since it started, so the vectors carry no counter.
template <class Orbit>
class TLaneStore {
 public:
  TLaneStore(const TFastJob& job, TSampleSupply& supply) : job_(job), supply_(supply) {}

  void Save(D d, std::size_t group, const TLanes& s) {
    const std::size_t at = group * hn::Lanes(d);
    hn::Store(s.Zr, d, zr_ + at);
    hn::Store(s.Zi, d, zi_ + at);
    hn::Store(s.Re, d, re_ + at);
    hn::Store(s.Im, d, im_ + at);
  }
  TLanes Load(D d, std::size_t group) const {
    const std::size_t at = group * hn::Lanes(d);
    return {hn::Load(d, zr_ + at), hn::Load(d, zi_ + at), hn::Load(d, re_ + at), hn::Load(d, im_ + at)};
  }

  // The round at which some lane of the group reaches the limit.
  std::uint64_t Deadline(std::size_t group) const { return deadline_[group]; }

  // After `round`: records the counts of the group's lanes that left the box
  // (`outside`) or reached the limit, and restarts them on new samples. Lanes
  // left without an orbit mirror a lane that has one (its state as last
  // saved), so they never stall a vector; their steps go unrecorded. False
  // when no lane of any group has an orbit left.
  bool Refill(D d, std::size_t group, M outside, std::uint64_t round) {
    alignas(8) std::uint8_t bits[8] = {};
    hn::StoreMaskBits(d, outside, bits);
    const std::size_t lanes = hn::Lanes(d), first = group * lanes;
    bool idle = false;
    for (std::size_t k = 0; k < lanes; ++k) {
      const std::size_t l = first + k;
      if (!(bits[k / 8] >> (k % 8) & 1) && round < start_[l] + job_.Limit) continue;
      if (live_[l]) job_.Counts[slot_[l]] = std::int32_t(round - start_[l]);
      TSample sample;
      live_[l] = supply_.Next(sample);
      if (!live_[l]) {
        idle = true;
        continue;
      }
      slot_[l] = sample.Slot;
      const TOrbitPoint z = Orbit::Start(sample.Re, sample.Im);
      zr_[l] = z.zr;
      zi_[l] = z.zi;
      re_[l] = sample.Re;
      im_[l] = sample.Im;
      start_[l] = round;
    }
    if (idle) {
      const bool* source = std::find(live_, live_ + kGroups * lanes, true);
      if (source == live_ + kGroups * lanes) return false;
      const std::size_t s = std::size_t(source - live_);
      for (std::size_t l = first; l < first + lanes; ++l)
        if (!live_[l]) {
          zr_[l] = zr_[s];
          zi_[l] = zi_[s];
          re_[l] = re_[s];
          im_[l] = im_[s];
          start_[l] = start_[s];
        }
    }
    deadline_[group] = *std::min_element(start_ + first, start_ + first + lanes) + std::uint64_t(job_.Limit);
    return true;
  }

 private:
  static constexpr std::size_t kSize = kGroups * kMaxLanes;
  const TFastJob& job_;
  TSampleSupply& supply_;
  alignas(64) double zr_[kSize] = {}, zi_[kSize] = {}, re_[kSize] = {}, im_[kSize] = {};
  std::uint64_t start_[kSize] = {};
  std::size_t slot_[kSize] = {};
  bool live_[kSize] = {};
  std::uint64_t deadline_[kGroups] = {};
};

template <class Orbit, bool kCertify>
std::uint64_t RunLanes(const TFastJob& job, TSampleSupply& supply) {
  const D d;
  TLaneStore<Orbit> store(job, supply);
  TLanes s[kGroups];
  for (std::size_t g = 0; g < kGroups; ++g)
    if (!store.Refill(d, g, hn::FirstN(d, hn::Lanes(d)), 0)) return 0;
  for (std::size_t g = 0; g < kGroups; ++g) s[g] = store.Load(d, g);

  const V reMin = hn::Set(d, job.Box.Cremin), reMax = hn::Set(d, job.Box.Cremax);
  const V imMin = hn::Set(d, job.Box.Cimmin), imMax = hn::Set(d, job.Box.Cimmax);
  std::uint64_t fallbacks = 0;
  for (std::uint64_t round = 1;; ++round) {
    HWY_UNROLL(kGroups)
    for (std::size_t g = 0; g < kGroups; ++g) {
      V zr, zi;
      const M certain = Step<kCertify>(d, Orbit{}, s[g], zr, zi);
      if (kCertify && HWY_UNLIKELY(!hn::AllTrue(d, certain))) {
        const M uncertain = hn::Not(certain);
        StepExactly<Orbit>(d, uncertain, s[g], zr, zi);
        fallbacks += hn::CountTrue(d, uncertain);
      }
      s[g].Zr = zr;
      s[g].Zi = zi;
      const M inside =
          hn::And(hn::And(hn::Gt(zr, reMin), hn::Lt(zr, reMax)), hn::And(hn::Gt(zi, imMin), hn::Lt(zi, imMax)));
      if (!hn::AllTrue(d, inside) || round >= store.Deadline(g)) {
        store.Save(d, g, s[g]);
        if (!store.Refill(d, g, hn::Not(inside), round)) return fallbacks;
        s[g] = store.Load(d, g);
      }
    }
  }
}

template <bool kCertify>
void Count(TOrbitKind kind, const TFastJob& job) {
  std::atomic<std::size_t> cursor{0};
  std::uint64_t fallbacks = 0;
#pragma omp parallel if (job.Segments() > 1) reduction(+ : fallbacks)
  {
    TSampleSupply supply(job, cursor);
    fallbacks += kind == TOrbitKind::Mandelbrot ? RunLanes<TMandelbrotOrbit, kCertify>(job, supply)
                                                : RunLanes<TJuliaOrbit, kCertify>(job, supply);
  }
  if (fallbacks) gFallbackSteps.fetch_add(fallbacks, std::memory_order_relaxed);
}

}  // namespace

void CountCertified(TOrbitKind kind, const TFastJob& job) { Count<true>(kind, job); }
void CountUnchecked(TOrbitKind kind, const TFastJob& job) { Count<false>(kind, job); }

}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
