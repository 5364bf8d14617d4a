// Certificates that an orbit of the exact rule never leaves the box.
#pragma once

#include "Orbits.h"

namespace wirolot {

// What a proof attempt found.
enum class TProof {
  Trapped,   // the orbit never leaves the box
  NotYet,    // no proof, though the orbit may be settling on a cycle
  Hopeless,  // no attracting cycle in sight: asking again soon will not help
};

// A disc about a point of an attracting cycle: an orbit it was found for,
// once at a float point the disc holds, never leaves the box.
struct TTrapDisc {
  double Re = 0, Im = 0;
  double Reach = -1;  // squared radius, for squared distances computed in double; < 0: no disc
};

// Whether the disc holds z, as the vector kernels decide it too: by the
// squared distance computed in double, fused or not.
inline bool Holds(const TTrapDisc& trap, TOrbitPoint z) {
  const double dr = z.zr - trap.Re, di = z.zi - trap.Im;
  return dr * dr + di * di <= trap.Reach;
}

// Trapped only if every point after z of the orbit through z, stepped by the
// rule of `kind` (single storage, extended intermediates) with Mandelbrot
// sample (re, im) (unused for Julia), lies strictly inside the box. Sets
// `trap` to a disc that traps the orbit wherever it comes to lie in it (and
// holds z if Trapped), or to none.
TProof ProveTrapped(TOrbitKind kind, TOrbitPoint z, float re, float im, const TComplexRect& box, TTrapDisc& trap);

// A disc that traps every orbit of the Mandelbrot rule with sample (re, im),
// found from the closed form of its attracting cycle where c = (re, im) lies
// in the main cardioid (period 1) or the bulb left of it (period 2); none
// elsewhere or too near their edges.
TTrapDisc ClosedFormTrap(float re, float im, const TComplexRect& box);

// The bound the proofs rest on: every float z within r of w steps, by the rule
// of `kind` with sample (re, im), to within the returned radius of the point
// (nextRe, nextIm), the step of w computed in double.
double StepBound(TOrbitKind kind, double wr, double wi, double r, float re, float im, double& nextRe,
                 double& nextIm);

}  // namespace wirolot
