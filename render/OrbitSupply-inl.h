// The first rounds of every sample: a thread's segments run in lock step,
// the counts of the orbits that end written, the others put in the pool of
// long orbits.
#if defined(WIROLOT_RENDER_ORBIT_SUPPLY_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_ORBIT_SUPPLY_INL_H_
#undef WIROLOT_RENDER_ORBIT_SUPPLY_INL_H_
#else
#define WIROLOT_RENDER_ORBIT_SUPPLY_INL_H_
#endif

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "DiscBound-inl.h"
#include "FastEngineJob.h"
#include "FastStep-inl.h"
#include "LaneProofs-inl.h"
#include "OrbitPool.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace wirolot {
namespace HWY_NAMESPACE {
namespace {

// Most orbits are short. Every sample first runs in lock step with its
// neighbours for this many rounds; only the orbits still going on then are
// handed to lanes of their own.
constexpr std::int32_t kSprintRounds = 64;

// A thread claims this many vectors of samples of a row at a time.
constexpr std::size_t kSegmentVectors = 8 * kGroups;

HWY_INLINE std::size_t SegmentLength() { return kSegmentVectors * hn::Lanes(D()); }

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
  TOrbitSupply(const TFastJob& job, TOrbitPool& pool, std::uint64_t& fallbacks, TOrbitTally& interior)
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

  // Adds the steps of the orbits that left the box in the first rounds to
  // the thread's figures.
  void CountEscapedSteps() {
    double sum = 0;
    for (std::size_t l = 0; l < hn::Lanes(D()); ++l) sum += ended_[l];
    interior_.EscapedSteps += std::uint64_t(sum) - proven_ * std::uint64_t(job_.Limit);
  }

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
    alignas(64) double KeptZr[kMaxLanes] = {}, KeptZi[kMaxLanes] = {}, Near[kMaxLanes] = {};
    bool Trapping = false;  // some lane has a trap disc
    std::uint64_t Proven = 0;  // lanes ended by a proof
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
    if (job_.Prove)
      Sprint<true>(segment);
    else
      Sprint<false>(segment);
    pool_.Put(sprinted_);
    if (job_.Rows.Counted(segment.Row, segment.End - segment.Begin - sprinted_.size())) Painted();
    sprinted_.clear();
    return claim;
  }

  // The samples of a segment, each group taking the next ones whenever all of
  // its orbits have ended or outlasted the first rounds. The groups' vectors
  // are locals.
  // With kProve, orbits are proven never to leave the box where they can be.
  template <bool kProve>
  HWY_NOINLINE void Sprint(const TRowPipeline::TSegment& segment) {
    const D d;
    std::size_t next = segment.Begin;
    static_assert(kGroups == 4);
    TGroup g0, g1, g2, g3;
    V zr0, zi0, re0, im0, steps0, zr1, zi1, re1, im1, steps1, zr2, zi2, re2, im2, steps2, zr3, zi3, re3, im3, steps3;
    M live0, live1, live2, live3;
    std::size_t busy = Take<kProve>(d, g0, segment, next, zr0, zi0, re0, im0, live0, steps0) +
                       Take<kProve>(d, g1, segment, next, zr1, zi1, re1, im1, live1, steps1) +
                       Take<kProve>(d, g2, segment, next, zr2, zi2, re2, im2, live2, steps2) +
                       Take<kProve>(d, g3, segment, next, zr3, zi3, re3, im3, live3, steps3);
    while (busy) {
      busy -= Round<kProve>(d, g0, segment, next, zr0, zi0, re0, im0, live0, steps0);
      busy -= Round<kProve>(d, g1, segment, next, zr1, zi1, re1, im1, live1, steps1);
      busy -= Round<kProve>(d, g2, segment, next, zr2, zi2, re2, im2, live2, steps2);
      busy -= Round<kProve>(d, g3, segment, next, zr3, zi3, re3, im3, live3, steps3);
    }
  }

  // One round of a group; true when it has run out of samples.
  template <bool kProve>
  HWY_INLINE bool Round(D d, TGroup& group, const TRowPipeline::TSegment& segment, std::size_t& next, V& zr, V& zi,
                        V& re, V& im, M& live, V& steps) {
    if (!group.Count) return false;
    const std::int32_t rounds = sprintRounds_;
    Advance<Orbit, kCertify>(d, zr, zi, re, im, live, fallbacks_);
    steps = hn::Add(steps, hn::IfThenElseZero(live, hn::Set(d, 1.0)));
    live = hn::And(live, Inside(d, box_, zr, zi));
    ++group.Rounds;
    if constexpr (kProve) {
      if (group.Trapping && group.Rounds < job_.Limit) Spring(d, group, zr, zi, live, steps);
      if (group.Rounds == group.SettleAt) {
        Settle(d, group, zr, zi, re, im, live, steps);
        group.SettleAt = SettleAfter(group.Rounds);
      }
    }
    if (group.Rounds < rounds && !hn::AllFalse(d, live)) return false;
    Hand(d, group, segment.Row, zr, zi, re, im, live, steps, rounds == job_.Limit);
    return !Take<kProve>(d, group, segment, next, zr, zi, re, im, live, steps);
  }

  // Starts a group on the samples from `next` on; false if none is left.
  template <bool kProve>
  HWY_INLINE bool Take(D d, TGroup& group, const TRowPipeline::TSegment& segment, std::size_t& next, V& zr, V& zi,
                       V& re, V& im, M& live, V& steps) {
    group.Column = next;
    group.Count = std::min(hn::Lanes(d), segment.End - next);
    group.Rounds = 0;
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
    hn::Store(hn::Set(d, -1.0), d, group.Traps.Reach);
    group.Proven = 0;
    if constexpr (kProve) {
      group.SettleAt = SettleAfter(0);
      hn::Store(hn::Set(d, std::numeric_limits<double>::quiet_NaN()), d, group.KeptZr);
      hn::Store(hn::Set(d, std::numeric_limits<double>::quiet_NaN()), d, group.KeptZi);
      hn::Store(hn::Set(d, kNearPoint), d, group.Near);
      group.Trapping = false;
      if (Orbit::kKind == TOrbitKind::Mandelbrot && group.Count &&
          NearKnownCycles(first[0], first[group.Count - 1], job_.Rows.Im(segment.Row))) {
        const M known = hn::And(live, KnownCycle(d, re, im));
        if (!hn::AllFalse(d, known)) SetTraps(d, group, known, re, im);
      }
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
    group.Proven += hn::CountTrue(d, proven);
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
    std::int32_t* const out = job_.Rows.Counts(row) + group.Column;
    if (group.Count == hn::Lanes(d)) {
      hn::StoreU(hn::DemoteTo(di, steps), di, out);
    } else {
      alignas(64) std::int32_t counts[kMaxLanes];
      hn::Store(hn::DemoteTo(di, steps), di, counts);
      std::copy_n(counts, group.Count, out);
    }
    // Every ended lane's count, lane by lane, for the steps of the orbits
    // that left the box (EscapedSteps).
    const V ended = hn::IfThenElseZero(hn::AndNot(live, hn::FirstN(d, group.Count)), steps);
    hn::Store(hn::Add(hn::Load(d, ended_), ended), d, ended_);
    proven_ += group.Proven;
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
  const TBoxBounds box_ = TBoxBounds::Of(job_.Box);
  const TBoxBounds bounds_ = TBoxBounds::WithinFloats(job_.Box);
  TOrbitPool& pool_;
  std::uint64_t& fallbacks_;
  TOrbitTally& interior_;
  std::vector<TLongOrbit> taken_;     // from the pool, oldest last
  std::vector<TLongOrbit> sprinted_;  // the long orbits of the segment in hand
  std::uint64_t dry_ = 0;             // the pool's wakes when Next last found nothing
  const std::int32_t sprintRounds_ = std::min(job_.Limit, kSprintRounds);
  alignas(64) double ended_[kMaxLanes] = {};  // the counts Hand wrote, lane by lane
  std::uint64_t proven_ = 0;                  // of them, the orbits proven to stay
};

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
