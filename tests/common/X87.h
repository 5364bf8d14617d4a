// The software extended type beside the hardware's where long double is the
// x87's 80-bit format: values carried across bit for bit, and results compared.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>

#include "Extended.h"

namespace wirolot::testing {

// FNV-1a over 64-bit words: digests of results made on one machine and
// checked on another.
class TDigest {
 public:
  void Add(std::uint64_t word) {
    for (int k = 0; k < 8; ++k, word >>= 8) value_ = (value_ ^ (word & 0xFF)) * 0x100000001B3ull;
  }
  std::uint64_t Value() const { return value_; }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325ull;
};

// A soft extended as a digest sees it: NaNs alike, zeros and infinities by sign.
inline void AddTo(TDigest& digest, TSoftExtended x) {
  if (x.IsNaN()) return digest.Add(1);
  digest.Add(std::uint64_t(x.Negative()) << 32 | (x.IsInf() ? 2 : x.IsZero() ? 3 : 4));
  if (!x.IsInf() && !x.IsZero()) digest.Add(x.Significand() ^ std::uint64_t(std::uint32_t(x.Exponent())));
}
inline void AddTo(TDigest& digest, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  digest.Add(f != f ? 1 : bits);
}

#if LDBL_MANT_DIG == 64
constexpr bool kHaveX87 = true;

// Bit for bit; the exponent within the x87's normal range.
inline long double ToX87(TSoftExtended x) {
  std::uint64_t significand = x.Significand();
  std::uint16_t top = std::uint16_t(x.Negative()) << 15;
  if (x.IsNaN() || x.IsInf()) {
    top |= 0x7FFF;
    significand = x.IsNaN() ? 0xC000000000000000ull : 0x8000000000000000ull;
  } else if (!x.IsZero()) {
    top |= std::uint16_t(x.Exponent() + 16383);
  }
  unsigned char bytes[sizeof(long double)] = {};
  std::memcpy(bytes, &significand, 8);
  std::memcpy(bytes + 8, &top, 2);
  long double value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// x as the soft type holds it, or false if the soft type would hold it otherwise.
inline bool SameAsX87(TSoftExtended x, long double hardware) {
  unsigned char bytes[sizeof(long double)];
  std::memcpy(bytes, &hardware, sizeof bytes);
  std::uint64_t significand;
  std::uint16_t top;
  std::memcpy(&significand, bytes, 8);
  std::memcpy(&top, bytes + 8, 2);
  const int biased = top & 0x7FFF;
  if (biased == 0x7FFF && significand << 1) return x.IsNaN();
  if (x.IsNaN() || x.Negative() != bool(top >> 15)) return false;
  if (biased == 0x7FFF) return x.IsInf();
  if (biased == 0 && significand == 0) return x.IsZero();
  return !x.IsZero() && !x.IsInf() && x.Significand() == significand && x.Exponent() == biased - 16383;
}
#else
constexpr bool kHaveX87 = false;
#endif

}  // namespace wirolot::testing
