// The file a picture is written to: a temporary file beside the target,
// renamed over it only once complete, or standard output for "-".
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace wirolot {

// A write that failed; the message names the file and the reason.
class EOutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One at a time per process: while it exists, SIGINT and SIGTERM remove the
// temporary file and end the process with status 1. A target that exists and
// is not a regular file (a device, a FIFO) is written directly.
class TOutputFile {
 public:
  explicit TOutputFile(const std::string& path);
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t size);
  // Makes the written bytes the target's content.
  void Commit();

 private:
  [[noreturn]] void Fail(const std::string& what);

  std::string name_;
  std::string temp_;  // empty when writing directly
  int fd_ = -1;
};

}  // namespace wirolot
