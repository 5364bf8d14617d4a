// Certificates that an orbit of the exact rule never leaves the box.
#pragma once

#include <span>

#include "Orbits.h"

namespace wirolot {

// What a proof attempt found.
enum class TProof {
  Trapped,   // the orbits never leave the box
  NotYet,    // no proof, though the orbits may be settling on a cycle
  Hopeless,  // no attracting cycle in sight: asking again soon will not help
};

// Trapped only if, for every k, every point after z[k] of the orbit through
// z[k], stepped by the rule of `kind` (single storage, extended
// intermediates), lies strictly inside the box; (re[k], im[k]) is its
// Mandelbrot sample, unused for Julia; the three spans are of one length, not
// empty. Orbits close together on one cycle (neighbouring samples, say) are
// best asked together: one proof covers all.
TProof ProveTrapped(TOrbitKind kind, std::span<const TOrbitPoint> z, std::span<const float> re,
                    std::span<const float> im, const TComplexRect& box);

// The same for one orbit.
inline TProof ProveTrapped(TOrbitKind kind, TOrbitPoint z, float re, float im, const TComplexRect& box) {
  return ProveTrapped(kind, {&z, 1}, {&re, 1}, {&im, 1}, box);
}

// The bound the proofs rest on: every float z within r of w steps, by the rule
// of `kind` with sample (re, im), to within the returned radius of the point
// (nextRe, nextIm), the step of w computed in double.
double StepBound(TOrbitKind kind, double wr, double wi, double r, float re, float im, double& nextRe,
                 double& nextIm);

}  // namespace wirolot
