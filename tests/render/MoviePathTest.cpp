// The movie path, checked against the geometry a zoom must have, worked out
// here in long double from the keyframes alone; nothing is drawn.
#include <gtest/gtest.h>

#include <cmath>

#include "MoviePath.h"

namespace wirolot {
namespace {

using Real = long double;

bool Same(const TComplexRect& a, const TComplexRect& b) {
  return a.Cremin == b.Cremin && a.Cremax == b.Cremax && a.Cimmin == b.Cimmin && a.Cimmax == b.Cimmax;
}

// One unit in the last place of the larger bound: both bounds of a frame are
// rounded to single, so a width or centre is good to this.
Real Ulp(float lo, float hi) {
  const float m = std::max(std::fabs(lo), std::fabs(hi));
  return Real(std::nextafter(m, INFINITY)) - m;
}

struct TAxis {
  float Lo, Hi;
  Real Width() const { return Real(Hi) - Lo; }
  Real Centre() const { return (Real(Lo) + Hi) / 2; }
};
TAxis Re(const TComplexRect& r) { return {r.Cremin, r.Cremax}; }
TAxis Im(const TComplexRect& r) { return {r.Cimmin, r.Cimmax}; }

// First and last frames are the keyframes; a middle keyframe lies on the
// frame its share of the steps gives; every frame's width on both axes is
// the geometric one; where the second region lies inside the first, the
// point both show at the same place stays within one sample of it.
TEST(MoviePath, ZoomsGeometricallyAboutTheFixedPoint) {
  const TComplexRect outer = {-2.5f, 1.5f, -1.4f, 1.6f},  // 4 x 3
      inner = {-0.95f, -0.55f, 0.05f, 0.35f},              // inside, zoom 10
      deep = {-0.7502f, -0.7498f, 0.0999f, 0.1002f};      // inside that, zoom 1000
  constexpr int kWidth = 1280, kHeight = 960;
  // 41 steps: one per segment, and the other 39 as ln 10 : ln 1000 = 1 : 3
  // gives 9.75 and 29.25; the larger remainder takes the last step.
  const TMoviePath path({{outer, 15}, {inner, 15}, {deep, 15}}, 42);
  ASSERT_EQ(path.KeyFrame(1), 12);
  const TComplexRect keys[] = {outer, inner, deep};
  const int at[] = {1, 12, 42};
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(Same(path.Frame(at[k]).Region, keys[k]) && path.Frame(at[k]).Key == k) << k;
  for (int segment = 0; segment < 2; ++segment) {
    const TComplexRect a = keys[segment], b = keys[segment + 1];
    const int first = at[segment], steps = at[segment + 1] - first;
    for (auto [axis, pixels] : {std::pair{&Re, kWidth}, {&Im, kHeight}}) {
      const TAxis from = axis(a), to = axis(b);
      // The point at the same fraction of both regions.
      const Real fixed = (from.Lo * to.Width() - to.Lo * from.Width()) / (to.Width() - from.Width());
      const Real place = (fixed - from.Lo) / from.Width() * pixels;
      for (int j = 0; j <= steps; ++j) {
        const TAxis now = axis(path.Frame(first + j).Region);
        const Real width = from.Width() * std::pow(to.Width() / from.Width(), Real(j) / steps);
        EXPECT_LE(std::fabs(now.Width() - width), Ulp(now.Lo, now.Hi)) << segment << " " << j;
        EXPECT_LE(std::fabs((fixed - now.Lo) / now.Width() * pixels - place), 1) << segment << " " << j;
      }
    }
  }
}

// Regions side by side at one scale: the centre moves by equal steps. Side
// by side at different scales: the centre moves with the width, so half the
// change of width is half the way.
TEST(MoviePath, PansEvenlyAndMovesWithTheWidth) {
  const TComplexRect left = {-2, -1, 0, 1}, right = {1, 2, 0.5f, 1.5f}, big = {4, 8, -2, 2};
  const TMoviePath pan({{left, 15}, {right, 15}}, 7);
  for (int j = 0; j < 7; ++j) {
    const TComplexRect r = pan.Frame(j + 1).Region;
    EXPECT_LE(std::fabs(Re(r).Centre() - (-1.5L + 3.0L * j / 6)), Ulp(r.Cremin, r.Cremax)) << j;
    EXPECT_LE(std::fabs(Im(r).Centre() - (0.5L + 0.5L * j / 6)), Ulp(r.Cimmin, r.Cimmax)) << j;
    EXPECT_LE(std::fabs(Re(r).Width() - 1), Ulp(r.Cremin, r.Cremax)) << j;
  }
  const TMoviePath apart({{left, 15}, {big, 15}}, 30);
  for (int n = 1; n <= 30; ++n) {
    const TComplexRect r = apart.Frame(n).Region;
    const Real share = (Re(r).Width() - 1) / 3;  // widths 1 to 4
    EXPECT_LE(std::fabs(Re(r).Centre() - (-1.5L + 7.5L * share)), 8 * Ulp(r.Cremin, r.Cremax)) << n;
  }
}

// Csample: kept as it is where neighbouring keyframes agree, fractions
// included; otherwise geometric and whole.
TEST(MoviePath, CsampleGeometricAndWhole) {
  const TComplexRect a = {-2, 2, -2, 2}, b = {-1, 1, -1, 1};
  const TMoviePath path({{a, 100}, {b, 10000}, {a, 10000}, {b, 15.5f}, {a, 15.5f}}, 8);
  // Zooms alike, seven steps: the earlier segments win the tie for the spare
  // ones, frames 1, 3, 5, 7, 8 the keyframes. Frame 6: sqrt(10000 * 15.5) = 393.7.
  const float expected[] = {100, 1000, 10000, 10000, 10000, 394, 15.5f, 15.5f};
  for (int n = 1; n <= 8; ++n) EXPECT_EQ(path.Frame(n).Csample, expected[n - 1]) << n;
  EXPECT_EQ(path.Frame(4).CsampleKey, 1);
  EXPECT_EQ(path.Frame(2).CsampleKey, -1);
}

TEST(MoviePath, Refusals) {
  const TComplexRect a = {-2, 2, -2, 2}, b = {-1, 1, -1, 1};
  const struct {
    std::vector<TMovieKey> Keys;
    int Frames, Key;
  } cases[] = {
      {{{a, 15}}, 5, -1},
      {{{a, 15}, {b, 15}, {a, 15}}, 2, -1},
      {{{a, 15}, {b, 15}}, kMaxFrames + 1, -1},
      {{{a, 15}, {{1, 1, -1, 1}, 15}}, 10, 1},
      {{{{-1, 1, 2, -2}, 15}, {b, 15}}, 10, 0},
      {{{a, 15}, {{-1, NAN, -1, 1}, 15}}, 10, 1},
      {{{a, 15}, {b, 15}, {a, -3}}, 10, 2},
      {{{a, 0}, {b, 15}}, 10, 0},
  };
  for (const auto& c : cases) try {
      TMoviePath(c.Keys, c.Frames);
      ADD_FAILURE() << c.Frames;
    } catch (const EMovieError& e) {
      EXPECT_EQ(e.Key, c.Key) << e.what();
    }
  EXPECT_NO_THROW(TMoviePath({{a, 15}, {b, 15}}, kMaxFrames));
  EXPECT_NO_THROW(TMoviePath({{a, -3}, {b, -3}}, 2));
}

// A zoom about 0.75 to a width below the single-precision floor: the first
// merged frame is where a sample step falls under an ulp of 0.75, not far
// from it, and a shallower path has none.
TEST(MoviePath, SinglePrecisionFloor) {
  const TComplexRect start = {-1.25f, 2.75f, -2, 2}, end = {0.75f - 1e-6f, 0.75f + 1e-6f, -1e-6f, 1e-6f};
  const TMoviePath path({{start, 15}, {end, 15}}, 200);
  const int merged = FirstMergedFrame(path, 1280, 1280);
  ASSERT_GT(merged, 1);
  const Real ulp = std::ldexp(1.0L, -24);  // of 0.75
  EXPECT_LT(Re(path.Frame(merged).Region).Width() / 1280, ulp);
  EXPECT_GT(Re(path.Frame(merged - 1).Region).Width() / 1280, ulp / 4);
  EXPECT_EQ(FirstMergedFrame(TMoviePath({{start, 15}, {end, 15}}, 200), 16, 16), 0);
}

}  // namespace
}  // namespace wirolot
