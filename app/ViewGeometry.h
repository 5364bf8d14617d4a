// Where the picture's pixels lie in the complex plane, how a gesture moves
// the analysis region, and how far single precision lets it go.
#pragma once

#include <vector>

#include "Types.h"

namespace wirolot {

// A region asked for, before its bounds are rounded to single precision.
struct TPlaneRect {
  long double Cremin, Cremax, Cimmin, Cimmax;
};

// The samples a pass over `region` takes on a width x height picture, as the
// walk takes them: sample k of a row (or row k) lies at pixel k + 1.
class TViewGeometry {
 public:
  TViewGeometry(const TComplexRect& region, int width, int height);
  // The real part at column position x, or the imaginary part at row
  // position y, in the picture's pixels: at a whole position the sample's
  // own coordinate, in between and beyond the walk's samples in proportion.
  long double Re(double x) const;
  long double Im(double y) const;

 private:
  std::vector<float> re_, im_;
  float firstRe_, firstIm_, stepRe_, stepIm_;
};

// The region scaled down by `factor` (up where below 1) about (re, im).
TPlaneRect ZoomedAbout(const TComplexRect& region, long double re, long double im, long double factor);

struct TReach {
  TComplexRect Region;
  bool Limited;  // `to` itself could not be had
};

// `to` rounded to single precision, if its samples are distinct; otherwise
// the region furthest along the way from `from` to `to` whose samples are,
// or `from` itself where none is.
TReach Reach(const TComplexRect& from, const TPlaneRect& to, int width, int height);

}  // namespace wirolot
