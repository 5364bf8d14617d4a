// The software extended type against the x87, operation by operation and in
// the program's formulas; without an x87, against a digest of the x87's results.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ExtendedOperations.h"

namespace wirolot::testing {
namespace {

// The first this many operands of each operation enter the digest; where the
// x87 is at hand, 2^18 (WIROLOT_EXTENDED_OPERANDS) are compared with it, under
// the sanitizers 2^12, too few for the digest.
constexpr std::uint64_t kDigested = 1 << 16;
std::uint64_t OperandsPerOperation() {
  if (!kHaveX87) return kDigested;
#ifdef WIROLOT_SANITIZED
  return 1 << 12;
#endif
  const char* count = std::getenv("WIROLOT_EXTENDED_OPERANDS");
  return count ? std::max<std::uint64_t>(std::stoull(count), kDigested) : 1 << 18;
}

TEST(Extended, AgreesWithTheX87) {
  TDigest digest;
  int seed = 0;
  ForEachOperation([&](const char* name, auto op) {
    TDraws draws(++seed);
    int failures = 0;
    for (std::uint64_t i = 0; i < OperandsPerOperation(); ++i) {
      const TOperands o = draws.Operands();
      const std::uint64_t soft = Word(op(o.A, o.B, o));
      if (i < kDigested) digest.Add(soft);
#if LDBL_MANT_DIG == 64
      if (soft != Word(op(ToX87(o.A), ToX87(o.B), o)) && ++failures <= 5) ADD_FAILURE() << name << ": draw " << i;
#endif
    }
    EXPECT_EQ(failures, 0) << name;
  });
  // Made on x86-64 from the x87's results.
  if (OperandsPerOperation() >= kDigested) {
    EXPECT_EQ(digest.Value(), 0x2fe7f3792eefc53ull) << std::hex << digest.Value();
  }
}

}  // namespace
}  // namespace wirolot::testing
