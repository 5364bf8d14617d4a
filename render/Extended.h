// Extended precision as the x87 has it: a 64-bit significand, round to nearest
// even. TExtended is the hardware long double where that is its format (x86),
// TSoftExtended elsewhere; both take the same operators, float(x) rounds to
// single and int(x) truncates.
#pragma once

#include <bit>
#include <cassert>
#include <cfloat>
#include <cstdint>
#include <utility>

namespace wirolot {

// value = (-1)^negative * significand * 2^(exponent - 63), the significand's
// top bit set. The program's formulas start from singles and never leave
// 2^-520 .. 2^400 (a product of three singles, a difference of singles over a
// width, ...), far inside the x87's 2^-16382 .. 2^16384, so the type has no
// code for the x87's subnormals or its overflow; an assertion guards the range.
class TSoftExtended {
 public:
  TSoftExtended() = default;  // +0

  // Exact, as the x87 loads them.
  TSoftExtended(float f) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
    const int biased = int(bits >> 23 & 0xFF);
    const std::uint64_t fraction = bits & 0x7FFFFF;
    negative_ = bits >> 31;
    if (biased == 0xFF) {
      exponent_ = kSpecial;
      significand_ = fraction ? kNaN : 0;
    } else if (biased != 0) {
      significand_ = (fraction | 0x800000) << 40;
      exponent_ = biased - 127;
    } else if (fraction != 0) {  // subnormal
      const int shift = std::countl_zero(fraction);
      significand_ = fraction << shift;
      exponent_ = -86 - shift;
    }
  }
  TSoftExtended(int i) {
    negative_ = i < 0;
    const std::uint64_t magnitude = negative_ ? 0 - std::uint64_t(std::int64_t(i)) : std::uint64_t(i);
    if (magnitude == 0) return;
    const int shift = std::countl_zero(magnitude);
    significand_ = magnitude << shift;
    exponent_ = 63 - shift;
  }

  // ±significand * 2^(exponent - 63), the significand's top bit set.
  static TSoftExtended FromParts(bool negative, std::uint64_t significand, int exponent) {
    assert(significand >> 63);
    TSoftExtended x;
    x.negative_ = negative;
    x.significand_ = significand;
    x.exponent_ = exponent;
    return x;
  }
  bool Negative() const { return negative_; }
  std::uint64_t Significand() const { return significand_; }
  int Exponent() const { return exponent_; }
  bool IsZero() const { return significand_ == 0 && exponent_ != kSpecial; }
  bool IsInf() const { return exponent_ == kSpecial && significand_ == 0; }
  bool IsNaN() const { return exponent_ == kSpecial && significand_ != 0; }

  // Rounded to nearest even as an x87 float store rounds: gradual underflow,
  // overflow to infinity.
  explicit operator float() const {
    const std::uint32_t sign = std::uint32_t(negative_) << 31;
    if (exponent_ == kSpecial) return std::bit_cast<float>(sign | (IsNaN() ? 0x7FC00000u : 0x7F800000u));
    if (significand_ == 0 || exponent_ < -150) return std::bit_cast<float>(sign);
    if (exponent_ > 127) return std::bit_cast<float>(sign | 0x7F800000u);
    // Bits kept: 24, fewer below the normal range (none at 2^-150).
    const int kept = exponent_ >= -126 ? 24 : exponent_ + 150;
    std::uint32_t result = kept ? std::uint32_t(significand_ >> (64 - kept)) : 0;
    const std::uint64_t rest = kept ? significand_ << kept : significand_;
    result += rest > kHalf || (rest == kHalf && (result & 1));
    // A normal result is 2^23 .. 2^24 here: adding it to the biased exponent
    // less one carries a rounding up into the exponent, and into infinity.
    if (exponent_ >= -126) result += std::uint32_t(exponent_ + 126) << 23;
    return std::bit_cast<float>(sign | result);
  }

  // Truncated toward zero; |x| < 2^31.
  explicit operator int() const {
    assert(exponent_ != kSpecial && (significand_ == 0 || exponent_ < 31));
    if (significand_ == 0 || exponent_ < 0) return 0;
    const int magnitude = int(significand_ >> (63 - exponent_));
    return negative_ ? -magnitude : magnitude;
  }

  TSoftExtended operator-() const {
    TSoftExtended x = *this;
    x.negative_ = !negative_;
    return x;
  }

  friend TSoftExtended operator+(TSoftExtended a, TSoftExtended b) { return Add(a, b); }
  friend TSoftExtended operator-(TSoftExtended a, TSoftExtended b) { return Add(a, -b); }

  friend TSoftExtended operator*(TSoftExtended a, TSoftExtended b) {
    const bool negative = a.negative_ != b.negative_;
    if (a.exponent_ == kSpecial || b.exponent_ == kSpecial) {
      if (a.IsNaN() || b.IsNaN() || a.IsZero() || b.IsZero()) return NaN();
      return Infinity(negative);
    }
    if (a.significand_ == 0 || b.significand_ == 0) return Zero(negative);
    // 2^126 <= product < 2^128.
    return Round(negative, a.exponent_ + b.exponent_ + 1, Wide(a.significand_) * b.significand_);
  }

  friend TSoftExtended operator/(TSoftExtended a, TSoftExtended b) {
    const bool negative = a.negative_ != b.negative_;
    if (a.exponent_ == kSpecial || b.exponent_ == kSpecial) {
      if (a.IsNaN() || b.IsNaN() || (a.IsInf() && b.IsInf())) return NaN();
      return a.IsInf() ? Infinity(negative) : Zero(negative);
    }
    if (b.significand_ == 0) return a.significand_ == 0 ? NaN() : Infinity(negative);
    if (a.significand_ == 0) return Zero(negative);
    // 128 quotient bits, the first one or two of them zero, and a sticky bit
    // for the remainder.
    const Wide high = (Wide(a.significand_) << 63) / b.significand_;
    const std::uint64_t remainder = std::uint64_t((Wide(a.significand_) << 63) % b.significand_);
    const Wide low = (Wide(remainder) << 64) / b.significand_;
    const bool inexact = (Wide(remainder) << 64) % b.significand_ != 0;
    return Round(negative, a.exponent_ - b.exponent_, high << 64 | low | Wide(inexact));
  }

  // IEEE comparisons: nothing holds for a NaN but !=, and -0 == +0.
  friend bool operator==(TSoftExtended a, TSoftExtended b) { return Compare(a, b) == 0; }
  friend bool operator<(TSoftExtended a, TSoftExtended b) { return Compare(a, b) == -1; }
  friend bool operator>(TSoftExtended a, TSoftExtended b) { return Compare(a, b) == 1; }
  friend bool operator<=(TSoftExtended a, TSoftExtended b) { return Compare(a, b) <= 0; }
  friend bool operator>=(TSoftExtended a, TSoftExtended b) { return unsigned(Compare(a, b)) <= 1; }

 private:
  using Wide = unsigned __int128;
  static constexpr int kSpecial = 1 << 30;  // infinities and NaNs
  static constexpr int kZero = -(1 << 30);  // below every finite exponent
  static constexpr std::uint64_t kHalf = std::uint64_t(1) << 63;
  static constexpr std::uint64_t kNaN = kHalf | kHalf >> 1;

  static TSoftExtended Zero(bool negative) {
    TSoftExtended x;
    x.negative_ = negative;
    return x;
  }
  static TSoftExtended Infinity(bool negative) {
    TSoftExtended x;
    x.negative_ = negative;
    x.exponent_ = kSpecial;
    return x;
  }
  // The x87's default NaN, the "real indefinite".
  static TSoftExtended NaN() {
    TSoftExtended x;
    x.negative_ = true;
    x.exponent_ = kSpecial;
    x.significand_ = kNaN;
    return x;
  }

  // ±m * 2^(exponent - 127), m > 0, rounded to 64 bits, nearest even.
  static TSoftExtended Round(bool negative, int exponent, Wide m) {
    const std::uint64_t top = std::uint64_t(m >> 64);
    const int shift = top ? std::countl_zero(top) : 64 + std::countl_zero(std::uint64_t(m));
    m <<= shift;
    exponent -= shift;
    std::uint64_t significand = std::uint64_t(m >> 64);
    const std::uint64_t rest = std::uint64_t(m);
    significand += rest > kHalf || (rest == kHalf && (significand & 1));
    if (significand == 0) [[unlikely]] {  // carried out of the top bit
      significand = kHalf;
      ++exponent;
    }
    assert(exponent > -16382 && exponent < 16384);
    return FromParts(negative, significand, exponent);
  }

  static TSoftExtended Add(TSoftExtended a, TSoftExtended b) {
    if (a.exponent_ == kSpecial || b.exponent_ == kSpecial) {
      if (a.IsNaN() || b.IsNaN() || (a.IsInf() && b.IsInf() && a.negative_ != b.negative_)) return NaN();
      return a.IsInf() ? a : b;
    }
    if (b.significand_ == 0) return a.significand_ ? a : Zero(a.negative_ && b.negative_);
    if (a.significand_ == 0) return b;
    if (a.exponent_ < b.exponent_ || (a.exponent_ == b.exponent_ && a.significand_ < b.significand_)) std::swap(a, b);
    // Both with their top bit at 126, the smaller shifted right; bits shifted
    // out leave a sticky bit far below the rounding position. A difference
    // adds the smaller one's two's complement, without a branch.
    const Wide big = Wide(a.significand_) << 63;
    Wide small = Wide(b.significand_) << 63;
    const int shift = a.exponent_ - b.exponent_;
    if (shift < 127)
      small = small >> shift | Wide((small & ((Wide(1) << shift) - 1)) != 0);
    else
      small = 1;
    const Wide flip = Wide(0) - Wide(a.negative_ != b.negative_);
    const Wide sum = big + ((small ^ flip) - flip);
    if (sum == 0) return Zero(false);
    return Round(a.negative_, a.exponent_ + 1, sum);
  }

  // -1, 0 or 1 as a < b, a == b or a > b; 2 if either is a NaN.
  static int Compare(TSoftExtended a, TSoftExtended b) {
    if (a.IsNaN() || b.IsNaN()) return 2;
    if (a.IsZero() && b.IsZero()) return 0;
    if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;
    const auto magnitude = [](TSoftExtended x) { return std::pair(x.exponent_, x.significand_); };
    const int order = magnitude(a) < magnitude(b) ? -1 : magnitude(a) > magnitude(b) ? 1 : 0;
    return a.negative_ ? -order : order;
  }

  std::uint64_t significand_ = 0;  // 0 for zero and infinity
  int exponent_ = kZero;
  bool negative_ = false;
};

#if LDBL_MANT_DIG == 64 && !defined(WIROLOT_SOFT_EXTENDED)
using TExtended = long double;
#else
using TExtended = TSoftExtended;
#endif

}  // namespace wirolot
