// The operations and formulas the program computes in extended precision, on
// operands drawn so that ties, carries into the exponent, cancellations,
// quotients that run long past the rounding position, subnormal singles and
// overflow are common: for checking the software extended type against the x87.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "Orbits.h"
#include "StraightReference.h"

namespace wirolot::testing {

using Soft = TSoftExtended;

// Operands of every operation; each uses some of them.
struct TOperands {
  Soft A, B;
  float F[4];
  int N;
};

// Operands from a seed, alike on every machine.
class TDraws {
 public:
  explicit TDraws(std::uint64_t seed) : rng_(seed) {}

  TOperands Operands() {
    // Every draw is sequenced, so that each machine draws the same operands.
    TOperands o{};
    const std::uint64_t r = Next();
    const bool powers = r % 4 == 0;
    o.A = powers ? NearAPower() : Extended(r & 4 ? -155 : -1000, r & 8 ? 130 : 1000);
    o.B = powers ? NearAPower() : Near(o.A);
    if (r & 16 && Finite(o.A)) {  // the bits a single drops set to a tie or next to one
      const int dropped = 40 + std::clamp(-126 - o.A.Exponent(), 0, 24);
      const std::uint64_t half = 1ull << (dropped - 1), tails[] = {half, half - 1, half + 1, 0, 2 * half - 1};
      o.A = Soft::FromParts(o.A.Negative(), (o.A.Significand() & ~(2 * half - 1)) | tails[Next() % 5] | 1ull << 63,
                            o.A.Exponent());
    }
    o.F[0] = SingleNear(Finite(o.A) ? o.A.Exponent() : 0, r & 32 ? 80 : 200);
    o.F[1] = SingleNear(int(std::bit_cast<std::uint32_t>(o.F[0]) >> 23 & 0xFF) - 127, 70);
    for (int k : {2, 3}) o.F[k] = r >> k & 1 << 12 ? SingleNear(0, 140) : SingleNear(0, 2) * (r >> k & 1 << 16 ? 1 : 0x1p-30f);
    o.N = r & 1024 ? Uniform(1, 70000) : Uniform(-2147483647 - 1, 2147483647);
    return o;
  }

 private:
  static bool Finite(Soft x) { return !x.IsNaN() && !x.IsInf() && !x.IsZero(); }
  int Uniform(int lo, int hi) { return int(lo + std::int64_t(Next() % std::uint64_t(std::int64_t(hi) - lo + 1))); }
  bool Coin() { return Next() & 1; }

  // 64 bits: uniform, sparse, dense or one run of ones, so that results often
  // land on or next to a tie.
  std::uint64_t Pattern() {
    const std::uint64_t r = Next();
    const int a = int(r >> 8 & 63), b = int(r >> 16 & 63);
    if (r % 4 == 2) return (~0ull >> (63 - std::max(a, b))) & (~0ull << std::min(a, b));
    return r % 4 == 0 ? Next() & Next() & Next() : r % 4 == 1 ? Next() | Next() | Next() : Next();
  }
  // A single with its exponent in [e - spread, e + spread]: 128 stands for
  // infinities and NaNs, -127 for zeros and subnormals.
  float SingleNear(int e, int spread) {
    const auto biased = std::uint32_t(Uniform(std::clamp(e - spread, -127, 128), std::clamp(e + spread, -127, 128)) + 127);
    const auto sign = std::uint32_t(Coin()) << 31;
    return std::bit_cast<float>(sign | biased << 23 | std::uint32_t(Pattern() >> 41));
  }
  // An extended with its exponent in [lo, hi]; one in 64 a zero, an infinity or a NaN.
  Soft Extended(int lo, int hi) {
    const std::uint64_t r = Next();
    if (r % 64 == 0) {
      const Soft zero = Coin() ? Soft(0.0f) : Soft(-0.0f);
      return r % 3 == 0 ? zero : Coin() ? zero / zero : 1 / zero;
    }
    return Soft::FromParts(r >> 63, Pattern() | 1ull << 63, lo + int(r / 64 % std::uint64_t(hi - lo + 1)));
  }
  // Within 70 or 140 binades of x; a third share x's exponent and most of its bits.
  Soft Near(Soft x) {
    if (!Finite(x)) return Extended(-300, 300);
    const std::uint64_t r = Next();
    if (r % 3) return Extended(x.Exponent() - (r & 4 ? 70 : 140), x.Exponent() + (r & 8 ? 70 : 140));
    return Soft::FromParts(r & 16, (x.Significand() ^ Pattern() >> (r >> 58)) | 1ull << 63, x.Exponent());
  }
  // Just above a power of two or just below the next: quotients of two run 64
  // or more bits past the rounding position before they tell a tie from a near one.
  Soft NearAPower() {
    const std::uint64_t r = Next();
    std::uint64_t small = r & 1 ? r >> 60 : Pattern();
    if (small > 15) small >>= 1 + r / 2 % 63;
    return Soft::FromParts(r & 2, r & 4 ? 1ull << 63 | small : ~small, int(r >> 8 & 0xFF) % 201 - 100);
  }
  std::uint64_t Next() { return rng_(); }
  std::mt19937_64 rng_;
};

// A result of either arithmetic as a word, for digests and comparisons: NaNs
// alike, zeros and infinities by sign.
inline std::uint64_t Word(long double x) {
  if (x != x || std::isinf(x) || x == 0) return x != x ? 1 : 2 + std::isinf(x) + 2 * std::signbit(x);
  int e = 0;
  const auto significand = std::uint64_t(std::ldexp(std::frexp(std::fabs(x), &e), 64));
  return significand ^ std::uint64_t(std::uint32_t(e - 1)) << 1 ^ std::signbit(x);
}
inline std::uint64_t Word(Soft x) { return Word(ToLongDouble(x)); }
inline std::uint64_t Word(float f) { return f != f ? 1 : std::bit_cast<std::uint32_t>(f); }
inline std::uint64_t Word(int n) { return std::uint32_t(n); }
inline std::uint64_t Word(TOrbitPoint z) { return Word(z.zr) << 32 | Word(z.zi); }

// Calls visit(name, op) for every operation: op(a, b, operands) computes with
// the type of a and b, which hold operands.A and operands.B.
template <class Visit>
void ForEachOperation(Visit&& visit) {
  using O = const TOperands&;
  visit("single + single", [](auto a, auto, O o) { return decltype(a)(o.F[0]) + o.F[1]; });
  visit("single - extended", [](auto a, auto, O o) { return o.F[0] - a; });
  visit("extended * single", [](auto a, auto, O o) { return a * o.F[0]; });
  visit("extended + extended", [](auto a, auto b, O) { return a + b; });
  visit("extended * extended", [](auto a, auto b, O) { return a * b; });
  visit("extended / extended", [](auto a, auto b, O) { return a / b; });
  visit("extended / int", [](auto a, auto, O o) { return a / o.N; });
  visit("int * extended", [](auto a, auto, O o) { return o.N * a; });
  visit("comparisons", [](auto a, auto b, O o) {
    const decltype(a) c = o.N & 1 ? b : o.N & 2 ? a : o.N & 4 ? -a : decltype(a)(o.F[0]);
    return (a < c) | (a > c) << 1 | (a == c) << 2 | (a <= c) << 3 | (a >= c) << 4 | (a != c) << 5;
  });
  visit("to single", [](auto a, auto, O) { return float(a); });
  // The program's formulas: the orbit steps.
  visit("Mandelbrot step", [](auto a, auto, O o) {
    return TMandelbrotOrbit::Step<decltype(a)>({o.F[2], o.F[3]}, o.F[0], o.F[1]);
  });
  visit("Julia step", [](auto a, auto, O o) { return TJuliaOrbit::Step<decltype(a)>({o.F[2], o.F[3]}, 0, 0); });
}

}  // namespace wirolot::testing
