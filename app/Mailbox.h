// What a worker thread hands the user-interface thread: the worker changes a
// state under a lock, and the receiver is woken once, on its own thread, for
// however many changes came since it last took the state.
#pragma once

#include <QObject>

#include <functional>
#include <mutex>
#include <utility>

// Arrived, emitted on any thread, reaches the receivers on theirs.
class TWake : public QObject {
  Q_OBJECT

 signals:
  void Arrived();
};

template <class TState>
class TMailbox {
 public:
  // `deliver` runs on `receiver`'s thread after changes; it is dropped with
  // the receiver.
  TMailbox(QObject* receiver, std::function<void()> deliver) {
    QObject::connect(&wake_, &TWake::Arrived, receiver, std::move(deliver), Qt::QueuedConnection);
  }

  // Worker side.
  template <class Change>
  void Post(Change&& change) {
    std::lock_guard lock(mutex_);
    change(state_);
    if (!std::exchange(wakePosted_, true)) emit wake_.Arrived();
  }

  // Receiver side: the state, a fresh one left in its place.
  TState Take() {
    std::lock_guard lock(mutex_);
    wakePosted_ = false;
    return std::exchange(state_, {});
  }

 private:
  TWake wake_;
  std::mutex mutex_;
  TState state_{};
  bool wakePosted_ = false;
};
