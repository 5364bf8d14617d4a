// A progress sink that keeps every position it is given.
#pragma once

#include <vector>

#include "Surface.h"

namespace wirolot::testing {

struct TRecordingSink final : IProgressSink {
  std::vector<int> Positions;
  void SetPosition(int p) override { Positions.push_back(p); }
};

}  // namespace wirolot::testing
