// The file a picture is written to: a temporary file beside the target,
// renamed over it only once complete, or standard output for "-".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Interrupts.h"
#include "Types.h"

namespace wirolot {

// A write that failed; the message names the file and the reason.
class EOutputError : public Exception {
 public:
  using Exception::Exception;
};

// A target that is a symbolic link is written through to the file it names,
// which need not exist yet. A target that exists and is not a regular file (a
// device, a FIFO) is written directly. The temporary file is removed unless
// committed, by the destructor or, on a forced end, by `interrupts`.
class TOutputFile {
 public:
  TOutputFile(const std::string& path, TInterrupts& interrupts);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t size);
  // Puts the written bytes on the disk; call once, after the last Write.
  void Sync();
  // Makes the written bytes the target's content, unless a stop was requested
  // first: returns whether it did. Call after Sync. `settles`: the program's
  // outcome with it (TInterrupts::CommitUnlessStopped).
  bool Commit(bool settles = true);
  // The file being written, for a writer of its own: the temporary file, or
  // the target where that is written directly; empty for standard output.
  const std::string& Written() const { return temp_.empty() ? target_ : temp_; }

 private:
  [[noreturn]] void Fail(const std::string& what);
  // Closes and removes the temporary file, if any.
  void Abandon();

  TInterrupts& interrupts_;
  std::string name_;    // as given, for messages
  std::string target_;  // the file written, symbolic links followed
  std::string temp_;    // empty when writing directly
  int fd_ = -1;
};

}  // namespace wirolot
