#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <random>
#include <vector>

#include "Engine.h"
#include "hwy/targets.h"
#include "Walk.h"

namespace wirolot {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kScale = 4;  // instrumented builds run a smaller share of the random cases
#else
constexpr int kScale = 1;
#endif

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const TComplexRect kDefaultBox{-3, 3, -2, 2};

template <class Orbit>
std::vector<std::int32_t> Reference(const TComplexRect& box, float csample, const std::vector<float>& re,
                                    const std::vector<float>& im) {
  std::vector<std::int32_t> counts(re.size() * im.size());
  CountOrbitsReference<Orbit>({{}, box, csample}, re, im, counts.data());
  return counts;
}

template <class Orbit>
std::vector<std::int32_t> Fast(const TComplexRect& box, float csample, const std::vector<float>& re,
                               const std::vector<float>& im) {
  // One slot past the end, to catch stray writes.
  std::vector<std::int32_t> counts(re.size() * im.size() + 1, -7);
  CountOrbitsFast(Orbit::kKind, box, Orbit::StepLimit(csample), re, im, counts.data());
  EXPECT_EQ(counts.back(), -7) << "write past the end";
  counts.pop_back();
  return counts;
}

// Returns the reference counts.
template <class Orbit>
std::vector<std::int32_t> ExpectSameCounts(const TComplexRect& box, float csample, const std::vector<float>& re,
                      const std::vector<float>& im) {
  const auto expected = Reference<Orbit>(box, csample, re, im), actual = Fast<Orbit>(box, csample, re, im);
  for (std::size_t k = 0; k < expected.size(); ++k)
    if (expected[k] != actual[k]) {
      const std::size_t i = k % re.size(), j = k / re.size();
      ADD_FAILURE() << "sample (" << std::hexfloat << re[i] << ", " << im[j] << ") box " << box.Cremin << ' '
                    << box.Cremax << ' ' << box.Cimmin << ' ' << box.Cimmax << " Csample " << csample << std::defaultfloat
                    << ": reference " << expected[k] << ", fast " << actual[k];
      break;
    }
  return expected;
}

template <class Orbit>
struct TOrbitTest : ::testing::Test {};
using TOrbits = ::testing::Types<TMandelbrotOrbit, TJuliaOrbit>;
class TOrbitNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return T::kKind == TOrbitKind::Mandelbrot ? "Mandelbrot" : "Julia";
  }
};
TYPED_TEST_SUITE(TOrbitTest, TOrbits, TOrbitNames);

// ---- Steps where double precision rounds differently from extended ----

// The step as the vector kernel computes it, in double precision.
TOrbitPoint DoubleStep(TMandelbrotOrbit, TOrbitPoint z, float re, float im) {
  const double zr = z.zr, zi = z.zi;
  return {float((zr * zr - zi * zi) + re), float((zr + zr) * zi + im)};
}
TOrbitPoint DoubleStep(TJuliaOrbit, TOrbitPoint z, float, float) {
  const double zr = z.zr, zi = z.zi;
  const double p = (zr * zr - zi * zi) + TJuliaOrbit::kCre, q = (zr + zr) * zi + TJuliaOrbit::kCim;
  return {float(p * zr - q * zi), float(p * zi + q * zr)};
}

// A sample whose orbit takes a step that double precision gets wrong in one
// component, and a box with an edge exactly on the extended result: the exact
// orbit ends on that step, the double one goes on.
struct TTrap {
  float Re, Im;
  TComplexRect Box;
};

// Where the disagreeing step starts: the sample itself for Julia, the first
// orbit point (which is the sample) for Mandelbrot.
template <class Orbit>
constexpr std::int32_t kTrapStep = Orbit::kKind == TOrbitKind::Mandelbrot ? 2 : 1;

template <class Orbit>
std::optional<TTrap> MakeTrap(float re, float im) {
  const TOrbitPoint from{re, im};
  const TOrbitPoint exact = Orbit::Step(from, re, im), inexact = DoubleStep(Orbit{}, from, re, im);
  const bool realPart = exact.zr != inexact.zr;
  if (!realPart && exact.zi == inexact.zi) return std::nullopt;
  const float e = realPart ? exact.zr : exact.zi, w = realPart ? inexact.zr : inexact.zi;
  TTrap trap{re, im, {-1e30f, 1e30f, -1e30f, 1e30f}};
  float& edge = realPart ? (e > w ? trap.Box.Cremax : trap.Box.Cremin) : (e > w ? trap.Box.Cimmax : trap.Box.Cimmin);
  edge = e;
  // The Mandelbrot orbit passes through the sample first; it must stay inside.
  if (Orbit::kKind == TOrbitKind::Mandelbrot && !Inside({re, im}, trap.Box)) return std::nullopt;
  return trap;
}

float Ulps(float x, int k) { return std::bit_cast<float>(std::bit_cast<std::int32_t>(x) + k); }

// Candidates near a value of x where one step's result cancels to almost
// nothing (or, for Mandelbrot's imaginary part, lands next to a midpoint).
template <class Orbit>
std::vector<TTrap> FindTraps(bool realPart, std::size_t wanted) {
  std::mt19937 rng(realPart ? 11 : 12);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<TTrap> traps;
  auto scan = [&](float re, float im, int width, bool alongRe) {
    for (int k = -width; k <= width && traps.size() < wanted; ++k) {
      const float r = alongRe ? Ulps(re, k) : re, i = alongRe ? im : Ulps(im, k);
      const auto trap = MakeTrap<Orbit>(r, i);
      const TOrbitPoint from{r, i};
      if (trap && (Orbit::Step(from, r, i).zr != DoubleStep(Orbit{}, from, r, i).zr) == realPart) traps.push_back(*trap);
    }
  };
  for (int trial = 0; trial < 20000 && traps.size() < wanted; ++trial) {
    if constexpr (Orbit::kKind == TOrbitKind::Mandelbrot) {
      if (realPart) {
        // re^2 - im^2 + re = 0 with im small: the difference of squares is
        // inexact and the sum cancels.
        const double im = 0.02 + 0.13 * unit(rng);
        const double root = (trial % 2 ? -1 + std::sqrt(1 + 4 * im * im) : -1 - std::sqrt(1 + 4 * im * im)) / 2;
        scan(float(root), float(im), 100, true);
      } else {
        // 2 re im + im just off the midpoint between im and its neighbour.
        const float im = float(1 + unit(rng));
        const double t = trial % 2 ? 0x1p-24 : -0x1p-24;
        scan(float(t / (2.0 * im)), im, 40, true);
      }
    } else {
      // Bisect for a root of the chosen component along re, then scan around it.
      const float im = float(3 * unit(rng) - 1.5);
      auto value = [&](float re) {
        const long double zr = re, zi = im;
        const long double p = (zr * zr - zi * zi) + TJuliaOrbit::kCre, q = (2 * zr) * zi + TJuliaOrbit::kCim;
        return realPart ? p * zr - q * zi : p * zi + q * zr;
      };
      float lo = float(-2 + 4 * unit(rng)), hi = lo + 0.25f;
      if ((value(lo) < 0) == (value(hi) < 0)) continue;
      for (int step = 0; step < 60; ++step) {
        const float mid = float((double(lo) + hi) / 2);
        if (mid == lo || mid == hi) break;
        ((value(mid) < 0) == (value(lo) < 0) ? lo : hi) = mid;
      }
      scan(lo, im, 100, true);
    }
  }
  return traps;
}

template <class Orbit>
void ExpectTrapsHold(bool realPart) {
  const std::vector<TTrap> traps = FindTraps<Orbit>(realPart, 12);
  ASSERT_GE(traps.size(), 6u) << "too few disagreeing steps found";
  for (const TTrap& trap : traps) {
    SCOPED_TRACE(::testing::Message() << std::hexfloat << "trap (" << trap.Re << ", " << trap.Im << ")");
    const std::vector<float> re{trap.Re}, im{trap.Im};
    const float csample = 40;
    const auto exact = Reference<Orbit>(trap.Box, csample, re, im);
    ASSERT_EQ(exact[0], kTrapStep<Orbit>);

    // The double-only kernel falls in: the trap is real.
    std::int32_t unchecked = 0;
    CountOrbitsUnchecked(Orbit::kKind, trap.Box, Orbit::StepLimit(csample), re, im, &unchecked);
    EXPECT_GT(unchecked, exact[0]);

    const std::uint64_t before = FastEngineFallbackSteps();
    EXPECT_EQ(Fast<Orbit>(trap.Box, csample, re, im), exact);
    EXPECT_GT(FastEngineFallbackSteps(), before);

    // Among neighbours in a full vector, in several lane positions.
    std::vector<float> row;
    for (int k = -20; k <= 20; ++k) row.push_back(Ulps(trap.Re, k % 3 ? k : 0));
    ExpectSameCounts<Orbit>(trap.Box, csample, row, {Ulps(trap.Im, -1), trap.Im, Ulps(trap.Im, 1)});
  }
}

TYPED_TEST(TOrbitTest, RealPartsThatDoubleRoundsWrongAreRecomputed) { ExpectTrapsHold<TypeParam>(true); }
TYPED_TEST(TOrbitTest, ImaginaryPartsThatDoubleRoundsWrongAreRecomputed) { ExpectTrapsHold<TypeParam>(false); }

// ---- Values at the ends of the float range and odd boxes ----

TYPED_TEST(TOrbitTest, ExtremeSamplesAndBoxes) {
  const float tiny = std::numeric_limits<float>::denorm_min();
  const std::vector<float> values{0.0f,     -0.0f,   tiny,    -3 * tiny, FLT_MIN, -FLT_MIN / 3, 1e-20f, 0.25f,
                                  -1.75f,   2.0f,    1e13f,   -4e12f,    1.3e19f, -1.9e19f,     FLT_MAX, -FLT_MAX,
                                  kInf,     -kInf,   kNaN};
  const TComplexRect boxes[] = {
      kDefaultBox,         {-kInf, kInf, -kInf, kInf}, {-FLT_MAX, FLT_MAX, -FLT_MAX, FLT_MAX},
      {-1e30f, 1e38f, -3e38f, 1e37f}, {2, -2, -2, 2},  {-2, 2, 1, 1},  {kNaN, 3, -2, 2}, {-3, 3, -2, kNaN},
      {0, 1e-30f, -1e-30f, 1e-30f}};
  for (const TComplexRect& box : boxes)
    for (float csample : {15.0f, 1.0f, 0.0f, 2.5f, -4.0f}) ExpectSameCounts<TypeParam>(box, csample, values, values);
}

TYPED_TEST(TOrbitTest, NearOverflow) {
  // Steps of these samples land around FLT_MAX and the midpoint above it, where
  // a result rounds to infinity.
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> mag(TypeParam::kKind == TOrbitKind::Mandelbrot ? 1.2e19f : 4.5e12f,
                                            TypeParam::kKind == TOrbitKind::Mandelbrot ? 1.9e19f : 5.6e12f);
  std::vector<float> re, im;
  for (int k = 0; k < 64; ++k) {
    re.push_back(k % 2 ? mag(rng) : -mag(rng));
    im.push_back(k % 3 ? mag(rng) / 8 : -mag(rng) / 16);
  }
  for (const TComplexRect& box : {TComplexRect{-kInf, kInf, -kInf, kInf}, TComplexRect{-FLT_MAX, FLT_MAX, -FLT_MAX, FLT_MAX}})
    ExpectSameCounts<TypeParam>(box, 10, re, im);
}

TYPED_TEST(TOrbitTest, HighLimitsWithEscapingOrbits) {
  // Every orbit leaves the box, so a limit beyond the 32-bit counter never
  // comes into play, nor need it.
  const std::vector<float> re{2.5f, -2.9f, 1.7f, 0.9f}, im{1.9f, -1.5f, 1.1f};
  for (float csample : {1e6f, 2147483520.0f, 2147483648.0f, 3e9f, kInf, kNaN})
    ExpectSameCounts<TypeParam>(kDefaultBox, csample, re, im);
}

TYPED_TEST(TOrbitTest, CountsLandInTheirSlots) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-2, 2);
  for (auto [rows, cols] : {std::pair{0, 5}, {4, 0}, {1, 1}, {1, 15}, {3, 17}, {8, 33}, {9, 200}}) {
    std::vector<float> re(cols), im(rows);
    for (float& x : re) x = u(rng);
    for (float& x : im) x = u(rng);
    ExpectSameCounts<TypeParam>(kDefaultBox, 30, re, im);
  }
}

TYPED_TEST(TOrbitTest, LimitsBelowOneStopAfterOneStep) {
  const std::vector<float> re{0.0f, 0.1f, 2.5f}, im{0.0f, -0.2f};
  for (std::int32_t limit : {1, 0, -5, std::numeric_limits<std::int32_t>::min()}) {
    std::vector<std::int32_t> counts(re.size() * im.size());
    CountOrbitsFast(TypeParam::kKind, kDefaultBox, limit, re, im, counts.data());
    EXPECT_EQ(counts, std::vector<std::int32_t>(counts.size(), 1)) << limit;
  }
}

// ---- Orbits that come back to a point they held ----

TYPED_TEST(TOrbitTest, RepeatingOrbitsRunToTheLimit) {
  // Mandelbrot: attracting cycles of lengths 1 to 4, slow ones near the edge
  // of the set, and orbits that wander long before they leave. Julia: the
  // fixed point 0 among orbits that start close to it.
  const bool mandelbrot = TypeParam::kKind == TOrbitKind::Mandelbrot;
  const std::vector<float> re = mandelbrot ? std::vector<float>{-0.5f, -1.0f, -0.1225f, 0.2499f, -0.75f, -1.3107f,
                                                                0.26f, -0.156f, 0.0f}
                                           : std::vector<float>{0.0f, -0.0f, 1e-30f, -3e-38f, 1e-45f};
  const std::vector<float> im = mandelbrot ? std::vector<float>{0.0f, 0.001f, 0.7449f, 1.032f}
                                           : std::vector<float>{0.0f, 2e-40f};
  for (float csample : {3000.0f, 1e5f / kScale, 1e6f / kScale}) ExpectSameCounts<TypeParam>(kDefaultBox, csample, re, im);
}

TYPED_TEST(TOrbitTest, RepeatingOrbitsWithoutALimitEndAtOnce) {
  // Left to step, these would take the 32-bit counter to its end.
  const std::vector<float> re{0.0f, -1.0f}, im{0.0f};
  const bool mandelbrot = TypeParam::kKind == TOrbitKind::Mandelbrot;
  for (float csample : {kInf, kNaN, 3e9f}) {
    const std::vector<std::int32_t> counts = Fast<TypeParam>(kDefaultBox, csample, mandelbrot ? re : std::vector{0.0f}, im);
    EXPECT_EQ(counts, std::vector<std::int32_t>(counts.size(), kMaxSteps)) << csample;
  }
}

// ---- Random views against the reference ----

template <class Orbit>
void ExpectRandomViewsMatch(int views, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  const float csamples[] = {0.5f, 1, 2.5f, 7, 15, 40, 63, 64, 150, 1000, 4000};
  std::uint64_t steps = 0;  // a guard against views that end at once
  for (int view = 0; view < views; ++view) {
    // A centre whose orbit lasts a while (near or in the set), a span from
    // the whole view down to about a millionth, where the sampling step nears
    // the spacing of floats.
    double cr = 0, ci = 0;
    do {
      cr = -2 + 4 * unit(rng);
      ci = -1.5 + 3 * unit(rng);
    } while (OrbitSteps<Orbit>(float(cr), float(ci), kDefaultBox, 50) < 6);
    const double span = 4 * std::pow(10.0, -6.5 * unit(rng));
    const TComplexRect region{float(cr - span / 2), float(cr + span / 2), float(ci - span * 0.375),
                              float(ci + span * 0.375)};
    const TComplexRect box = view % 4 ? kDefaultBox
                                      : TComplexRect{float(-1 - 3 * unit(rng)), float(0.5 + 3 * unit(rng)),
                                                     float(-0.5 - 2 * unit(rng)), float(0.5 + 2 * unit(rng))};
    const float csample = csamples[view % std::size(csamples)];
    const TWalk walk = PlanWalk(region, 37 + view % 13, 25 + view % 7);
    std::vector<float> im;
    for (std::size_t j = 0; j < walk.VisibleRows; ++j) im.push_back(walk.Rows[j].Im);
    SCOPED_TRACE(::testing::Message() << "view " << view);
    for (std::int32_t n : ExpectSameCounts<Orbit>(box, csample, walk.Re, im)) steps += std::uint64_t(n);
  }
  EXPECT_GT(steps, 1000u * std::uint64_t(views)) << "the views should keep the engine busy";
}

TYPED_TEST(TOrbitTest, RandomViewsMatchTheReference) {
  const bool mandelbrot = TypeParam::kKind == TOrbitKind::Mandelbrot;
  ExpectRandomViewsMatch<TypeParam>((mandelbrot ? 1500 : 6000) / kScale, mandelbrot ? 101 : 202);
}

// The widest instruction set is the one the other tests see; here each one
// this CPU has takes its turn.
TYPED_TEST(TOrbitTest, EveryInstructionSetMatchesTheReference) {
  struct TRestore {
    ~TRestore() { hwy::SetSupportedTargetsForTest(0); }
  } restore;
  for (std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    ExpectTrapsHold<TypeParam>(true);
    ExpectTrapsHold<TypeParam>(false);
    ExpectRandomViewsMatch<TypeParam>((TypeParam::kKind == TOrbitKind::Mandelbrot ? 150 : 600) / kScale, 303);
  }
}

}  // namespace
}  // namespace wirolot
