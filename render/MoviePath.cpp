#include "MoviePath.h"

#include <mpfr.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numeric>
#include <string>

#include "Walk.h"

namespace wirolot {

namespace {

// Every intermediate in MPFR at this precision, each operation correctly
// rounded (nearest even), so the result depends on nothing but the inputs.
constexpr mpfr_prec_t kBits = 128;
constexpr mpfr_rnd_t kNearest = MPFR_RNDN;

class TReal {
 public:
  TReal() { mpfr_init2(v_, kBits); }
  explicit TReal(float value) : TReal() { mpfr_set_flt(v_, value, kNearest); }
  TReal(const TReal&) = delete;
  TReal& operator=(const TReal&) = delete;
  ~TReal() { mpfr_clear(v_); }
  operator mpfr_ptr() { return v_; }

 private:
  mpfr_t v_;
};

// a + (b - a) s
void Between(mpfr_ptr out, mpfr_ptr a, mpfr_ptr b, mpfr_ptr s) {
  mpfr_sub(out, b, a, kNearest);
  mpfr_mul(out, out, s, kNearest);
  mpfr_add(out, out, a, kNearest);
}

// One axis of a segment: the bounds at t on the way from [lo0, hi0] to
// [lo1, hi1], each rounded once to single.
void AxisAt(float lo0, float hi0, float lo1, float hi1, mpfr_ptr t, float& lo, float& hi) {
  TReal a0(lo0), b0(hi0), a1(lo1), b1(hi1), w0, w1, c0, c1, logRatio, logAt, share, width, centre, half, out;
  mpfr_sub(w0, b0, a0, kNearest);
  mpfr_sub(w1, b1, a1, kNearest);
  mpfr_add(c0, a0, b0, kNearest);
  mpfr_div_2ui(c0, c0, 1, kNearest);
  mpfr_add(c1, a1, b1, kNearest);
  mpfr_div_2ui(c1, c1, 1, kNearest);
  mpfr_div(logRatio, w1, w0, kNearest);
  mpfr_log(logRatio, logRatio, kNearest);
  mpfr_mul(logAt, logRatio, t, kNearest);  // t ln(w1 / w0)
  mpfr_exp(width, logAt, kNearest);
  mpfr_mul(width, width, w0, kNearest);
  // (w(t) - w0) / (w1 - w0) = expm1(t ln r) / expm1(ln r), which is t at r = 1.
  if (mpfr_zero_p(logRatio)) {
    mpfr_set(share, t, kNearest);
  } else {
    mpfr_expm1(share, logAt, kNearest);
    mpfr_expm1(out, logRatio, kNearest);
    mpfr_div(share, share, out, kNearest);
  }
  Between(centre, c0, c1, share);
  mpfr_div_2ui(half, width, 1, kNearest);
  mpfr_sub(out, centre, half, kNearest);
  lo = mpfr_get_flt(out, kNearest);
  mpfr_add(out, centre, half, kNearest);
  hi = mpfr_get_flt(out, kNearest);
}

// |ln(w1 / w0)|, the zoom along one axis.
void AxisZoom(float lo0, float hi0, float lo1, float hi1, mpfr_ptr zoom) {
  TReal a0(lo0), b0(hi0), a1(lo1), b1(hi1), w0, w1;
  mpfr_sub(w0, b0, a0, kNearest);
  mpfr_sub(w1, b1, a1, kNearest);
  mpfr_div(zoom, w1, w0, kNearest);
  mpfr_log(zoom, zoom, kNearest);
  mpfr_abs(zoom, zoom, kNearest);
}

// The steps each segment takes: one, and `steps` minus one each in
// proportion to `zooms`, by largest remainder.
std::vector<long> ShareSteps(std::vector<TReal>& zooms, long steps) {
  const std::size_t segments = zooms.size();
  const long spare = steps - long(segments);
  std::vector<long> shares(segments, 1);
  TReal total;
  mpfr_set_zero(total, 1);
  for (TReal& zoom : zooms) mpfr_add(total, total, zoom, kNearest);
  if (mpfr_zero_p(total))  // no segment zooms: all alike
    for (TReal& zoom : zooms) mpfr_set_si(zoom, 1, kNearest), mpfr_add_si(total, total, 1, kNearest);
  std::vector<TReal> remainders(segments);
  long given = 0;
  for (std::size_t s = 0; s < segments; ++s) {
    TReal quota;
    mpfr_mul_si(quota, zooms[s], spare, kNearest);
    mpfr_div(quota, quota, total, kNearest);
    mpfr_floor(remainders[s], quota);
    const long whole = std::min(mpfr_get_si(remainders[s], kNearest), spare - given);
    shares[s] += whole;
    given += whole;
    mpfr_sub(remainders[s], quota, remainders[s], kNearest);
  }
  std::vector<std::size_t> order(segments);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return mpfr_greater_p(remainders[a], remainders[b]); });
  for (std::size_t k = 0; given < spare; ++k, ++given) ++shares[order[k % segments]];
  return shares;
}

bool Increasing(float lo, float hi) { return std::isfinite(lo) && std::isfinite(hi) && lo < hi; }

bool Positive(float value) { return std::isfinite(value) && value > 0; }

}  // namespace

TMoviePath::TMoviePath(std::vector<TMovieKey> keys, int frames) : keys_(std::move(keys)) {
  if (keys_.size() < 2) throw EMovieError("a movie needs two keyframes or more");
  if (frames < int(keys_.size()) || frames > kMaxFrames)
    throw EMovieError("the frame count must be from " + std::to_string(keys_.size()) + " (one per keyframe) to " +
                      std::to_string(kMaxFrames));
  for (std::size_t k = 0; k < keys_.size(); ++k) {
    const TComplexRect& r = keys_[k].Region;
    if (!Increasing(r.Cremin, r.Cremax) || !Increasing(r.Cimmin, r.Cimmax))
      throw EMovieError("its region is empty: Cremin must be below Cremax and Cimmin below Cimmax", int(k));
    if (k > 0 && keys_[k].Csample != keys_[k - 1].Csample &&
        !(Positive(keys_[k].Csample) && Positive(keys_[k - 1].Csample)))
      throw EMovieError("its Csample differs from the keyframe's before it, and a Csample that changes along "
                        "the path must be a positive number in both",
                        int(Positive(keys_[k].Csample) ? k - 1 : k));
  }
  std::vector<TReal> zooms(keys_.size() - 1);
  for (std::size_t s = 0; s + 1 < keys_.size(); ++s) {
    const TComplexRect &a = keys_[s].Region, &b = keys_[s + 1].Region;
    TReal alongIm;
    AxisZoom(a.Cremin, a.Cremax, b.Cremin, b.Cremax, zooms[s]);
    AxisZoom(a.Cimmin, a.Cimmax, b.Cimmin, b.Cimmax, alongIm);
    mpfr_max(zooms[s], zooms[s], alongIm, kNearest);
  }
  keyFrames_ = {1};
  for (long steps : ShareSteps(zooms, frames - 1)) keyFrames_.push_back(keyFrames_.back() + int(steps));
  assert(keyFrames_.back() == frames);
}

TMovieFrame TMoviePath::Frame(int number) const {
  assert(number >= 1 && number <= Frames());
  const std::size_t next = std::upper_bound(keyFrames_.begin(), keyFrames_.end(), number) - keyFrames_.begin();
  if (keyFrames_[next - 1] == number) {
    const std::size_t key = next - 1;
    return {keys_[key].Region, keys_[key].Csample, int(key), int(key)};
  }
  const TMovieKey &a = keys_[next - 1], &b = keys_[next];
  TReal t;
  mpfr_set_si(t, number - keyFrames_[next - 1], kNearest);
  mpfr_div_si(t, t, keyFrames_[next] - keyFrames_[next - 1], kNearest);
  TMovieFrame frame;
  AxisAt(a.Region.Cremin, a.Region.Cremax, b.Region.Cremin, b.Region.Cremax, t, frame.Region.Cremin,
         frame.Region.Cremax);
  AxisAt(a.Region.Cimmin, a.Region.Cimmax, b.Region.Cimmin, b.Region.Cimmax, t, frame.Region.Cimmin,
         frame.Region.Cimmax);
  if (a.Csample == b.Csample) {
    frame.Csample = a.Csample;
    frame.CsampleKey = int(next - 1);
  } else {
    // exp(ln CA + t (ln CB - ln CA)), then the nearest whole number.
    TReal logA(a.Csample), logB(b.Csample), value;
    mpfr_log(logA, logA, kNearest);
    mpfr_log(logB, logB, kNearest);
    Between(value, logA, logB, t);
    mpfr_exp(value, value, kNearest);
    mpfr_round(value, value);
    frame.Csample = mpfr_get_flt(value, kNearest);
  }
  return frame;
}

int FirstMergedFrame(const TMoviePath& path, int width, int height) {
  for (int number = 1; number <= path.Frames(); ++number)
    if (!SamplesDistinct(path.Frame(number).Region, width, height)) return number;
  return 0;
}

}  // namespace wirolot
