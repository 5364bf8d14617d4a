// The software extended type and the x87 on operands drawn from a fuzzed
// seed: every operation and formula the program uses must give the same bits.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ExtendedOperations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wirolot::testing;
  std::uint64_t seed = 0;
  std::memcpy(&seed, data, std::min(size, sizeof seed));
  TDraws draws(seed);
  const TOperands o = draws.Operands();
  ForEachOperation([&](const char*, auto op) {
    if (Word(op(o.A, o.B, o)) != Word(op(ToLongDouble(o.A), ToLongDouble(o.B), o))) std::abort();
  });
  return 0;
}
