// Vector kernels of the fast engine, compiled once per instruction set by
// FastEngine.cpp through hwy/foreach_target.h. Vectors live only in locals and
// parameters, as scalable vectors (SVE) require: between rounds the lanes'
// state waits in arrays of doubles.
#if defined(WIROLOT_RENDER_FAST_ENGINE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_FAST_ENGINE_INL_H_
#undef WIROLOT_RENDER_FAST_ENGINE_INL_H_
#else
#define WIROLOT_RENDER_FAST_ENGINE_INL_H_
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <limits>
#include <mutex>
#include <stop_token>
#include <type_traits>
#include <utility>
#include <vector>

#include "DiscBound-inl.h"
#include "FastEngineJob.h"
#include "InteriorProof.h"
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

// One step of every lane from (zr, zi) with sample (re, im), each component
// rounded to single. Returns the lanes whose step is certainly the extended
// one (all unless kCertify).
template <bool kCertify>
HWY_INLINE M Step(D d, TMandelbrotOrbit, V zr, V zi, V re, V im, V& nextZr, V& nextZi) {
  // Products of two floats are exact in double, so fusing them changes
  // nothing: x errs by both roundings, y by one.
  const V zi2 = hn::Mul(zi, zi);
  const V x = hn::Add(hn::MulSub(zr, zr, zi2), re);
  const V y = hn::MulAdd(hn::Add(zr, zr), zi, im);
  nextZr = ToSingle(d, x);
  nextZi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  return hn::And(Certain(d, x, nextZr, hn::MulAdd(zr, zr, zi2)), Certain(d, y, nextZi));
}

template <bool kCertify>
HWY_INLINE M Step(D d, TJuliaOrbit, V zr, V zi, V, V, V& nextZr, V& nextZi) {
  // Fused where the product is exact, as above.
  const V zi2 = hn::Mul(zi, zi);
  const V p = hn::Add(hn::MulSub(zr, zr, zi2), hn::Set(d, TJuliaOrbit::kCre));
  const V q = hn::MulAdd(hn::Add(zr, zr), zi, hn::Set(d, TJuliaOrbit::kCim));
  const V x = hn::Sub(hn::Mul(p, zr), hn::Mul(q, zi));
  const V y = hn::Add(hn::Mul(p, zi), hn::Mul(q, zr));
  nextZr = ToSingle(d, x);
  nextZi = ToSingle(d, y);
  if constexpr (!kCertify) return hn::FirstN(d, hn::Lanes(d));
  // x errs by at most |zr| (|A| + 2|p|) + 2|q| |zi| + |x| units of the two
  // roundings, A = zr2 - zi2, and y the same with zr and zi swapped. With
  // m = zr2 + zi2 >= |A|, |2 zr zi|: |p| <= m + 2.04, |q| <= m + 0.2, so both
  // weights are at most (|zr| + |zi|) (5m + 4.5).
  const V m = hn::MulAdd(zr, zr, zi2);
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

// The box's bounds widened once, for broadcasts straight from memory.
struct TBoxBounds {
  double ReMin, ReMax, ImMin, ImMax;
  explicit TBoxBounds(const TComplexRect& box)
      : ReMin(box.Cremin), ReMax(box.Cremax), ImMin(box.Cimmin), ImMax(box.Cimmax) {}
};

// The lanes strictly inside the box; a NaN is outside.
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

// Most orbits are short. Every sample first runs in lock step with its
// neighbours for this many rounds; only the orbits still going on then are
// handed to lanes of their own.
constexpr std::int32_t kSprintRounds = 64;

// A thread claims this many vectors of samples of a row at a time.
constexpr std::size_t kSegmentVectors = 8 * kGroups;

// Lanes look for a point they held before every this many rounds, from the
// age at which they first keep one on.
constexpr std::int64_t kCycleRounds = 32;
constexpr std::int64_t kFirstKeep = 2 * kSprintRounds;
// They look for points in their trap disc every this many rounds.
constexpr std::int64_t kTrapRounds = 4;
static_assert(kCycleRounds % kTrapRounds == 0);

HWY_INLINE std::size_t SegmentLength() { return kSegmentVectors * hn::Lanes(D()); }

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
  const V r1 = hn::Add(hn::MulSub(zr, zr, hn::Mul(zi, zi)), re), i1 = hn::MulAdd(hn::Add(zr, zr), zi, im);
  const V r2 = hn::Add(hn::MulSub(r1, r1, hn::Mul(i1, i1)), re), i2 = hn::MulAdd(hn::Add(r1, r1), i1, im);
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

// Lane state of the groups between rounds: the point and the sample.
struct TLaneArrays {
  alignas(64) double Zr[kStateSize] = {}, Zi[kStateSize] = {}, Re[kStateSize] = {}, Im[kStateSize] = {};

  HWY_INLINE void Load(D d, std::size_t group, V& zr, V& zi, V& re, V& im) const {
    const std::size_t at = At(group);
    zr = hn::Load(d, Zr + at);
    zi = hn::Load(d, Zi + at);
    re = hn::Load(d, Re + at);
    im = hn::Load(d, Im + at);
  }
  HWY_INLINE void StorePoint(D d, std::size_t group, V zr, V zi) {
    const std::size_t at = At(group);
    hn::Store(zr, d, Zr + at);
    hn::Store(zi, d, Zi + at);
  }
};

// An orbit that outlasted its first rounds: its point after `Steps` steps.
struct TLongOrbit {
  double Zr, Zi, Re, Im;
  std::int64_t Steps;
  std::size_t Row, Column;
  double Near;  // how near a kept point to ask for a proof
  TTrapDisc Trap;
};

// The long orbits of a pass, oldest first, shared by all its threads, so
// that no lane idles while an orbit waits for a lane elsewhere. A thread
// with nothing to do waits here until orbits or room in the pipeline come.
class TOrbitPool {
 public:
  explicit TOrbitPool(const TRowPipeline& rows) : rows_(rows), onStop_(rows.StopToken(), [this] { Wake(); }) {}

  // A thread is about to claim a segment: orbits may come until it has put
  // the segment's long orbits (Put) or claimed nothing (Unclaimed).
  void Claiming() {
    std::lock_guard lock(mutex_);
    ++claiming_;
  }
  void Put(const std::vector<TLongOrbit>& orbits) {
    bool wake;
    {
      std::lock_guard lock(mutex_);
      orbits_.insert(orbits_.end(), orbits.begin(), orbits.end());
      size_.store(orbits_.size(), std::memory_order_relaxed);
      wake = --claiming_ == 0 || !orbits.empty();
    }
    if (wake) changed_.notify_all();
  }
  void Unclaimed() { Put({}); }
  // Orbits a thread gives up part way; waits until others take them.
  void Return(const std::vector<TLongOrbit>& orbits) {
    Claiming();
    Put(orbits);
    AwaitTaken();
  }

  // A thread starts stepping lanes, or stops.
  void Stepping() { stepping_.fetch_add(1, std::memory_order_relaxed); }
  void Stopped() {
    if (stepping_.fetch_sub(1, std::memory_order_relaxed) == 1) Notify();
  }
  // Stops the thread stepping, unless it is the last one to.
  bool Leave() {
    for (int n = stepping_.load(std::memory_order_relaxed); n > 1;)
      if (stepping_.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return true;
    return false;
  }
  // Waits until the orbits are taken, by threads still stepping, or none is.
  void AwaitTaken() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
      return orbits_.empty() || stepping_.load(std::memory_order_relaxed) == 0 || rows_.Stopping();
    });
  }

  // Moves up to n of the oldest orbits to the back of `to`, newest first.
  bool Take(std::size_t n, std::vector<TLongOrbit>& to) {
    if (!size_.load(std::memory_order_relaxed)) return false;
    std::lock_guard lock(mutex_);
    n = std::min(n, orbits_.size());
    to.insert(to.end(), std::make_reverse_iterator(orbits_.begin() + std::ptrdiff_t(n)),
              std::make_reverse_iterator(orbits_.begin()));
    orbits_.erase(orbits_.begin(), orbits_.begin() + std::ptrdiff_t(n));
    size_.store(orbits_.size(), std::memory_order_relaxed);
    if (orbits_.empty()) changed_.notify_all();  // for AwaitTaken
    return n > 0;
  }
  // Orbits waiting, as last seen.
  std::size_t Size() const { return size_.load(std::memory_order_relaxed); }

  // Rows were painted, or the pass is stopping: there may be room for more
  // segments, or nothing more to do.
  void Wake() {
    {
      std::lock_guard lock(mutex_);
      wakes_.fetch_add(1, std::memory_order_release);
    }
    changed_.notify_all();
  }
  void Notify() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
  }
  // Acquires what the waking thread painted, so that a claim after it sees
  // the room.
  std::uint64_t Wakes() const { return wakes_.load(std::memory_order_acquire); }

  // Waits for orbits, a wake after `since` wakes, or, once nothing is left to
  // claim (`done`), for every claim to end. False when no orbit will come.
  bool Wait(std::uint64_t since, bool done) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
      return !orbits_.empty() || rows_.Stopping() ||
             (done ? claiming_ == 0 : wakes_.load(std::memory_order_relaxed) != since);
    });
    return !rows_.Stopping() && (!orbits_.empty() || !done);
  }

 private:
  const TRowPipeline& rows_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TLongOrbit> orbits_;
  std::size_t claiming_ = 0;
  std::atomic<std::size_t> size_{0};     // orbits_.size(), read without the lock
  std::atomic<std::uint64_t> wakes_{0};  // changed under the lock
  std::atomic<int> stepping_{0};
  std::stop_callback<std::function<void()>> onStop_;
};

// Long orbits a lane store takes from the pool at once.
constexpr std::size_t kTakeOrbits = kMaxLanes;

// One thread's supply of long orbits: it claims segments, runs each one's
// samples in lock step, writes the counts of the orbits that end, and puts
// the others in the pool, from which it takes orbits for its lanes.
template <class Orbit, bool kCertify>
class TOrbitSupply {
 public:
  // Lane steps recomputed exactly are added to `fallbacks`, orbits that run
  // to their limit to `interior`.
  TOrbitSupply(const TFastJob& job, TOrbitPool& pool, std::uint64_t& fallbacks, TInteriorTally& interior)
      : job_(job), pool_(pool), fallbacks_(fallbacks), interior_(interior) {}

  // The next long orbit; false when none is there for now, because the
  // pipeline is full or nothing is left.
  bool Next(TLongOrbit& orbit) {
    while (taken_.empty() && !pool_.Take(kTakeOrbits, taken_)) {
      dry_ = pool_.Wakes();
      if (SprintNext() != TRowPipeline::TClaim::Taken) return false;
    }
    orbit = taken_.back();
    taken_.pop_back();
    return true;
  }

  // Waits until a long orbit is there; false when none will come.
  bool Await() {
    while (taken_.empty() && !pool_.Take(kTakeOrbits, taken_)) {
      const std::uint64_t wakes = pool_.Wakes();
      const TRowPipeline::TClaim claim = SprintNext();
      if (claim != TRowPipeline::TClaim::Taken && !pool_.Wait(wakes, claim == TRowPipeline::TClaim::Done))
        return false;
    }
    return true;
  }

  // The pipeline painted rows after counts were written.
  void Painted() { pool_.Wake(); }

  // Hands orbits back to the pool and waits until another thread has them.
  void GiveBack(const std::vector<TLongOrbit>& orbits) { pool_.Return(orbits); }

  // Whether Next may find an orbit now that it did not find the last time.
  bool Hopeful() const { return !taken_.empty() || pool_.Size() || pool_.Wakes() != dry_; }

 private:
  // A group's place in the segment: `Count` samples from `Column` on, and
  // the rounds it has run.
  struct TGroup {
    std::size_t Column = 0, Count = 0;
    std::int32_t Rounds = 0;
    std::int32_t SettleAt = 0;  // the next round that looks back, if any
    // Points held kSettleRounds rounds ago, and how near they must come to ask for a proof.
    alignas(64) double KeptZr[kMaxLanes], KeptZi[kMaxLanes], Near[kMaxLanes];
    bool Trapping = false;  // some lane has a trap disc
    std::uint64_t Proven = 0;  // the lanes ended by a proof
    TTrapArrays<kMaxLanes> Traps;
  };

  // Claims the next segment and runs it, its long orbits into the pool.
  TRowPipeline::TClaim SprintNext() {
    TRowPipeline::TSegment segment;
    pool_.Claiming();
    const TRowPipeline::TClaim claim = job_.Rows.TryClaim(SegmentLength(), segment);
    if (claim != TRowPipeline::TClaim::Taken) {
      pool_.Unclaimed();
      return claim;
    }
    Sprint(segment);
    pool_.Put(sprinted_);
    if (job_.Rows.Counted(segment.Row, segment.End - segment.Begin - sprinted_.size())) Painted();
    sprinted_.clear();
    return claim;
  }

  // The samples of a segment, each group taking the next ones whenever all of
  // its orbits have ended or outlasted the first rounds. The groups' vectors
  // are locals.
  HWY_NOINLINE void Sprint(const TRowPipeline::TSegment& segment) {
    const D d;
    std::size_t next = segment.Begin;
    static_assert(kGroups == 4);
    TGroup g0, g1, g2, g3;
    V zr0, zi0, re0, im0, steps0, zr1, zi1, re1, im1, steps1, zr2, zi2, re2, im2, steps2, zr3, zi3, re3, im3, steps3;
    M live0, live1, live2, live3;
    std::size_t busy = Take(d, g0, segment, next, zr0, zi0, re0, im0, live0, steps0) +
                       Take(d, g1, segment, next, zr1, zi1, re1, im1, live1, steps1) +
                       Take(d, g2, segment, next, zr2, zi2, re2, im2, live2, steps2) +
                       Take(d, g3, segment, next, zr3, zi3, re3, im3, live3, steps3);
    while (busy) {
      busy -= Round(d, g0, segment, next, zr0, zi0, re0, im0, live0, steps0);
      busy -= Round(d, g1, segment, next, zr1, zi1, re1, im1, live1, steps1);
      busy -= Round(d, g2, segment, next, zr2, zi2, re2, im2, live2, steps2);
      busy -= Round(d, g3, segment, next, zr3, zi3, re3, im3, live3, steps3);
    }
  }

  // One round of a group; true when it has run out of samples.
  HWY_INLINE bool Round(D d, TGroup& group, const TRowPipeline::TSegment& segment, std::size_t& next, V& zr, V& zi,
                        V& re, V& im, M& live, V& steps) {
    if (!group.Count) return false;
    const std::int32_t rounds = std::min(job_.Limit, kSprintRounds);
    Advance<Orbit, kCertify>(d, zr, zi, re, im, live, fallbacks_);
    steps = hn::Add(steps, hn::IfThenElseZero(live, hn::Set(d, 1.0)));
    live = hn::And(live, Inside(d, box_, zr, zi));
    ++group.Rounds;
    if (group.Trapping && group.Rounds < job_.Limit) Spring(d, group, zr, zi, live, steps);
    if (group.Rounds == group.SettleAt) {
      Settle(d, group, zr, zi, re, im, live, steps);
      group.SettleAt = SettleAfter(group.Rounds);
    }
    if (group.Rounds < rounds && !hn::AllFalse(d, live)) return false;
    Hand(d, group, segment.Row, zr, zi, re, im, live, steps, rounds == job_.Limit);
    return !Take(d, group, segment, next, zr, zi, re, im, live, steps);
  }

  // Starts a group on the samples from `next` on; false if none is left.
  HWY_INLINE bool Take(D d, TGroup& group, const TRowPipeline::TSegment& segment, std::size_t& next, V& zr, V& zi,
                       V& re, V& im, M& live, V& steps) {
    group.Column = next;
    group.Count = std::min(hn::Lanes(d), segment.End - next);
    group.Rounds = 0;
    group.SettleAt = job_.Prove ? SettleAfter(0) : 0;
    const hn::Rebind<float, D> df;
    const float* first = job_.Rows.Re().data() + next;
    // Straight from the walk: a vector loaded from a fresh copy waits for
    // the copy's stores. Only a segment's last samples go through one.
    if (group.Count == hn::Lanes(d)) {
      re = hn::PromoteTo(d, hn::LoadU(df, first));
    } else {
      alignas(64) float part[kMaxLanes] = {};
      std::copy_n(first, group.Count, part);
      re = hn::PromoteTo(d, hn::Load(df, part));
    }
    im = hn::Set(d, job_.Rows.Im(segment.Row));
    Start(d, Orbit{}, re, im, zr, zi);
    live = hn::FirstN(d, group.Count);
    steps = hn::Zero(d);
    std::fill_n(group.KeptZr, kMaxLanes, std::numeric_limits<double>::quiet_NaN());
    std::fill_n(group.KeptZi, kMaxLanes, std::numeric_limits<double>::quiet_NaN());
    std::fill_n(group.Near, kMaxLanes, kNearPoint);
    hn::Store(hn::Set(d, -1.0), d, group.Traps.Reach);
    group.Trapping = false;
    group.Proven = 0;
    if (job_.Prove && Orbit::kKind == TOrbitKind::Mandelbrot && group.Count &&
        NearKnownCycles(first[0], first[group.Count - 1], job_.Rows.Im(segment.Row))) {
      const M known = hn::And(live, KnownCycle(d, re, im));
      if (!hn::AllFalse(d, known)) SetTraps(d, group, known, re, im);
    }
    next += group.Count;
    return group.Count > 0;
  }

  // The round after `round` at which a group looks back: every kSettleRounds
  // rounds and at the last before its orbits are handed on, but not at the
  // limit; 0 (never) if none.
  std::int32_t SettleAfter(std::int32_t round) const {
    const std::int32_t next = std::min(round / kSettleRounds * kSettleRounds + kSettleRounds, kSprintRounds);
    return next > round && next < job_.Limit ? next : 0;
  }

  // Gives the lanes `known`, whose samples lie where the attracting cycle is
  // known in closed form, its trap disc where there is one.
  HWY_NOINLINE void SetTraps(D d, TGroup& group, M known, V re, V im) {
    V wr, wi, reach;
    ClosedFormDisc(TLaneArith<D>{d}, re, im, bounds_, wr, wi, reach);
    const M trapped = hn::And(known, hn::Ge(reach, hn::Zero(d)));
    hn::Store(wr, d, group.Traps.Re);
    hn::Store(wi, d, group.Traps.Im);
    hn::Store(hn::IfThenElse(trapped, reach, hn::Set(d, -1.0)), d, group.Traps.Reach);
    // The disc serves instead of the proofs.
    hn::Store(hn::IfThenElseZero(hn::Not(trapped), hn::Load(d, group.Near)), d, group.Near);
    group.Trapping = !hn::AllFalse(d, trapped);
  }

  // Ends the live lanes whose trap disc holds their point: they run to the limit.
  HWY_INLINE void Spring(D d, TGroup& group, V zr, V zi, M& live, V& steps) {
    const M proven = hn::And(live, group.Traps.Hold(d, 0, zr, zi));
    if (HWY_UNLIKELY(!hn::AllFalse(d, proven))) End(d, group, proven, live, steps);
  }

  // Ends the live lanes that have come back near the points they held and
  // are proven never to leave the box: they run to the limit. Holds the new
  // points.
  HWY_INLINE void Settle(D d, TGroup& group, V zr, V zi, V re, V im, M& live, V& steps) {
    const V apart = Apart(zr, zi, hn::Load(d, group.KeptZr), hn::Load(d, group.KeptZi));
    hn::Store(zr, d, group.KeptZr);
    hn::Store(zi, d, group.KeptZi);
    const M asked = hn::And(live, hn::Lt(apart, hn::Load(d, group.Near)));
    if (HWY_LIKELY(hn::AllFalse(d, asked))) return;
    const M proven = ProveLanes<Orbit>(d, job_.Box, asked, zr, zi, re, im, apart, group.Near, group.Traps, 0);
    group.Trapping = group.Traps.Any(d, 0);
    End(d, group, proven, live, steps);
  }

  // Ends the lanes `proven`: they run to the limit.
  HWY_INLINE void End(D d, TGroup& group, M proven, M& live, V& steps) {
    steps = hn::IfThenElse(proven, hn::Set(d, double(job_.Limit)), steps);
    group.Proven |= LaneBits(d, proven);
    live = hn::AndNot(proven, live);
    const std::size_t count = hn::CountTrue(d, proven);
    interior_.Orbits += count;
    interior_.Proven += count;
    interior_.Steps += count * std::uint64_t(group.Rounds);
  }

  // Writes the group's step counts; keeps the orbits that go on unless the
  // limit has been reached.
  HWY_INLINE void Hand(D d, const TGroup& group, std::size_t row, V zr, V zi, V re, V im, M live, V steps,
                       bool atLimit) {
    const hn::Rebind<std::int32_t, D> di;
    alignas(64) std::int32_t counts[kMaxLanes];
    hn::Store(hn::DemoteTo(di, steps), di, counts);
    std::copy_n(counts, group.Count, job_.Rows.Counts(row) + group.Column);
    for (std::uint64_t left = LaneBits(d, hn::AndNot(live, hn::FirstN(d, group.Count))) & ~group.Proven; left;
         left &= left - 1)
      interior_.EscapedSteps += std::uint64_t(counts[std::countr_zero(left)]);
    if (hn::AllFalse(d, live)) return;
    if (atLimit) {
      const std::size_t count = hn::CountTrue(d, live);
      interior_.Orbits += count;
      interior_.Steps += count * std::uint64_t(group.Rounds);
      return;
    }
    alignas(64) double point[2][kMaxLanes], sample[kMaxLanes];
    hn::Store(zr, d, point[0]);
    hn::Store(zi, d, point[1]);
    hn::Store(re, d, sample);
    const double sampleIm = hn::GetLane(im);
    for (std::uint64_t going = LaneBits(d, live); going; going &= going - 1) {
      const int l = std::countr_zero(going);
      // A hopeless orbit stays so; the others start afresh.
      sprinted_.push_back({point[0][l], point[1][l], sample[l], sampleIm, group.Rounds, row,
                        group.Column + std::size_t(l), group.Near[l] ? kNearPoint : 0,
                        group.Traps.Get(std::size_t(l))});
    }
  }

  const TFastJob& job_;
  const TBoxBounds box_{job_.Box};
  const TDiscBounds bounds_{job_.Box};
  TOrbitPool& pool_;
  std::uint64_t& fallbacks_;
  TInteriorTally& interior_;
  std::vector<TLongOrbit> taken_;     // from the pool, oldest last
  std::vector<TLongOrbit> sprinted_;  // the long orbits of the segment in hand
  std::uint64_t dry_ = 0;             // the pool's wakes when Next last found nothing
};

// Every group's lanes on long orbits, where a finished orbit hands its count
// over and the lane takes the next one. Groups step in rounds; a lane's step
// count is the rounds since its orbit started, so the vectors carry no counter.
template <class Orbit, bool kCertify>
class TLaneStore {
 public:
  // Lane steps recomputed exactly are added to `fallbacks`, orbits that run
  // to their limit to `interior`.
  TLaneStore(const TFastJob& job, TOrbitSupply<Orbit, kCertify>& supply, std::uint64_t& fallbacks,
             TInteriorTally& interior)
      : job_(job), supply_(supply), fallbacks_(fallbacks), interior_(interior) {
    std::fill_n(keptZr_, kStateSize, kNone);
    std::fill_n(keptZi_, kStateSize, kNone);
    std::fill_n(keepAt_, kStateSize, kNever);
    std::fill_n(traps_.Reach, kStateSize, -1.0);
  }

  // After `round`, with the points of the groups in use stored (Save):
  // orbits move to the first lanes and, if `take`, the lanes after them take
  // the ones there are, so that only the groups that hold one step. Returns
  // how many groups do; 0 when no lane has an orbit.
  std::size_t Rebalance(D d, std::int64_t round, bool take) {
    const std::size_t lanes = hn::Lanes(d), slots = kGroups * lanes;
    const auto at = [lanes](std::size_t slot) { return At(slot / lanes) + slot % lanes; };
    std::size_t used = 0;
    for (std::size_t slot = 0; slot < slots; ++slot)
      if (live_[at(slot)]) {
        if (used < slot) Move(at(slot), at(used));
        ++used;
      }
    while (take && used < slots && TakeOrbit(at(used), round)) ++used;
    idle_ = used < slots;
    groups_ = (used + lanes - 1) / lanes;
    if (!groups_) return 0;
    for (std::size_t g = 0; g < groups_; ++g) Ready(d, g);
    return groups_;
  }

  // Whether some lane has had no orbit since the last Rebalance, or a group is not in use.
  bool Idle() const { return idle_ || groups_ < kGroups; }
  // Orbits in the lanes.
  std::size_t Live() const { return std::size_t(std::count(live_, live_ + At(groups_), true)); }
  // Whether the orbits would fit in fewer groups.
  bool Sparse(D d) const { return Live() + hn::Lanes(d) <= groups_ * hn::Lanes(d); }

  // After `round`, with the points stored (Save): hands every orbit back to
  // the supply, as it stands, and leaves the lanes idle.
  void Park(std::int64_t round) {
    std::vector<TLongOrbit> orbits;
    for (std::size_t l = 0; l < At(groups_); ++l)
      if (std::exchange(live_[l], false))
        orbits.push_back({lanes_.Zr[l], lanes_.Zi[l], lanes_.Re[l], lanes_.Im[l], round - start_[l], row_[l],
                          column_[l], near_[l], traps_.Get(l)});
    supply_.GiveBack(orbits);
  }

  // Stores group g's points, as Rebalance needs them.
  HWY_INLINE void Save(D d, std::size_t g, V zr, V zi) { lanes_.StorePoint(d, g, zr, zi); }

  // Group g's vectors as stored.
  HWY_INLINE void Load(D d, std::size_t g, V& zr, V& zi, V& re, V& im) const { lanes_.Load(d, g, zr, zi, re, im); }

  // What a round looks for, besides points outside the box.
  static constexpr int kTraps = 1, kRepeats = 2;

  // One round of group g, whose vectors are zr .. im: steps it and, where
  // orbits end, starts those lanes on the next. `kLook` tells whether it looks
  // for points in their trap disc, for repeats (and asks for proofs). False
  // when no lane of any group has an orbit left.
  template <int kLook>
  HWY_INLINE bool Round(D d, std::size_t g, V& zr, V& zi, V& re, V& im, std::int64_t round) {
    Advance<Orbit, kCertify>(d, zr, zi, re, im, hn::FirstN(d, hn::Lanes(d)), fallbacks_);
    const M inside = Inside(d, box_, zr, zi);
    M back = hn::FirstN(d, 0);
    if (kLook & kTraps && trapping_[g]) {
      back = traps_.Hold(d, At(g), zr, zi);
      interior_.Proven += hn::CountTrue(d, back);
    }
    if (kLook & kRepeats) back = Recurring(d, g, zr, zi, re, im, back, round);
    if (hn::AllTrue(d, inside) && round < deadline_[g] && hn::AllFalse(d, back)) return true;
    lanes_.StorePoint(d, g, zr, zi);
    if (!Refill(d, g, hn::Not(inside), back, round)) return false;
    lanes_.Load(d, g, zr, zi, re, im);
    return true;
  }

 private:
  // The lanes `trapped` or back at a point they held before, or near it and
  // proven never to leave the box. Such an orbit runs to the limit. Each lane
  // keeps its point at ages that double, which finds a cycle of any length in
  // the end.
  HWY_INLINE M Recurring(D d, std::size_t group, V zr, V zi, V re, V im, M trapped, std::int64_t round) {
    const std::size_t at = At(group);
    const V keptZr = hn::Load(d, keptZr_ + at), keptZi = hn::Load(d, keptZi_ + at);
    M back = hn::Or(trapped, hn::And(hn::Eq(zr, keptZr), hn::Eq(zi, keptZi)));
    if (job_.Prove) {
      const V apart = Apart(zr, zi, keptZr, keptZi);
      const M asked = hn::AndNot(back, hn::Lt(apart, hn::Load(d, near_ + at)));
      if (HWY_UNLIKELY(!hn::AllFalse(d, asked))) {
        const M proven = ProveLanes<Orbit>(d, job_.Box, asked, zr, zi, re, im, apart, near_ + at, traps_, at);
        interior_.Proven += hn::CountTrue(d, proven);
        back = hn::Or(back, proven);
        trapping_[group] = traps_.Any(d, at);
      }
    }
    const M due = hn::Le(hn::Load(d, keepAt_ + at), hn::Set(d, double(round)));
    if (HWY_UNLIKELY(!hn::AllFalse(d, due))) Keep(d, group, zr, zi, due, round);
    return back;
  }

  // Keeps the points of the lanes `due`, until twice their present age.
  HWY_NOINLINE void Keep(D d, std::size_t group, V zr, V zi, M due, std::int64_t round) {
    const std::size_t at = At(group);
    hn::Store(hn::IfThenElse(due, zr, hn::Load(d, keptZr_ + at)), d, keptZr_ + at);
    hn::Store(hn::IfThenElse(due, zi, hn::Load(d, keptZi_ + at)), d, keptZi_ + at);
    for (std::uint64_t lanes = LaneBits(d, due); lanes; lanes &= lanes - 1) {
      const std::size_t l = at + std::size_t(std::countr_zero(lanes));
      keepAt_[l] = double(2 * round - start_[l]);
    }
  }

  // After `round`, with the group's points stored: ends the orbits of the
  // lanes that left the box (`outside`), came back to a kept point (`back`)
  // or reached the limit, and starts them on new ones. False when no lane of
  // any group has an orbit left.
  HWY_NOINLINE bool Refill(D d, std::size_t group, M outside, M back, std::int64_t round) {
    const std::size_t lanes = hn::Lanes(d), first = At(group);
    const std::uint64_t cycling = LaneBits(d, hn::AndNot(outside, back));
    std::uint64_t ending = LaneBits(d, outside) | cycling;
    for (std::size_t k = 0; k < lanes; ++k)
      if (round >= start_[first + k] + job_.Limit) ending |= std::uint64_t(1) << k;
    bool idle = false;
    for (; ending; ending &= ending - 1) {
      const int k = std::countr_zero(ending);
      const std::size_t l = first + std::size_t(k);
      if (live_[l]) Record(l, cycling >> k & 1 ? job_.Limit : std::int32_t(round - start_[l]), round);
      idle |= !TakeOrbit(l, round);
    }
    idle_ |= idle;
    return Ready(d, group);
  }

  // After the group's lanes changed: its idle lanes mirror a live one, and
  // its earliest limit and whether it has a trap disc are noted. False if no
  // lane in use has an orbit.
  bool Ready(D d, std::size_t group) {
    const std::size_t first = At(group), lanes = hn::Lanes(d);
    if (!std::all_of(live_ + first, live_ + first + lanes, [](bool live) { return live; }) &&
        !MirrorIdle(first, lanes))
      return false;
    deadline_[group] = *std::min_element(start_ + first, start_ + first + lanes) + job_.Limit;
    trapping_[group] = traps_.Any(d, first);
    return true;
  }

  // Moves lane `from`'s orbit to the idle lane `to`.
  void Move(std::size_t from, std::size_t to) {
    for (double* a : {lanes_.Zr, lanes_.Zi, lanes_.Re, lanes_.Im, keptZr_, keptZi_, keepAt_, near_, traps_.Re,
                      traps_.Im, traps_.Reach})
      a[to] = a[from];
    start_[to] = start_[from];
    row_[to] = row_[from];
    column_[to] = column_[from];
    live_[to] = true;
    live_[from] = false;
  }

  // The count of lane l's orbit, which ends after `round`.
  void Record(std::size_t l, std::int32_t count, std::int64_t round) {
    job_.Rows.Counts(row_[l])[column_[l]] = count;
    if (job_.Rows.Counted(row_[l], 1)) supply_.Painted();
    if (count == job_.Limit) {
      ++interior_.Orbits;
      interior_.Steps += std::uint64_t(round - start_[l]);
    } else {
      interior_.EscapedSteps += std::uint64_t(count);
    }
  }

  // Starts lane l on the next long orbit, if one is there.
  bool TakeOrbit(std::size_t l, std::int64_t round) {
    keptZr_[l] = keptZi_[l] = kNone;
    TLongOrbit orbit;
    live_[l] = supply_.Next(orbit);
    if (!live_[l]) return false;
    lanes_.Zr[l] = orbit.Zr;
    lanes_.Zi[l] = orbit.Zi;
    lanes_.Re[l] = orbit.Re;
    lanes_.Im[l] = orbit.Im;
    start_[l] = round - orbit.Steps;
    row_[l] = orbit.Row;
    column_[l] = orbit.Column;
    keepAt_[l] = double(start_[l] + kFirstKeep);
    near_[l] = orbit.Near;
    traps_.Set(l, orbit.Trap);
    return true;
  }

  // Lanes left without an orbit mirror a lane that has one (its state as
  // last stored), so that they never stall a vector; their steps go
  // unrecorded. False if no lane of any group has an orbit.
  bool MirrorIdle(std::size_t first, std::size_t lanes) {
    const bool* source = std::find(live_, live_ + At(groups_), true);
    if (source == live_ + At(groups_)) return false;
    const std::size_t s = std::size_t(source - live_);
    for (std::size_t l = first; l < first + lanes; ++l)
      if (!live_[l]) {
        lanes_.Zr[l] = lanes_.Zr[s];
        lanes_.Zi[l] = lanes_.Zi[s];
        lanes_.Re[l] = lanes_.Re[s];
        lanes_.Im[l] = lanes_.Im[s];
        start_[l] = start_[s];
        keepAt_[l] = kNever;
        near_[l] = 0;
        traps_.Reach[l] = -1;
      }
    return true;
  }

  static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();  // equal to no point
  static constexpr double kNever = std::numeric_limits<double>::infinity();
  const TFastJob& job_;
  const TBoxBounds box_{job_.Box};
  TOrbitSupply<Orbit, kCertify>& supply_;
  std::uint64_t& fallbacks_;
  TInteriorTally& interior_;
  TLaneArrays lanes_;
  alignas(64) double keptZr_[kStateSize], keptZi_[kStateSize], keepAt_[kStateSize];
  alignas(64) double near_[kStateSize] = {};  // how near a kept point to ask for a proof
  TTrapArrays<kStateSize> traps_;
  bool trapping_[kGroups] = {};  // some lane of the group has a trap disc
  std::int64_t start_[kStateSize] = {};
  std::size_t row_[kStateSize] = {}, column_[kStateSize] = {};
  bool live_[kStateSize] = {};
  std::int64_t deadline_[kGroups] = {};
  std::size_t groups_ = 0;  // the groups in use, from the first
  bool idle_ = true;        // some lane has no orbit
};

// Runs the thread's share of the job; returns the lane steps recomputed exactly.
template <class Orbit, bool kCertify>
std::uint64_t RunLanes(const TFastJob& job, TOrbitPool& pool) {
  const D d;
  std::uint64_t fallbacks = 0;
  TInteriorTally interior;
  TOrbitSupply<Orbit, kCertify> supply(job, pool, fallbacks, interior);
  TLaneStore<Orbit, kCertify> store(job, supply, fallbacks, interior);
  // Each group's vectors stay in locals from round to round; only the first
  // `groups` step.
  static_assert(kGroups == 4);
  V zr0, zi0, re0, im0, zr1, zi1, re1, im1, zr2, zi2, re2, im2, zr3, zi3, re3, im3;
  std::size_t groups = 0;
  // One round of the groups in use; false when no lane has an orbit left.
  const auto round = [&](std::int64_t n, auto look) HWY_ATTR {
    constexpr int kLook = decltype(look)::value;
    return store.template Round<kLook>(d, 0, zr0, zi0, re0, im0, n) &&
           (groups < 2 || store.template Round<kLook>(d, 1, zr1, zi1, re1, im1, n)) &&
           (groups < 3 || store.template Round<kLook>(d, 2, zr2, zi2, re2, im2, n)) &&
           (groups < 4 || store.template Round<kLook>(d, 3, zr3, zi3, re3, im3, n));
  };
  using TStore = TLaneStore<Orbit, kCertify>;
  // kTrapRounds rounds, the last of which looks for `look`.
  const auto rounds = [&](std::int64_t& n, auto look) HWY_ATTR {
    bool going = true;
    for (std::int64_t k = 1; going && k < kTrapRounds; ++k) going = round(++n, std::integral_constant<int, 0>{});
    return going && round(++n, look);
  };
  const auto load = [&]() HWY_ATTR {
    store.Load(d, 0, zr0, zi0, re0, im0);
    store.Load(d, 1, zr1, zi1, re1, im1);
    store.Load(d, 2, zr2, zi2, re2, im2);
    store.Load(d, 3, zr3, zi3, re3, im3);
  };
  // Lanes run while orbits come; when every lane has run dry, the thread
  // waits for orbits or room in the pipeline.
  std::int64_t n = 0;
  while (!job.Rows.Stopping() && supply.Await() && (groups = store.Rebalance(d, n, true))) {
    load();
    pool.Stepping();
    bool left = false;
    // Every kTrapRounds-th round looks for points in their trap disc, each
    // cycle's last round for repeats too. Between cycles, a stop is looked
    // for, and idle lanes take new orbits or give up their group.
    for (bool going = true; going && !job.Rows.Stopping();) {
      for (std::int64_t k = kTrapRounds; going && k < kCycleRounds; k += kTrapRounds)
        going = rounds(n, std::integral_constant<int, TStore::kTraps>{});
      going = going && rounds(n, std::integral_constant<int, TStore::kTraps | TStore::kRepeats>{});
      if (going && store.Idle() && (supply.Hopeful() || store.Sparse(d))) {
        store.Save(d, 0, zr0, zi0);
        if (groups > 1) store.Save(d, 1, zr1, zi1);
        if (groups > 2) store.Save(d, 2, zr2, zi2);
        if (groups > 3) store.Save(d, 3, zr3, zi3);
        going = (groups = store.Rebalance(d, n, supply.Hopeful())) > 0;
        load();
      }
      // A few orbits left to each of several threads gather in fewer.
      if (going && groups == 1 && 2 * store.Live() <= hn::Lanes(d) && (left = pool.Leave())) {
        store.Save(d, 0, zr0, zi0);
        store.Park(n);
        going = false;
      }
    }
    if (!left) pool.Stopped();
  }
  AddInteriorTally(interior);
  return fallbacks;
}

template <bool kCertify>
void Count(TOrbitKind kind, const TFastJob& job) {
  std::uint64_t fallbacks = 0;
  TOrbitPool pool(job.Rows);
#pragma omp parallel if (job.Rows.Samples() > SegmentLength()) reduction(+ : fallbacks)
  fallbacks += kind == TOrbitKind::Mandelbrot ? RunLanes<TMandelbrotOrbit, kCertify>(job, pool)
                                              : RunLanes<TJuliaOrbit, kCertify>(job, pool);
  if (fallbacks) AddFallbackSteps(fallbacks);
}

}  // namespace

void CountCertified(TOrbitKind kind, const TFastJob& job) { Count<true>(kind, job); }
void CountUnchecked(TOrbitKind kind, const TFastJob& job) { Count<false>(kind, job); }

}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
