// The operations and formulas the program computes in extended precision,
// each with operands drawn for it so that ties, carries into the exponent,
// cancellations, subnormal singles and overflow are common: for checking the
// software extended type against the x87.
#pragma once

#include <algorithm>
#include <bit>
#include <sstream>
#include <string>

#include "Orbits.h"
#include "X87.h"

namespace wirolot::testing {

using Soft = TSoftExtended;

// Operands of every kind of check; each kind uses some of them.
struct TOperands {
  Soft A, B;
  float F[4];
  int N;
};

inline std::string Show(TSoftExtended x) {
  std::ostringstream s;
  if (x.IsNaN()) return "nan";
  s << (x.Negative() ? "-" : "+");
  if (x.IsInf() || x.IsZero()) return s.str() + (x.IsInf() ? "inf" : "0");
  s << "0x" << std::hex << x.Significand() << std::dec << "p" << x.Exponent();
  return s.str();
}
inline std::string Show(const TOperands& o) {
  std::ostringstream s;
  s << "A " << Show(o.A) << " B " << Show(o.B) << " F" << std::hex;
  for (float f : o.F) s << " 0x" << std::bit_cast<std::uint32_t>(f);
  s << std::dec << " N " << o.N;
  return s.str();
}

// Every draw is sequenced, so that each machine draws the same operands.
class TDraws {
 public:
  explicit TDraws(std::uint64_t seed) : state_(seed) {}

  // 64 bits: uniform, sparse, dense, or one run of ones, so that results
  // often land on or next to a tie.
  std::uint64_t Pattern() {
    const std::uint64_t r = Next();
    switch (r % 4) {
      case 0:
        return Next() & Next() & Next();
      case 1:
        return Next() | Next() | Next();
      case 2: {
        const int a = int(r >> 8 & 63), b = int(r >> 16 & 63);
        return (~0ull >> (63 - std::max(a, b))) & (~0ull << std::min(a, b));
      }
      default:
        return Next();
    }
  }
  int Uniform(int lo, int hi) { return int(lo + std::int64_t(Next() % std::uint64_t(std::int64_t(hi) - lo + 1))); }
  bool Coin() { return Next() & 1; }

  // A single with its exponent in [lo, hi]: 128 stands for infinities and
  // NaNs, -127 for zeros and subnormals.
  float Single(int lo = -127, int hi = 128) {
    const std::uint32_t biased = std::uint32_t(Uniform(std::max(lo, -127), std::min(hi, 128)) + 127);
    const std::uint32_t sign = Coin(), fraction = std::uint32_t(Pattern() >> 41);
    return std::bit_cast<float>(sign << 31 | biased << 23 | fraction);
  }
  // The binade of f, as Single's bounds count.
  static int ExponentOf(float f) { return int(std::bit_cast<std::uint32_t>(f) >> 23 & 0xFF) - 127; }
  // A finite single within `spread` binades of 2^exponent.
  float SingleNear(int exponent, int spread) {
    return Single(std::clamp(exponent - spread, -127, 127), std::clamp(exponent + spread, -127, 127));
  }

  // An extended with its exponent in [lo, hi]; one in 64 a zero, an infinity or a NaN.
  Soft Extended(int lo, int hi) {
    const std::uint64_t r = Next();
    if (r % 64 == 0) {
      const Soft zero = Coin() ? Soft(0.0f) : Soft(-0.0f);
      return r % 3 == 0 ? zero : Coin() ? zero / zero : 1 / zero;
    }
    const std::uint64_t significand = Pattern() | 1ull << 63;
    return Soft::FromParts(r >> 63, significand, Uniform(lo, hi));
  }
  // An extended within `spread` binades of x (finite and nonzero): a third of
  // them share x's exponent and most of its bits, for cancellations.
  Soft Near(Soft x, int spread) {
    if (x.IsNaN() || x.IsInf() || x.IsZero()) return Extended(-300, 300);
    if (Next() % 3 == 0) {
      const bool negative = Coin();
      const std::uint64_t flips = Pattern();
      return Soft::FromParts(negative, (x.Significand() ^ flips >> Uniform(0, 63)) | 1ull << 63, x.Exponent());
    }
    return Extended(x.Exponent() - spread, x.Exponent() + spread);
  }

 private:
  // SplitMix64: cheap enough for instrumented builds, the same everywhere.
  std::uint64_t Next() {
    std::uint64_t z = state_ += 0x9E3779B97F4A7C15ull;
    z = (z ^ z >> 30) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ z >> 27) * 0x94D049BB133111EBull;
    return z ^ z >> 31;
  }
  std::uint64_t state_;
};

// The same checks with either arithmetic.
template <class E>
int Progress(float im, float lo, float hi) {
  const E v = (E(im) - lo) * 100 / (E(hi) - lo);
  return !(v > 0) ? 0 : v >= 100 ? 100 : int(v);
}
template <class E>
int Comparisons(E a, E b) {
  return (a < b) | (a > b) << 1 | (a == b) << 2 | (a <= b) << 3 | (a >= b) << 4 | (a != b) << 5;
}

#if LDBL_MANT_DIG == 64
inline bool Same(Soft soft, long double hardware) { return SameAsX87(soft, hardware); }
inline bool Same(float soft, float hardware) {
  return std::bit_cast<std::uint32_t>(soft) == std::bit_cast<std::uint32_t>(hardware) || (soft != soft && hardware != hardware);
}
inline bool Same(int soft, int hardware) { return soft == hardware; }
inline bool Same(TOrbitPoint soft, TOrbitPoint hardware) { return Same(soft.zr, hardware.zr) && Same(soft.zi, hardware.zi); }
#endif
inline void AddTo(TDigest& digest, int n) { digest.Add(std::uint64_t(std::uint32_t(n))); }
inline void AddTo(TDigest& digest, TOrbitPoint z) {
  AddTo(digest, z.zr);
  AddTo(digest, z.zi);
}

// Calls visit(name, draw, op) for every kind of operation: draw(TDraws&)
// gives operands, op(a, b, operands) computes with the type of a and b.
template <class Visit>
void ForEachOperation(Visit&& visit) {
  // Two singles, the second within 70 binades of the first.
  const auto singles = [](TDraws& d) {
    TOperands o{};
    o.F[0] = d.Single();
    o.F[1] = d.SingleNear(TDraws::ExponentOf(o.F[0]), 70);
    if (d.Coin()) std::swap(o.F[0], o.F[1]);
    return o;
  };
  visit("single + single", singles, [](auto a, auto, const TOperands& o) { return decltype(a)(o.F[0]) + o.F[1]; });
  visit("single - single", singles, [](auto a, auto, const TOperands& o) { return decltype(a)(o.F[0]) - o.F[1]; });
  visit("single * single", singles, [](auto a, auto, const TOperands& o) { return decltype(a)(o.F[0]) * o.F[1]; });
  visit("single + single to single", singles,
        [](auto a, auto, const TOperands& o) { return float(decltype(a)(o.F[0]) + o.F[1]); });

  // An extended and a single within 80 binades of it.
  const auto mixed = [](TDraws& d) {
    TOperands o{};
    o.A = d.Extended(-300, 300);
    o.F[0] = d.SingleNear(o.A.IsZero() || o.A.IsInf() || o.A.IsNaN() ? 0 : o.A.Exponent(), 80);
    return o;
  };
  visit("extended + single", mixed, [](auto a, auto, const TOperands& o) { return a + o.F[0]; });
  visit("extended - single", mixed, [](auto a, auto, const TOperands& o) { return a - o.F[0]; });
  visit("single - extended", mixed, [](auto a, auto, const TOperands& o) { return o.F[0] - a; });
  visit("extended * single", mixed, [](auto a, auto, const TOperands& o) { return a * o.F[0]; });

  // Two extendeds, the second near the first.
  const auto pair = [](TDraws& d) {
    TOperands o{};
    o.A = d.Extended(-1000, 1000);
    o.B = d.Near(o.A, d.Coin() ? 70 : 140);
    o.N = d.Coin() ? d.Uniform(1, 70000) : d.Uniform(-2147483647 - 1, 2147483647);
    return o;
  };
  visit("extended + extended", pair, [](auto a, auto b, const TOperands&) { return a + b; });
  visit("extended - extended", pair, [](auto a, auto b, const TOperands&) { return a - b; });
  visit("extended * extended", pair, [](auto a, auto b, const TOperands&) { return a * b; });
  visit("extended / extended", pair, [](auto a, auto b, const TOperands&) { return a / b; });
  // Significands just above a power of two or just below the next: their
  // quotients run 64 or more bits past the rounding position before they
  // tell a tie from a near one.
  const auto nearPowers = [](TDraws& d) {
    const auto significand = [&d] {
      std::uint64_t small = d.Coin() ? std::uint64_t(d.Uniform(0, 15)) : d.Pattern();
      if (small > 15) small >>= d.Uniform(1, 63);
      return d.Coin() ? 1ull << 63 | small : ~small;
    };
    TOperands o = {};
    for (Soft* x : {&o.A, &o.B}) {
      const bool negative = d.Coin();
      const std::uint64_t bits = significand();
      *x = Soft::FromParts(negative, bits, d.Uniform(-100, 100));
    }
    return o;
  };
  visit("extended / extended near powers of two", nearPowers, [](auto a, auto b, const TOperands&) { return a / b; });
  visit("extended / int", pair, [](auto a, auto, const TOperands& o) { return a / o.N; });
  visit("int * extended", pair, [](auto a, auto, const TOperands& o) { return o.N * a; });
  visit("comparisons", pair, [](auto a, auto b, const TOperands& o) { return Comparisons(a, o.N & 1 ? b : o.N & 2 ? a : -a); });
  visit("comparisons with a single", mixed, [](auto a, auto, const TOperands& o) { return Comparisons(a, decltype(a)(o.F[0])); });

  // Rounding to single: values from below the subnormals to beyond the
  // largest single, some with the bits past the rounding position set to a
  // tie or next to one.
  const auto toSingle = [](TDraws& d) {
    TOperands o{};
    o.A = d.Extended(-155, 130);
    if (d.Coin() && !o.A.IsNaN() && !o.A.IsInf() && !o.A.IsZero()) {
      const int dropped = 40 + std::clamp(-126 - o.A.Exponent(), 0, 24);  // below the last bit a single keeps
      const std::uint64_t half = 1ull << (dropped - 1), tails[] = {half, half - 1, half + 1, 0, 2 * half - 1};
      const std::uint64_t tail = tails[d.Uniform(0, 4)];
      o.A = Soft::FromParts(o.A.Negative(), (o.A.Significand() & ~(2 * half - 1)) | tail | 1ull << 63, o.A.Exponent());
    }
    return o;
  };
  visit("to single", toSingle, [](auto a, auto, const TOperands&) { return float(a); });
  visit("to int", [](TDraws& d) { TOperands o{}; o.A = d.Extended(-3, 30); return o; },
        [](auto a, auto, const TOperands&) { return a > -0x1p31f && a < 0x1p31f ? int(a) : 0; });

  // The program's formulas: the orbit steps from orbit-like points and from
  // any singles, the walk's step and the progress position.
  const auto points = [](TDraws& d) {
    TOperands o{};
    const bool wide = d.Coin();
    for (float& f : o.F) {
      f = wide ? d.SingleNear(0, 140) : d.SingleNear(0, 2);
      if (!wide && d.Coin()) f *= 0x1p-30f;
    }
    return o;
  };
  visit("Mandelbrot step", points,
        [](auto a, auto, const TOperands& o) { return TMandelbrotOrbit::Step<decltype(a)>({o.F[0], o.F[1]}, o.F[2], o.F[3]); });
  visit("Julia step", points,
        [](auto a, auto, const TOperands& o) { return TJuliaOrbit::Step<decltype(a)>({o.F[0], o.F[1]}, 0, 0); });
  const auto region = [](TDraws& d) {
    TOperands o{};
    for (float& f : o.F) f = d.SingleNear(0, 140);
    std::sort(o.F, o.F + 3);  // low, sample, high
    o.N = d.Uniform(1, 65535);
    return o;
  };
  visit("walk step", region,
        [](auto a, auto, const TOperands& o) { return float((decltype(a)(o.F[2]) - o.F[0]) / o.N); });
  visit("progress", region,
        [](auto a, auto, const TOperands& o) { return Progress<decltype(a)>(o.F[1], o.F[0], o.F[2]); });
}

}  // namespace wirolot::testing
