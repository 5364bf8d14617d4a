// SIGINT and SIGTERM for a program that writes one file: blocked in every
// thread and taken by a thread of their own, so that no signal can divide the
// decision to keep the file.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace wirolot {

// One per process. A signal requests a stop; once a step run through
// CommitUnlessStopped has run, signals change nothing. Should the program not
// end within two seconds of the first signal (stuck opening a FIFO, or
// writing to a pipe nobody reads), the signal thread removes the leftover
// file, reports "interrupted" and ends the process with status 1.
class TInterrupts {
 public:
  // Construct first in main, before any other thread exists: threads started
  // later inherit the blocked signals.
  TInterrupts();
  ~TInterrupts();
  TInterrupts(const TInterrupts&) = delete;
  TInterrupts& operator=(const TInterrupts&) = delete;

  std::stop_token Token() const { return stop_.get_token(); }

  // Runs step with no forced end meanwhile; step may set `leftover`, the file
  // a forced end removes.
  void Guarded(const std::function<void(std::string& leftover)>& step);
  // The same, but only if no stop has been requested, and marks the program's
  // outcome as settled; returns whether step ran.
  bool CommitUnlessStopped(const std::function<void(std::string& leftover)>& step);

 private:
  void Watch();

  std::stop_source stop_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string leftover_;
  bool committed_ = false;
  bool ending_ = false;
  std::thread watcher_;
};

}  // namespace wirolot
