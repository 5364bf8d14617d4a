// An independent, literal rendering of a picture: the textbook loops with
// extended-precision intermediates, written without the renderer's code. Its
// arithmetic is the x87's long double; without one, the software extended
// type. Also digests of results made on one machine and checked on another.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "Extended.h"
#include "Types.h"

namespace wirolot::testing {

// FNV-1a over 64-bit words.
class TDigest {
 public:
  void Add(std::uint64_t word) {
    for (int k = 0; k < 8; ++k, word >>= 8) value_ = (value_ ^ (word & 0xFF)) * 0x100000001B3ull;
  }
  std::uint64_t Value() const { return value_; }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325ull;
};

// x exactly, where long double has 64 bits or more: as the x87 holds it there.
inline long double ToLongDouble(TSoftExtended x) {
  const long double m = x.IsNaN() ? NAN : x.IsInf() ? INFINITY : std::ldexp((long double)x.Significand(), x.Exponent() - 63);
  return x.Negative() ? -m : m;
}

constexpr bool kHaveX87 = LDBL_MANT_DIG == 64;
using TStraightExtended = std::conditional_t<kHaveX87, long double, TSoftExtended>;

struct TStraightPicture {
  int Width, Height;
  std::vector<std::uint32_t> Pixels;  // 0x00BBGGRR, row-major
  std::vector<int> Progress;          // one position per row walked
  int Columns = 0;                    // samples per row
};

constexpr std::int32_t kLastCount = 2147483647;

// Text conversion is left to strtold in the C locale. Where long double is
// wider than the x87's, that rounds to single once rather than twice, which
// differs only for a text within 2^-64 of a midpoint between two singles. A
// walk of more than 5e7 samples aborts the test rather than hang. Only fixed
// points are cut short: keep orbits caught in longer cycles out of views with
// a limit the counter cannot meet, or they step on to the counter's end.
inline TStraightPicture StraightRender(bool julia, const TParamTexts& t, int W, int H) {
  float v[9];
  for (int i = 0; i < 9; ++i) v[i] = float(std::strtold(t[i].c_str(), nullptr));
  const float reMin = v[0], reMax = v[1], imMin = v[2], imMax = v[3];
  const float bReMin = v[4], bReMax = v[5], bImMin = v[6], bImMax = v[7], cs = v[8];
  TStraightPicture pic{W, H, std::vector<std::uint32_t>(std::size_t(W) * H, 0), {}};

  using Ext = TStraightExtended;
  const float dRe = float((Ext(reMax) - reMin) / W);
  const float dIm = float((Ext(imMax) - imMin) / H);
  long samples = 0;
  int py = 0;
  for (float im = imMin; im < imMax; im = float(Ext(im) + dIm)) {
    ++py;
    pic.Progress.push_back(int((Ext(im) - imMin) * 100 / (Ext(imMax) - imMin)));
    int px = 0;
    for (float re = reMin; re < reMax; re = float(Ext(re) + dRe)) {
      ++px;
      if (++samples > 50'000'000) std::abort();
      float zr = julia ? re : 0.0f, zi = julia ? im : 0.0f;
      std::int32_t n = 0;
      for (;;) {
        const Ext x = zr, y = zi;
        if (julia) {
          const Ext p = (x * x - y * y) + 2.04f, q = (2 * x) * y + -0.2f;
          zr = float(p * x - q * y);
          zi = float(p * y + q * x);
        } else {
          zr = float((x * x - y * y) + re);
          zi = float((2 * x) * y + im);
        }
        ++n;
        if (julia ? Ext(n) == cs : Ext(n) > cs) break;
        if (n == kLastCount) break;
        if (zr <= bReMin || zr >= bReMax || zi <= bImMin || zi >= bImMax || zr != zr || zi != zi) break;
        if (zr == float(x) && zi == float(y)) {
          // A fixed point inside the box: only the count test or the
          // counter's end stops it.
          const double c = cs;
          n = julia ? (c > n && c <= kLastCount && c == std::floor(c) ? std::int32_t(c) : kLastCount)
                    : (c < kLastCount ? std::int32_t(c) + 1 : kLastCount);
          break;
        }
      }
      if (px < W && py < H) pic.Pixels[std::size_t(py) * W + px] = (std::uint32_t(n) * 4112u) & 0xFFFFFFu;
    }
    pic.Columns = px;
  }
  return pic;
}

}  // namespace wirolot::testing
