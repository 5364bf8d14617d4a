// The views drawn, for going back and forth between them.
#pragma once

#include <cassert>
#include <cstddef>
#include <deque>

#include "View.h"

class TViewHistory {
 public:
  static constexpr std::size_t kCapacity = 1000;

  // A view now drawn: it follows the current one, and those after the current
  // one are forgotten; the oldest go beyond kCapacity. The current view drawn
  // again changes nothing.
  void Record(const wirolot::TView& view) {
    if (!views_.empty() && views_[current_] == view) return;
    if (!views_.empty()) views_.erase(views_.begin() + std::ptrdiff_t(current_) + 1, views_.end());
    views_.push_back(view);
    if (views_.size() > kCapacity) views_.pop_front();
    current_ = views_.size() - 1;
  }
  std::size_t Size() const { return views_.size(); }
  // The index of the current view, 0 for the oldest kept.
  std::size_t Current() const { return current_; }
  const wirolot::TView& At(std::size_t index) const { return views_.at(index); }
  bool CanGoBack() const { return current_ > 0; }
  bool CanGoForward() const { return current_ + 1 < views_.size(); }
  // The view before (after) the current one becomes current.
  const wirolot::TView& Back() {
    assert(CanGoBack());
    return views_[--current_];
  }
  const wirolot::TView& Forward() {
    assert(CanGoForward());
    return views_[++current_];
  }

 private:
  std::deque<wirolot::TView> views_;
  std::size_t current_ = 0;
};
