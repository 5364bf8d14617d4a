// The software extended type and the x87 on operands made from fuzzed bytes:
// every operation and formula the program uses must give the same bits.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Orbits.h"
#include "X87.h"

namespace {

using wirolot::TSoftExtended;
using wirolot::testing::SameAsX87;

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
  // An extended with its exponent within the program's reach, or a zero,
  // infinity or NaN.
  TSoftExtended Extended() {
    const auto bits = Next<std::uint64_t>();
    const auto top = Next<std::uint16_t>();
    const bool negative = top >> 15;
    switch (top >> 12 & 7) {
      case 0:
        return negative ? TSoftExtended(-0.0f) : TSoftExtended(0.0f);
      case 1:
        return TSoftExtended(negative ? -INFINITY : INFINITY);
      case 2:
        return TSoftExtended(NAN);
      default:
        return TSoftExtended::FromParts(negative, bits | 1ull << 63, int(top & 0x7FF) - 1024);
    }
  }
};

bool Same(float a, float b) { return (a != a && b != b) || std::memcmp(&a, &b, sizeof a) == 0; }
bool Same(wirolot::TOrbitPoint a, wirolot::TOrbitPoint b) { return Same(a.zr, b.zr) && Same(a.zi, b.zi); }

template <class E>
int Comparisons(E a, E b) {
  return (a < b) | (a > b) << 1 | (a == b) << 2 | (a <= b) << 3 | (a >= b) << 4 | (a != b) << 5;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TReader in{data, size};
  const auto op = in.Next<std::uint8_t>();
  const TSoftExtended a = in.Extended(), b = in.Extended();
  const auto f = in.Next<float>(), g = in.Next<float>(), h = in.Next<float>(), k = in.Next<float>();
  const auto n = in.Next<std::int32_t>();
  const long double ha = wirolot::testing::ToX87(a), hb = wirolot::testing::ToX87(b);
  bool same = true;
  switch (op % 16) {
    case 0: same = SameAsX87(a + b, ha + hb); break;
    case 1: same = SameAsX87(a - b, ha - hb); break;
    case 2: same = SameAsX87(a * b, ha * hb); break;
    case 3: same = SameAsX87(a / b, ha / hb); break;
    case 4: same = SameAsX87(a / n, ha / n); break;
    case 5: same = SameAsX87(n * a, n * ha); break;
    case 6: same = SameAsX87(a + f, ha + f) && SameAsX87(f - a, f - ha); break;
    case 7: same = SameAsX87(a * f, ha * f); break;
    case 8: same = SameAsX87(TSoftExtended(f) + g, (long double)f + g) && SameAsX87(TSoftExtended(f) * g, (long double)f * g); break;
    case 9: same = Same(float(a), float(ha)); break;
    case 10: same = !(ha > -0x1p31L && ha < 0x1p31L) || int(a) == int(ha); break;
    case 11: same = Comparisons(a, b) == Comparisons(ha, hb) && Comparisons(a, TSoftExtended(f)) == Comparisons(ha, (long double)f); break;
    case 12:
      same = Same(wirolot::TMandelbrotOrbit::Step<TSoftExtended>({f, g}, h, k),
                  wirolot::TMandelbrotOrbit::Step<long double>({f, g}, h, k));
      break;
    case 13:
      same = Same(wirolot::TJuliaOrbit::Step<TSoftExtended>({f, g}, 0, 0), wirolot::TJuliaOrbit::Step<long double>({f, g}, 0, 0));
      break;
    default:
      same = Same(float((TSoftExtended(f) - g) / n), float(((long double)f - g) / n)) &&
             Same(float(TSoftExtended(f) + g), float((long double)f + g));
  }
  if (!same) std::abort();
  return 0;
}
