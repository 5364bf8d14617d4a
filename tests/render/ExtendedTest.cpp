// The software extended type against the x87, operation by operation and in
// the program's formulas; without an x87, against a digest of the x87's results.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "ExtendedOperations.h"

namespace wirolot::testing {
namespace {

// The first this many operands of each kind enter the digest.
constexpr std::uint64_t kDigested = 1 << 16;

// Operands per kind where the x87 is at hand to compare with: 2^19, or
// WIROLOT_EXTENDED_OPERANDS; under the sanitizers 2^12, too few for the digest.
std::uint64_t OperandsPerKind() {
  if (!kHaveX87) return kDigested;
#ifdef WIROLOT_SANITIZED
  return 1 << 12;
#endif
  if (const char* count = std::getenv("WIROLOT_EXTENDED_OPERANDS")) return std::max<std::uint64_t>(std::stoull(count), kDigested);
  return 1 << 19;
}

// Draws operands with `draw`, computes `op` with the soft type and, where
// there is one, the x87; adds the results to the digest.
template <class Draw, class Op>
void Check(const char* name, int seed, Draw draw, Op op, TDigest& digest, std::uint64_t& checked) {
  TDraws draws{std::uint64_t(seed)};
  const std::uint64_t count = OperandsPerKind();
  int failures = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const TOperands o = draw(draws);
    const auto soft = op(o.A, o.B, o);
    if (i < kDigested) AddTo(digest, soft);
#if LDBL_MANT_DIG == 64
    if (!Same(soft, op(ToX87(o.A), ToX87(o.B), o)) && ++failures <= 5)
      ADD_FAILURE() << name << ": " << Show(o);
#endif
  }
  checked += count;
  EXPECT_EQ(failures, 0) << name;
}

TEST(Extended, AgreesWithTheX87) {
  TDigest digest;
  std::uint64_t checked = 0;
  int seed = 0;
  ForEachOperation([&](const char* name, auto draw, auto op) { Check(name, ++seed, draw, op, digest, checked); });
  // Made on x86-64 from the x87's results.
  if (OperandsPerKind() >= kDigested) {
    EXPECT_EQ(digest.Value(), 0xc19d28c164da5d48ull) << std::hex << digest.Value();
  }
  std::printf("%llu operands checked%s\n", (unsigned long long)checked, kHaveX87 ? " against the x87" : "");
}

}  // namespace
}  // namespace wirolot::testing
