#include "Interrupts.h"

#include <chrono>
#include <csignal>

#include <pthread.h>
#include <unistd.h>

namespace wirolot {

namespace {

sigset_t Signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

TInterrupts::TInterrupts() {
  const sigset_t set = Signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread(&TInterrupts::Watch, this);
}

TInterrupts::~TInterrupts() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  pthread_kill(watcher_.native_handle(), SIGTERM);  // out of sigwait
  watcher_.join();
}

void TInterrupts::Guarded(const std::function<void(std::set<std::string>&)>& step) {
  std::lock_guard lock(mutex_);
  step(leftovers_);
}

bool TInterrupts::CommitUnlessStopped(const std::function<void(std::set<std::string>&)>& step, bool settles) {
  {
    std::lock_guard lock(mutex_);
    if (stop_.stop_requested()) return false;
    step(leftovers_);
    committed_ = committed_ || settles;
  }
  changed_.notify_all();
  return true;
}

void TInterrupts::Watch() {
  const sigset_t set = Signals();
  for (;;) {
    int signal = 0;
    sigwait(&set, &signal);
    std::unique_lock lock(mutex_);
    if (ending_) return;
    if (committed_) continue;
    stop_.request_stop();
    if (changed_.wait_for(lock, std::chrono::seconds(2), [this] { return committed_ || ending_; })) continue;
    // The program has not come to an end by itself.
    for (const std::string& leftover : leftovers_) unlink(leftover.c_str());
    constexpr char kMessage[] = "\nwirolot-render: interrupted\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    _exit(1);
  }
}

}  // namespace wirolot
