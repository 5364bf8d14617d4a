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
  for (int k = 7; k >= 0; --k) bits = bits << 8 | bytes[k];
  return bits;
}

// The lanes' orbit state: point and sample, held in doubles.
struct TLanes {
  V Zr, Zi, Re, Im;
};

// One step of every lane, each component rounded to single. Returns the lanes
// whose step is certainly the extended one (all unless kCertify).
template <bool kCertify>
HWY_INLINE M Step(D d, TMandelbrotOrbit, const TLanes& s, V& zr, V& zi) {
  // Products of two floats are exact in double, so fusing them changes
  // nothing: x errs by both roundings, y by one.
  const V zi2 = hn::Mul(s.Zi, s.Zi);
  const V x = hn::Add(hn::MulSub(s.Zr, s.Zr, zi2), s.Re);
  const V y = hn::MulAdd(hn::Add(s.Zr, s.Zr), s.Zi, s.Im);
  zr = ToSingle(d, x);
  zi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  return hn::And(Certain(d, x, zr, hn::MulAdd(s.Zr, s.Zr, zi2)), Certain(d, y, zi));
}

template <bool kCertify>
HWY_INLINE M Step(D d, TJuliaOrbit, const TLanes& s, V& zr, V& zi) {
  // Fused where the product is exact, as above.
  const V zi2 = hn::Mul(s.Zi, s.Zi);
  const V p = hn::Add(hn::MulSub(s.Zr, s.Zr, zi2), hn::Set(d, TJuliaOrbit::kCre));
  const V q = hn::MulAdd(hn::Add(s.Zr, s.Zr), s.Zi, hn::Set(d, TJuliaOrbit::kCim));
  const V x = hn::Sub(hn::Mul(p, s.Zr), hn::Mul(q, s.Zi));
  const V y = hn::Add(hn::Mul(p, s.Zi), hn::Mul(q, s.Zr));
  zr = ToSingle(d, x);
  zi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  // x errs by at most |zr| (|A| + 2|p|) + 2|q| |zi| + |x| units of the two
  // roundings, A = zr2 - zi2, and y the same with zr and zi swapped. With
  // m = zr2 + zi2 >= |A|, |2 zr zi|: |p| <= m + 2.04, |q| <= m + 0.2, so both
  // weights are at most (|zr| + |zi|) (5m + 4.5).
  const V m = hn::MulAdd(s.Zr, s.Zr, zi2);
  const V weight = hn::Mul(hn::Add(hn::Abs(s.Zr), hn::Abs(s.Zi)), hn::MulAdd(hn::Set(d, 5.0), m, hn::Set(d, 4.5)));
  return hn::And(Certain(d, x, zr, weight), Certain(d, y, zi, weight));
}

// The orbits' first points.
HWY_INLINE void Start(D d, TMandelbrotOrbit, TLanes& s) { s.Zr = s.Zi = hn::Zero(d); }
HWY_INLINE void Start(D, TJuliaOrbit, TLanes& s) {
  s.Zr = s.Re;
  s.Zi = s.Im;
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
HWY_INLINE void Advance(D d, TLanes& s, M active, std::uint64_t& fallbacks) {
  V zr, zi;
  const M certain = Step<kCertify>(d, Orbit{}, s, zr, zi);
  if constexpr (kCertify) {
    const M uncertain = hn::AndNot(certain, active);
    if (HWY_UNLIKELY(!hn::AllFalse(d, uncertain))) {
      // Through memory only here, so that the vectors stay in registers.
      alignas(64) double old[4][kMaxLanes], next[2][kMaxLanes];
      hn::Store(s.Zr, d, old[0]);
      hn::Store(s.Zi, d, old[1]);
      hn::Store(s.Re, d, old[2]);
      hn::Store(s.Im, d, old[3]);
      hn::Store(zr, d, next[0]);
      hn::Store(zi, d, next[1]);
      StepExactly<Orbit>(LaneBits(d, uncertain), old, next);
      zr = hn::Load(d, next[0]);
      zi = hn::Load(d, next[1]);
      fallbacks += hn::CountTrue(d, uncertain);
    }
  }
  s.Zr = zr;
  s.Zi = zi;
}

struct TBox {
  V ReMin, ReMax, ImMin, ImMax;
  TBox(D d, const TComplexRect& box)
      : ReMin(hn::Set(d, box.Cremin)), ReMax(hn::Set(d, box.Cremax)), ImMin(hn::Set(d, box.Cimmin)),
        ImMax(hn::Set(d, box.Cimmax)) {}
  HWY_INLINE M Inside(const TLanes& s) const {
    return hn::And(hn::And(hn::Gt(s.Zr, ReMin), hn::Lt(s.Zr, ReMax)), hn::And(hn::Gt(s.Zi, ImMin), hn::Lt(s.Zi, ImMax)));
  }
};

// Independent groups of lanes stepped in turn, so that one group's step
// overlaps the latency of the other's.
constexpr std::size_t kGroups = 4;

// Most orbits are short. Every sample first runs in lock step with its
// neighbours for this many rounds; only the orbits still going on then are
// handed to lanes of their own.
constexpr std::int32_t kSprintRounds = 64;

// Lanes look for a point they held before every this many rounds, from the
// age at which they first keep one on.
constexpr std::int64_t kCycleRounds = 32;
constexpr std::int64_t kFirstKeep = 2 * kSprintRounds;

// An orbit that outlasted its first rounds: its point after `Steps` steps.
struct TLongOrbit {
  double Zr, Zi, Re, Im;
  std::int64_t Steps;
  std::size_t Slot;  // index into Counts
};

// One thread's supply of long orbits: it claims segments, runs each one's
// samples in lock step, writes the counts of the orbits that end, and keeps
// the others.
template <class Orbit, bool kCertify>
class TOrbitSupply {
 public:
  // Lane steps recomputed exactly are added to `fallbacks`.
  TOrbitSupply(const TFastJob& job, TSegments& segments, std::uint64_t& fallbacks)
      : job_(job), segments_(segments), fallbacks_(fallbacks), box_(D(), job.Box) {}

  bool Next(TLongOrbit& orbit) {
    while (queue_.empty()) {
      std::size_t row, begin, end;
      if (!segments_.Claim(row, begin, end)) return false;
      Sprint(row, begin, end);
    }
    orbit = queue_.back();
    queue_.pop_back();
    return true;
  }

 private:
  // A group of lanes on `Count` consecutive samples of a row.
  struct TGroup {
    TLanes S;
    M Live;
    V Steps;
    std::size_t Slot, Count;
    std::int32_t Rounds;
  };

  // Runs the samples of a segment, each group taking the next ones whenever
  // all of its orbits have ended or outlasted the first rounds.
  HWY_NOINLINE void Sprint(std::size_t row, std::size_t begin, std::size_t end) {
    const D d;
    const V one = hn::Set(d, 1.0);
    const std::int32_t rounds = std::min(job_.Limit, kSprintRounds);
    const bool ended = rounds == job_.Limit;
    TGroup groups[kGroups] = {};
    std::size_t busy = 0;
    for (TGroup& g : groups) busy += Take(d, g, row, begin, end);
    while (busy) {
      HWY_UNROLL(kGroups)
      for (TGroup& g : groups) {
        Advance<Orbit, kCertify>(d, g.S, g.Live, fallbacks_);
        g.Steps = hn::Add(g.Steps, hn::IfThenElseZero(g.Live, one));
        g.Live = hn::And(g.Live, box_.Inside(g.S));
        if (g.Count && (++g.Rounds == rounds || hn::AllFalse(d, g.Live))) {
          Hand(d, g, ended);
          busy -= !Take(d, g, row, begin, end);
        }
      }
    }
  }

  // Starts the group on the samples from `next` on; false if none is left.
  HWY_INLINE bool Take(D d, TGroup& g, std::size_t row, std::size_t& next, std::size_t end) {
    const std::size_t lanes = hn::Lanes(d);
    g.Count = std::min(lanes, end - next);
    g.Slot = row * job_.Re.size() + next;
    g.Live = hn::FirstN(d, g.Count);
    g.Steps = hn::Zero(d);
    g.Rounds = 0;
    if (!g.Count) return false;
    const hn::Rebind<float, D> df;
    if (g.Count == lanes) {
      g.S.Re = hn::PromoteTo(d, hn::LoadU(df, job_.Re.data() + next));
    } else {
      alignas(64) float re[kMaxLanes] = {};
      std::copy_n(job_.Re.data() + next, g.Count, re);
      g.S.Re = hn::PromoteTo(d, hn::Load(df, re));
    }
    g.S.Im = hn::Set(d, job_.Im[row]);
    Start(d, Orbit{}, g.S);
    next += g.Count;
    return true;
  }

  // Writes the group's step counts; keeps the orbits that go on unless the
  // limit has been reached.
  HWY_INLINE void Hand(D d, const TGroup& g, bool ended) {
    const hn::Rebind<std::int32_t, D> di;
    const auto steps = hn::DemoteTo(di, g.Steps);
    if (g.Count == hn::Lanes(d)) {
      hn::StoreU(steps, di, job_.Counts + g.Slot);
    } else {
      alignas(64) std::int32_t counts[kMaxLanes];
      hn::Store(steps, di, counts);
      std::copy_n(counts, g.Count, job_.Counts + g.Slot);
    }
    if (ended || hn::AllFalse(d, g.Live)) return;
    alignas(64) double zr[kMaxLanes], zi[kMaxLanes], re[kMaxLanes];
    hn::Store(g.S.Zr, d, zr);
    hn::Store(g.S.Zi, d, zi);
    hn::Store(g.S.Re, d, re);
    const double im = hn::GetLane(g.S.Im);
    for (std::uint64_t going = LaneBits(d, g.Live); going; going &= going - 1) {
      const int l = std::countr_zero(going);
      queue_.push_back({zr[l], zi[l], re[l], im, g.Rounds, g.Slot + std::size_t(l)});
    }
  }

  const TFastJob& job_;
  TSegments& segments_;
  std::uint64_t& fallbacks_;
  const TBox box_;
  std::vector<TLongOrbit> queue_;
};

// All groups' lanes in memory, where finished orbits hand their count over
// and take the next one. Groups step in rounds; a lane's step count is the
// rounds since its orbit started, so the vectors carry no counter.
template <class Orbit, bool kCertify>
class TLaneStore {
 public:
  TLaneStore(const TFastJob& job, TOrbitSupply<Orbit, kCertify>& supply) : job_(job), supply_(supply) {
    std::fill_n(keptZr_, kSize, kNone);
    std::fill_n(keptZi_, kSize, kNone);
    std::fill_n(keepAt_, kSize, kNever);
  }

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
  std::int64_t Deadline(std::size_t group) const { return deadline_[group]; }

  // The lanes back at a point they held before. Such an orbit repeats itself
  // from there on, inside the box, so it runs to the limit. Each lane keeps
  // its point at ages that double, which finds a cycle of any length in the
  // end.
  HWY_INLINE M Recurring(D d, std::size_t group, const TLanes& s, std::int64_t round) {
    const std::size_t at = group * hn::Lanes(d);
    const M back = hn::And(hn::Eq(s.Zr, hn::Load(d, keptZr_ + at)), hn::Eq(s.Zi, hn::Load(d, keptZi_ + at)));
    const M due = hn::Le(hn::Load(d, keepAt_ + at), hn::Set(d, double(round)));
    if (HWY_UNLIKELY(!hn::AllFalse(d, due))) Keep(d, group, s, due, round);
    return back;
  }

  // After `round`: records the counts of the group's lanes that left the box
  // (`outside`), came back to a kept point (`back`) or reached the limit, and
  // restarts them on new orbits. Lanes left without an orbit mirror a lane
  // that has one (its state as last saved), so they never stall a vector;
  // their steps go unrecorded. False when no lane of any group has an orbit
  // left.
  HWY_NOINLINE bool Refill(D d, std::size_t group, M outside, M back, std::int64_t round) {
    const std::size_t lanes = hn::Lanes(d), first = group * lanes;
    const std::uint64_t left = LaneBits(d, outside), cycling = LaneBits(d, hn::AndNot(outside, back));
    std::uint64_t ending = left | cycling;
    for (std::size_t k = 0; k < lanes; ++k)
      if (round >= start_[first + k] + job_.Limit) ending |= std::uint64_t(1) << k;
    bool idle = false;
    for (; ending; ending &= ending - 1) {
      const int k = std::countr_zero(ending);
      const std::size_t l = first + std::size_t(k);
      if (live_[l]) job_.Counts[slot_[l]] = cycling >> k & 1 ? job_.Limit : std::int32_t(round - start_[l]);
      keptZr_[l] = keptZi_[l] = kNone;
      TLongOrbit orbit;
      live_[l] = supply_.Next(orbit);
      if (!live_[l]) {
        idle = true;
        continue;
      }
      zr_[l] = orbit.Zr;
      zi_[l] = orbit.Zi;
      re_[l] = orbit.Re;
      im_[l] = orbit.Im;
      start_[l] = round - orbit.Steps;
      slot_[l] = orbit.Slot;
      keepAt_[l] = double(start_[l] + kFirstKeep);
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
          keepAt_[l] = kNever;
        }
    }
    deadline_[group] = *std::min_element(start_ + first, start_ + first + lanes) + job_.Limit;
    return true;
  }

 private:
  // Keeps the points of the lanes `due`, until twice their present age.
  HWY_NOINLINE void Keep(D d, std::size_t group, const TLanes& s, M due, std::int64_t round) {
    const std::size_t at = group * hn::Lanes(d);
    hn::Store(hn::IfThenElse(due, s.Zr, hn::Load(d, keptZr_ + at)), d, keptZr_ + at);
    hn::Store(hn::IfThenElse(due, s.Zi, hn::Load(d, keptZi_ + at)), d, keptZi_ + at);
    for (std::uint64_t lanes = LaneBits(d, due); lanes; lanes &= lanes - 1) {
      const std::size_t l = at + std::size_t(std::countr_zero(lanes));
      keepAt_[l] = double(2 * round - start_[l]);
    }
  }

  static constexpr std::size_t kSize = kGroups * kMaxLanes;
  static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();  // equal to no point
  static constexpr double kNever = std::numeric_limits<double>::infinity();
  const TFastJob& job_;
  TOrbitSupply<Orbit, kCertify>& supply_;
  alignas(64) double zr_[kSize] = {}, zi_[kSize] = {}, re_[kSize] = {}, im_[kSize] = {};
  alignas(64) double keptZr_[kSize], keptZi_[kSize], keepAt_[kSize];
  std::int64_t start_[kSize] = {};
  std::size_t slot_[kSize] = {};
  bool live_[kSize] = {};
  std::int64_t deadline_[kGroups] = {};
};

// Runs the thread's share of the job; returns the lane steps recomputed exactly.
template <class Orbit, bool kCertify>
std::uint64_t RunLanes(const TFastJob& job, TSegments& segments) {
  const D d;
  std::uint64_t fallbacks = 0;
  TOrbitSupply<Orbit, kCertify> supply(job, segments, fallbacks);
  TLaneStore<Orbit, kCertify> store(job, supply);
  const M all = hn::FirstN(d, hn::Lanes(d)), none = hn::FirstN(d, 0);
  TLanes s[kGroups];
  for (std::size_t g = 0; g < kGroups; ++g)
    if (!store.Refill(d, g, all, none, 0)) return fallbacks;
  for (std::size_t g = 0; g < kGroups; ++g) s[g] = store.Load(d, g);

  const TBox box(d, job.Box);
  // One round of group g; false when no orbit is left.
  const auto step = [&](std::size_t g, std::int64_t round, auto check) HWY_ATTR {
    Advance<Orbit, kCertify>(d, s[g], all, fallbacks);
    const M inside = box.Inside(s[g]);
    const M back = check ? store.Recurring(d, g, s[g], round) : none;
    if (hn::AllTrue(d, inside) && round < store.Deadline(g) && hn::AllFalse(d, back)) return true;
    store.Save(d, g, s[g]);
    if (!store.Refill(d, g, hn::Not(inside), back, round)) return false;
    s[g] = store.Load(d, g);
    return true;
  };
  for (std::int64_t round = 1;; ++round) {
    for (const std::int64_t check = round + kCycleRounds - 1; round < check; ++round) {
      HWY_UNROLL(kGroups)
      for (std::size_t g = 0; g < kGroups; ++g)
        if (!step(g, round, std::false_type{})) return fallbacks;
    }
    for (std::size_t g = 0; g < kGroups; ++g)
      if (!step(g, round, std::true_type{})) return fallbacks;
  }
}

template <bool kCertify>
void Count(TOrbitKind kind, const TFastJob& job) {
  TSegments segments(job, 8 * kGroups * hn::Lanes(D()));
  std::uint64_t fallbacks = 0;
#pragma omp parallel if (segments.Count() > 1) reduction(+ : fallbacks)
  fallbacks += kind == TOrbitKind::Mandelbrot ? RunLanes<TMandelbrotOrbit, kCertify>(job, segments)
                                              : RunLanes<TJuliaOrbit, kCertify>(job, segments);
  if (fallbacks) gFallbackSteps.fetch_add(fallbacks, std::memory_order_relaxed);
}

}  // namespace

void CountCertified(TOrbitKind kind, const TFastJob& job) { Count<true>(kind, job); }
void CountUnchecked(TOrbitKind kind, const TFastJob& job) { Count<false>(kind, job); }

}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
