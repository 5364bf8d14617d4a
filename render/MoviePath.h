// A zoom movie's path: the region and Csample of every frame, from the
// keyframes' alone. Computed with MPFR, correctly rounded, so that every
// machine gives the same frames.
#pragma once

#include <cstddef>
#include <vector>

#include "Types.h"

namespace wirolot {

// Keyframes or a frame count that make no path.
class EMovieError : public Exception {
 public:
  EMovieError(const std::string& message, int key = -1) : Exception(message), Key(key) {}
  int Key;  // the keyframe at fault, counted from 0; -1 when none is
};

// The most frames a movie may have.
constexpr int kMaxFrames = 1'000'000;

// What the path reads of a keyframe.
struct TMovieKey {
  TComplexRect Region;
  float Csample;
};

struct TMovieFrame {
  TComplexRect Region;
  float Csample;
  int Key = -1;         // the keyframe this frame is, if it is one
  int CsampleKey = -1;  // the keyframe whose Csample this frame has as it is, if it has one's
};

// Frames are numbered 1 to Frames(); keyframe k is frame KeyFrame(k), the
// first keyframe frame 1 and the last frame Frames(). Between two keyframes
// A and B, n frames apart, frame KeyFrame(A) + j lies at t = j / n, where on
// each axis, with the widths wA and wB (heights on the imaginary axis) and
// centres cA and cB:
//   width  w(t) = wA (wB / wA)^t
//   centre c(t) = cA + (cB - cA) (w(t) - wA) / (wB - wA)   (cA + (cB - cA) t where wA = wB)
// so that the point both regions show at the same place in the picture stays
// there. Csample is CA where CA = CB, and otherwise CA (CB / CA)^t rounded to
// a whole number. The Frames() - 1 steps are shared among the segments: each
// gets one, and the rest go in proportion to the segments' zooms
// |ln(wB / wA)| or |ln(hB / hA)|, whichever is larger (evenly where no
// segment zooms), by largest remainder, the earlier segment first on a tie.
class TMoviePath {
 public:
  // Raises EMovieError for fewer than two keys, a region whose bounds are not
  // finite and increasing, frames fewer than keys or more than kMaxFrames,
  // and two neighbouring keys whose Csamples differ while one of them is not
  // a positive finite number.
  TMoviePath(std::vector<TMovieKey> keys, int frames);

  int Frames() const { return keyFrames_.back(); }
  int KeyFrame(std::size_t key) const { return keyFrames_.at(key); }
  // Frame `number`, 1 to Frames().
  TMovieFrame Frame(int number) const;

 private:
  std::vector<TMovieKey> keys_;
  std::vector<int> keyFrames_;
};

// The first frame of `path` whose region, drawn at width x height, would give
// two neighbouring samples the same single-precision coordinate (SamplesDistinct);
// 0 if none would.
int FirstMergedFrame(const TMoviePath& path, int width, int height);

}  // namespace wirolot
