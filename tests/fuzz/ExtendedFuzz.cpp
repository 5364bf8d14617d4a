// The software extended type and the x87 on operands made from fuzzed bytes:
// every operation and formula the program uses must give the same bits.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ExtendedOperations.h"

namespace {

using wirolot::testing::Soft;

struct TReader {
  const std::uint8_t* Data;
  std::size_t Size;
  template <class T>
  T Next() {
    T value{};
    const std::size_t n = std::min(sizeof value, Size);
    std::memcpy(&value, Data, n);
    Data += n;
    Size -= n;
    return value;
  }
  // An extended with its exponent within 2^±1024, or a zero, infinity or NaN.
  Soft Extended() {
    const auto bits = Next<std::uint64_t>();
    const auto top = Next<std::uint16_t>();
    const bool negative = top >> 15;
    switch (top >> 12 & 7) {
      case 0: return Soft(negative ? -0.0f : 0.0f);
      case 1: return Soft(negative ? -INFINITY : INFINITY);
      case 2: return Soft(NAN);
      default: return Soft::FromParts(negative, bits | 1ull << 63, int(top & 0x7FF) - 1024);
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wirolot::testing;
  TReader in{data, size};
  TOperands o{in.Extended(), in.Extended(), {}, 0};
  for (float& f : o.F) f = in.Next<float>();
  o.N = in.Next<std::int32_t>();
  ForEachOperation([&](const char*, auto op) {
    if (Word(op(o.A, o.B, o)) != Word(op(ToX87(o.A), ToX87(o.B), o))) std::abort();
  });
  return 0;
}
