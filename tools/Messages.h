// How wirolot-render reports a failure on standard error.
#pragma once

#include <cstdio>
#include <string>

namespace wirolot {

// Bad usage: the message and where to find help; returns the exit status 2.
inline int UsageError(const std::string& message) {
  std::fprintf(stderr, "wirolot-render: %s\nTry 'wirolot-render --help'.\n", message.c_str());
  return 2;
}

// Returns `status` after saying why.
inline int Failure(int status, const std::string& message) {
  std::fprintf(stderr, "wirolot-render: %s\n", message.c_str());
  return status;
}

}  // namespace wirolot
