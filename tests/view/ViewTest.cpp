// Where the window's pixels lie in the plane, how far a gesture may move the
// region, the texts it writes, and the history of views: without a window.
// Regions are chosen so that every value is exact and worked out by hand:
// u is one ulp of [1, 2), and the walk rounds 1 + k u + s to the nearest
// multiple of u, ties to even.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>

#include "Convert.h"
#include "ViewGeometry.h"
#include "ViewHistory.h"
#include "Walk.h"

namespace wirolot {
namespace {

constexpr float u = 0x1p-23f;

bool Equal(const TComplexRect& a, const TComplexRect& b) {
  return a.Cremin == b.Cremin && a.Cremax == b.Cremax && a.Cimmin == b.Cimmin && a.Cimmax == b.Cimmax;
}

TEST(ViewGeometry, PositionsAreTheWalksSamples) {
  struct TCase {
    TComplexRect Region;
    int Width, Height;
    double Position;
    long double Re, Im;
  };
  // Samples 1/256 apart from 0: pixel p at (p - 1) / 256, also between and
  // beyond the samples.
  const TComplexRect even = {0, 487 / 256.f, 0, 409 / 256.f};
  // A step of 0.75 u: the walk takes 1, 1 + u, 1 + 2 u, not 1 + 0.75 k u.
  const TComplexRect rounded = {1, 1 + 3 * u, 1, 1 + 3 * u};
  const TCase cases[] = {
      {even, 487, 409, 1, 0, 0},
      {even, 487, 409, 100.5, 99.5 / 256, 99.5 / 256},
      {even, 487, 409, 0, -1 / 256., -1 / 256.},
      {even, 487, 409, 487, 486 / 256., 486 / 256.},
      {even, 487, 409, 600, 599 / 256., 599 / 256.},
      {rounded, 4, 4, 2, 1 + 1.0L * u, 1 + 1.0L * u},
      {rounded, 4, 4, 2.5, 1 + 1.5L * u, 1 + 1.5L * u},
      {rounded, 4, 4, 3, 1 + 2.0L * u, 1 + 2.0L * u},
      {rounded, 4, 4, 4, 1 + 2.75L * u, 1 + 2.75L * u},  // one step beyond the last
      {rounded, 4, 4, 0, 1 - 0.75L * u, 1 - 0.75L * u},
  };
  for (const TCase& c : cases) {
    const TViewGeometry geometry(c.Region, c.Width, c.Height);
    EXPECT_EQ(geometry.Re(c.Position), c.Re) << c.Width << " at " << c.Position;
    EXPECT_EQ(geometry.Im(c.Position), c.Im) << c.Width << " at " << c.Position;
  }
}

TEST(ViewGeometry, ZoomedAbout) {
  const TComplexRect region = {-2, 2, -1, 1};
  const TPlaneRect in = ZoomedAbout(region, 1, 0, 2), out = ZoomedAbout(region, 1, 0, 0.5);
  EXPECT_TRUE(in.Cremin == -0.5 && in.Cremax == 1.5 && in.Cimmin == -0.5 && in.Cimmax == 0.5);
  EXPECT_TRUE(out.Cremin == -5 && out.Cremax == 3 && out.Cimmin == -2 && out.Cimmax == 2);
}

TEST(ViewGeometry, SamplesDistinct) {
  const struct {
    TComplexRect Region;
    int Width, Height;
    bool Distinct;
  } cases[] = {
      {{0, 1, 0, 1}, 10, 10, true},
      {{1, 1 + 8 * u, 0, 1}, 8, 8, true},        // step u
      {{1, 1 + 5 * u, 0, 1}, 8, 8, true},        // step 0.625 u still reaches the next
      {{1, 1 + 8 * u, 0, 1}, 16, 8, false},      // step u / 2: 1 + u / 2 is 1
      {{0, 1, 1, 1 + 4 * u}, 8, 8, false},       // the same along the rows
      {{1, 0, 0, 1}, 8, 8, false},               // reversed
      {{0, 0, 0, 1}, 8, 8, false},               // empty
      {{0, NAN, 0, 1}, 8, 8, false},
      {{-INFINITY, 0, 0, 1}, 8, 8, false},
      {{-3e38f, 3e38f, 0, 1}, 2, 2, true},
      {{-3e38f, 3e38f, 0, 1}, 1, 1, false},      // the step is beyond the single range
  };
  for (const auto& c : cases)
    EXPECT_EQ(SamplesDistinct(c.Region, c.Width, c.Height), c.Distinct)
        << c.Region.Cremin << " " << c.Region.Cremax << " " << c.Region.Cimmin << " " << c.Region.Cimmax << ", "
        << c.Width << " x " << c.Height;
}

TEST(ViewGeometry, ReachGoesAsFarAsSinglePrecisionAllows) {
  const struct {
    const char* Name;
    TComplexRect From;
    TPlaneRect To;
    TComplexRect Reached;
    bool Limited;
  } cases[] = {
      {"within reach", {0, 1, 0, 1}, {0.25, 0.75, 0.25, 0.75}, {0.25, 0.75, 0.25, 0.75}, false},
      // From 16 u wide to 4 u on 8 pixels: 5 u (step 0.625 u) is the last
      // width whose samples differ; 4 u gives a step of u / 2.
      {"zoomed in", {1, 1 + 16 * u, 0, 1}, {1, 1 + 4.0L * u, 0, 1}, {1, 1 + 5 * u, 0, 1}, true},
      {"beyond the range", {-1, 1, -1, 1}, {-1e39L, 1e39L, -1e39L, 1e39L}, {-FLT_MAX, FLT_MAX, -FLT_MAX, FLT_MAX}, true},
      {"no further", {1, 1 + 5 * u, 0, 1}, {1, 1 + 4.0L * u, 0, 1}, {1, 1 + 5 * u, 0, 1}, true},
      {"from nowhere", {1, 1, 0, 1}, {2, 2, 0, 1}, {1, 1, 0, 1}, true},
  };
  for (const auto& c : cases) {
    const TReach reach = Reach(c.From, c.To, 8, 8);
    EXPECT_TRUE(Equal(reach.Region, c.Reached)) << c.Name;
    EXPECT_EQ(reach.Limited, c.Limited) << c.Name;
  }
}

TEST(ViewGeometry, ShortestText) {
  const struct {
    float Value;
    const char* Separator;
    const char* Text;
  } cases[] = {
      {0.1f, ".", "0.1"}, {0.1f, ",", "0,1"}, {-2.5f, ".", "-2.5"}, {0, ".", "0"},
      {16777216, ".", "16777216"}, {0x1p-149f, ".", "1e-45"}, {1 + u, ".", "1.0000001"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortestText(c.Value, c.Separator), c.Text) << c.Value;
  // Any finite single comes back from its text through the fields' conversion.
  std::mt19937 rng(26);
  for (int i = 0; i < 20000; ++i) {
    const float value = std::bit_cast<float>(std::uint32_t(rng()));
    if (!std::isfinite(value)) continue;
    for (const char* separator : {".", ","}) {
      const std::string text = ShortestText(value, separator);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(StrToSingle(text, separator)), std::bit_cast<std::uint32_t>(value))
          << text;
    }
  }
}

TView View(int n, TOrbitKind command = TOrbitKind::Mandelbrot) {
  TView view;
  view.Command = command;
  view.Texts[TextAt::Csample] = std::to_string(n);
  return view;
}

TEST(ViewHistory, BackAndForth) {
  TViewHistory history;
  EXPECT_FALSE(history.CanGoBack() || history.CanGoForward());
  for (int n : {1, 2, 3}) history.Record(View(n));
  EXPECT_FALSE(history.CanGoForward());
  EXPECT_EQ(history.Back(), View(2));
  EXPECT_EQ(history.Back(), View(1));
  EXPECT_FALSE(history.CanGoBack());
  EXPECT_EQ(history.Forward(), View(2));
  history.Record(View(2));  // drawn again: 3 stays ahead
  EXPECT_TRUE(history.CanGoForward());
  history.Record(View(2, TOrbitKind::Julia));  // a new view: 3 is forgotten
  EXPECT_FALSE(history.CanGoForward());
  EXPECT_EQ(history.Back(), View(2));
  EXPECT_EQ(history.Forward(), View(2, TOrbitKind::Julia));
}

TEST(ViewHistory, KeepsTheLastThousand) {
  TViewHistory history;
  for (int n = 1; n <= 1001; ++n) history.Record(View(n));
  for (int n = 1000; n >= 2; --n) ASSERT_EQ(history.Back(), View(n));
  EXPECT_FALSE(history.CanGoBack());
}

}  // namespace
}  // namespace wirolot
