// The orbit rules of the two commands, in the exact arithmetic of the
// reference: single-precision storage, extended-precision intermediates.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stop_token>

#include "Extended.h"
#include "Types.h"

namespace wirolot {

struct TOrbitPoint {
  float zr, zi;
};

enum class TOrbitKind { Mandelbrot, Julia };

// No orbit runs past the last value of its 32-bit step counter.
constexpr std::int32_t kMaxSteps = std::numeric_limits<std::int32_t>::max();

// An orbit goes on only while strictly inside the box; a NaN is outside.
inline bool Inside(TOrbitPoint z, const TComplexRect& box) {
  return z.zr > box.Cremin && z.zr < box.Cremax && z.zi > box.Cimmin && z.zi < box.Cimmax;
}

// The box's bounds as doubles: as they are, for the same test as Inside;
// or held within the float range, for discs that must hold finite floats only.
struct TBoxBounds {
  double ReMin, ReMax, ImMin, ImMax;

  static TBoxBounds Of(const TComplexRect& box) { return {box.Cremin, box.Cremax, box.Cimmin, box.Cimmax}; }
  static TBoxBounds WithinFloats(const TComplexRect& box) {
    const double most = std::numeric_limits<float>::max();
    return {std::max(double(box.Cremin), -most), std::min(double(box.Cremax), most),
            std::max(double(box.Cimmin), -most), std::min(double(box.Cimmax), most)};
  }
};

// z <- z^2 + c with c the sample, starting at 0.
struct TMandelbrotOrbit {
  static constexpr TOrbitKind kKind = TOrbitKind::Mandelbrot;

  static TOrbitPoint Start(float, float) { return {0.0f, 0.0f}; }

  template <class Extended = TExtended>
  static TOrbitPoint Step(TOrbitPoint z, float re, float im) {
    const Extended zr = z.zr, zi = z.zi;
    return {float((zr * zr - zi * zi) + re), float((2 * zr) * zi + im)};
  }

  // Both values are exact in double.
  static bool CountTest(std::int32_t n, float csample) { return double(n) > csample; }

  // The first count at which CountTest holds, or kMaxSteps if none does.
  static std::int32_t StepLimit(float csample) {
    if (!(csample < float(kMaxSteps))) return kMaxSteps;  // 2^31 and above, NaN
    if (csample < 1) return 1;
    return std::int32_t(std::floor(csample)) + 1;
  }
};

// z <- z (z^2 + c) with c fixed, starting at the sample.
struct TJuliaOrbit {
  static constexpr TOrbitKind kKind = TOrbitKind::Julia;
  static constexpr float kCre = 2.04f;   // 0x40028F5C
  static constexpr float kCim = -0.2f;   // 0xBE4CCCCD

  static TOrbitPoint Start(float re, float im) { return {re, im}; }

  template <class Extended = TExtended>
  static TOrbitPoint Step(TOrbitPoint z, float, float) {
    const Extended zr = z.zr, zi = z.zi;
    const Extended p = (zr * zr - zi * zi) + kCre;
    const Extended q = (2 * zr) * zi + kCim;
    return {float(p * zr - q * zi), float(p * zi + q * zr)};
  }

  // Equality, literally: a Csample the counter never meets on its way up from
  // 1 (zero, negative, fractional, 2^31 and above, NaN) stops no orbit.
  static bool CountTest(std::int32_t n, float csample) { return double(n) == csample; }

  // The count equal to a whole Csample from 1 up, or kMaxSteps if none is.
  static std::int32_t StepLimit(float csample) {
    if (csample >= 1 && csample < float(kMaxSteps) && csample == std::floor(csample)) return std::int32_t(csample);
    return kMaxSteps;
  }
};

// The first count at which the command ends an orbit still in the box.
inline std::int32_t StepLimit(TOrbitKind command, float csample) {
  return command == TOrbitKind::Julia ? TJuliaOrbit::StepLimit(csample) : TMandelbrotOrbit::StepLimit(csample);
}

// Steps between two looks at a stop request inside one orbit.
constexpr std::int32_t kStopCheckSteps = 1 << 16;

// Step count of one sample, iterated exactly as stated, one step at a time.
// The point is kept at ages 0, 1, 2, 4, ...: an orbit back at a kept point
// repeats itself inside the box from there on, so only its limit ends it.
// Once `stop` is requested the count is meaningless.
template <class Orbit>
std::int32_t OrbitSteps(float re, float im, const TComplexRect& box, float csample, const std::stop_token& stop = {}) {
  TOrbitPoint z = Orbit::Start(re, im), kept = z;
  std::int32_t keepAt = 1;
  for (std::int32_t n = 1;; ++n) {
    z = Orbit::Step(z, re, im);
    if (Orbit::CountTest(n, csample) || n == kMaxSteps || !Inside(z, box)) return n;
    if (z.zr == kept.zr && z.zi == kept.zi) return Orbit::StepLimit(csample);
    if (n % kStopCheckSteps == 0 && stop.stop_requested()) return n;
    if (n == keepAt) {
      kept = z;
      if (keepAt <= kMaxSteps / 2) keepAt *= 2;
    }
  }
}

// Pen colour for a step count: n * 0x1010 modulo 2^32.
constexpr TColor ColorOf(std::int32_t n) { return TColor(std::uint32_t(n) * 4112u); }

}  // namespace wirolot
