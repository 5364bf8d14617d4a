// Vector kernels of the fast engine, compiled once per instruction set by
// FastEngine.cpp through hwy/foreach_target.h: every thread sprints segments
// of samples (OrbitSupply-inl.h) and steps the long orbits in lanes of its own
// (LaneStore-inl.h), all of them drawing on one pool of long orbits.
#if defined(WIROLOT_RENDER_FAST_ENGINE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef WIROLOT_RENDER_FAST_ENGINE_INL_H_
#undef WIROLOT_RENDER_FAST_ENGINE_INL_H_
#else
#define WIROLOT_RENDER_FAST_ENGINE_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "FastEngineJob.h"
#include "FastStep-inl.h"
#include "LaneStore-inl.h"
#include "OrbitPool.h"
#include "OrbitSupply-inl.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace wirolot {
namespace HWY_NAMESPACE {
namespace {

// Runs the thread's share of the job; returns the lane steps recomputed exactly.
template <class Orbit, bool kCertify>
std::uint64_t RunLanes(const TFastJob& job, TOrbitPool& pool) {
  const D d;
  std::uint64_t fallbacks = 0;
  TOrbitTally interior;
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
  supply.CountEscapedSteps();
  AddOrbitTally(interior);
  return fallbacks;
}

template <bool kCertify>
void Count(TOrbitKind kind, TFastJob job) {
  // Orbits that end within the first rounds anyway gain less from a proof
  // than it costs to seek.
  job.Prove &= job.Limit > kSprintRounds;
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
