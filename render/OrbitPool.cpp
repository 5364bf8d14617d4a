#include "OrbitPool.h"

#include <algorithm>
#include <iterator>

namespace wirolot {

TOrbitPool::TOrbitPool(const TRowPipeline& rows) : rows_(rows), onStop_(rows.StopToken(), [this] { Wake(); }) {}

void TOrbitPool::Claiming() {
  std::lock_guard lock(mutex_);
  ++claiming_;
}

void TOrbitPool::Put(const std::vector<TLongOrbit>& orbits) {
  bool wake;
  {
    std::lock_guard lock(mutex_);
    orbits_.insert(orbits_.end(), orbits.begin(), orbits.end());
    size_.store(orbits_.size(), std::memory_order_relaxed);
    wake = --claiming_ == 0 || !orbits.empty();
  }
  if (wake) changed_.notify_all();
}

bool TOrbitPool::Take(std::size_t n, std::vector<TLongOrbit>& to) {
  if (!Size()) return false;
  std::lock_guard lock(mutex_);
  n = std::min(n, orbits_.size());
  to.insert(to.end(), std::make_reverse_iterator(orbits_.begin() + std::ptrdiff_t(n)),
            std::make_reverse_iterator(orbits_.begin()));
  orbits_.erase(orbits_.begin(), orbits_.begin() + std::ptrdiff_t(n));
  size_.store(orbits_.size(), std::memory_order_relaxed);
  if (orbits_.empty()) changed_.notify_all();  // for Return
  return n > 0;
}

void TOrbitPool::Wake() {
  {
    std::lock_guard lock(mutex_);
    wakes_.fetch_add(1, std::memory_order_release);
  }
  changed_.notify_all();
}

bool TOrbitPool::Wait(std::uint64_t since, bool done) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return !orbits_.empty() || rows_.Stopping() ||
           (done ? claiming_ == 0 : wakes_.load(std::memory_order_relaxed) != since);
  });
  return !rows_.Stopping() && (!orbits_.empty() || !done);
}

void TOrbitPool::Stopped() {
  if (stepping_.fetch_sub(1, std::memory_order_relaxed) == 1) Notify();
}

bool TOrbitPool::Leave() {
  for (int n = stepping_.load(std::memory_order_relaxed); n > 1;)
    if (stepping_.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return true;
  return false;
}

void TOrbitPool::Return(const std::vector<TLongOrbit>& orbits) {
  Claiming();
  Put(orbits);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return orbits_.empty() || stepping_.load(std::memory_order_relaxed) == 0 || rows_.Stopping();
  });
}

void TOrbitPool::Notify() {
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

}  // namespace wirolot
