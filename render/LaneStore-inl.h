// Lanes of their own for the long orbits: a finished orbit hands its count
// over and its lane takes the next one from the supply.
#if defined(WIROLOT_RENDER_LANE_STORE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_LANE_STORE_INL_H_
#undef WIROLOT_RENDER_LANE_STORE_INL_H_
#else
#define WIROLOT_RENDER_LANE_STORE_INL_H_
#endif

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "FastEngineJob.h"
#include "FastStep-inl.h"
#include "LaneProofs-inl.h"
#include "OrbitPool.h"
#include "OrbitSupply-inl.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace wirolot {
namespace HWY_NAMESPACE {
namespace {

// Lanes look for a point they held before every this many rounds, from the
// age at which they first keep one on.
constexpr std::int64_t kCycleRounds = 32;
constexpr std::int64_t kFirstKeep = 2 * kSprintRounds;
// They look for points in their trap disc every this many rounds.
constexpr std::int64_t kTrapRounds = 4;
static_assert(kCycleRounds % kTrapRounds == 0);

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

// Every group's lanes on long orbits, where a finished orbit hands its count
// over and the lane takes the next one. Groups step in rounds; a lane's step
// count is the rounds since its orbit started, so the vectors carry no counter.
template <class Orbit, bool kCertify>
class TLaneStore {
 public:
  // Lane steps recomputed exactly are added to `fallbacks`, orbits that run
  // to their limit to `interior`.
  TLaneStore(const TFastJob& job, TOrbitSupply<Orbit, kCertify>& supply, std::uint64_t& fallbacks,
             TOrbitTally& interior)
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
  const TBoxBounds box_ = TBoxBounds::Of(job_.Box);
  TOrbitSupply<Orbit, kCertify>& supply_;
  std::uint64_t& fallbacks_;
  TOrbitTally& interior_;
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

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace wirolot
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
