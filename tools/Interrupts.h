// SIGINT and SIGTERM for a program that writes files: blocked in every
// thread and taken by a thread of their own, so that no signal can divide the
// decision to keep a file.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>

namespace wirolot {

// One per process. A signal requests a stop; once a step run through
// CommitUnlessStopped has settled the outcome, signals change nothing. Should
// the program not end within two seconds of the first signal (stuck opening a
// FIFO, or writing to a pipe nobody reads), the signal thread removes the
// leftover files, reports "interrupted" and ends the process with status 1.
class TInterrupts {
 public:
  // Construct first in main, before any other thread exists: threads started
  // later inherit the blocked signals.
  TInterrupts();
  ~TInterrupts();
  TInterrupts(const TInterrupts&) = delete;
  TInterrupts& operator=(const TInterrupts&) = delete;

  std::stop_token Token() const { return stop_.get_token(); }

  // Runs step with no forced end meanwhile; step may change `leftovers`, the
  // files a forced end removes.
  void Guarded(const std::function<void(std::set<std::string>& leftovers)>& step);
  // The same, but only if no stop has been requested, and, if `settles`,
  // marks the program's outcome as settled; returns whether step ran.
  bool CommitUnlessStopped(const std::function<void(std::set<std::string>& leftovers)>& step, bool settles = true);

 private:
  void Watch();

  std::stop_source stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::set<std::string> leftovers_;
  bool committed_ = false;
  bool ending_ = false;
  std::thread watcher_;
};

}  // namespace wirolot
