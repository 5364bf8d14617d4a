// The long orbits of a pass, shared by all its computing threads: the orbits
// that outlasted their first rounds wait here, oldest first, until a lane
// takes them, so that no lane idles while an orbit waits for one elsewhere.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <vector>

#include "InteriorProof.h"
#include "RowPipeline.h"

namespace wirolot {

// An orbit that outlasted its first rounds: its point after `Steps` steps.
struct TLongOrbit {
  double Zr, Zi, Re, Im;
  std::int64_t Steps;
  std::size_t Row, Column;
  double Near;  // how near a kept point to ask for a proof
  TTrapDisc Trap;
};

class TOrbitPool {
 public:
  explicit TOrbitPool(const TRowPipeline& rows);

  // A thread is about to claim a segment: orbits may come until it has put
  // the segment's long orbits (Put) or claimed nothing (Unclaimed).
  void Claiming();
  void Put(const std::vector<TLongOrbit>& orbits);
  void Unclaimed() { Put({}); }

  // Moves up to n of the oldest orbits to the back of `to`, newest first;
  // false if there were none.
  bool Take(std::size_t n, std::vector<TLongOrbit>& to);
  // Orbits waiting, as last seen.
  std::size_t Size() const { return size_.load(std::memory_order_relaxed); }

  // Rows were painted, or the pass is stopping: there may be room for more
  // segments, or nothing more to do.
  void Wake();
  // Wakes so far; what the waking threads painted is seen after this.
  std::uint64_t Wakes() const { return wakes_.load(std::memory_order_acquire); }
  // Waits for orbits, a wake after `since` wakes, or, once nothing is left to
  // claim (`done`), for every claim to end. False when no orbit will come.
  bool Wait(std::uint64_t since, bool done);

  // A thread starts stepping lanes, or stops.
  void Stepping() { stepping_.fetch_add(1, std::memory_order_relaxed); }
  void Stopped();
  // Stops the thread stepping, unless it is the last one that steps.
  bool Leave();
  // Orbits a thread that has left gives up part way; waits until threads
  // still stepping have taken them, or none steps.
  void Return(const std::vector<TLongOrbit>& orbits);

 private:
  void Notify();

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

}  // namespace wirolot
