// Proofs that an orbit never leaves the box, against orbits stepped by the
// rule written out here: no proof may trap an orbit that leaves, the bound
// they rest on must hold for every float it covers, and settled orbits must
// be proven in the end.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "InteriorProof.h"

namespace wirolot {
namespace {

// One step of either command: extended intermediates, single storage.
TOrbitPoint LiteralStep(TOrbitKind kind, TOrbitPoint z, float re, float im) {
  const long double x = z.zr, y = z.zi;
  if (kind == TOrbitKind::Julia) {
    const long double p = (x * x - y * y) + 2.04f, q = (2 * x) * y + -0.2f;
    return {float(p * x - q * y), float(p * y + q * x)};
  }
  return {float((x * x - y * y) + re), float((2 * x) * y + im)};
}

bool Within(TOrbitPoint z, const TComplexRect& box) {
  return z.zr > box.Cremin && z.zr < box.Cremax && z.zi > box.Cimmin && z.zi < box.Cimmax;
}

constexpr TComplexRect kBox{-3, 3, -2, 2};
constexpr TOrbitKind kM = TOrbitKind::Mandelbrot, kJ = TOrbitKind::Julia;

// Every float within r of w steps to within the bound of the double step of
// w: points on the rim (in the direction of w among them, where the disc
// spreads most), inside, and w itself.
TEST(InteriorProof, StepBoundCoversEveryFloat) {
  const struct {
    TOrbitKind Kind;
    float Re, Im;   // sample
    double Wr, Wi;  // centre
    double R;
  } cases[] = {
      {kM, -0.3f, 0.4f, -0.1234567, 0.3456789, 0},      {kM, -0.3f, 0.4f, -0.1234567, 0.3456789, 1e-6},
      {kM, -0.75f, 0.1f, -0.5, 0.05, 0.01},              {kM, 0.25f, 0, 0.4999, 1e-9, 0.02},
      {kM, -1.9f, 0, -1.3, 0, 0.2},                      {kM, 2.5f, -1.5f, 1.7, -1.9, 1e-4},
      {kM, 1e-40f, -3e-39f, 2e-40, 1e-39, 0},            {kM, 1e-20f, 1e-20f, 1e-21, -3e-21, 1e-30},
      {kJ, 0, 0, 0.01, -0.02, 1e-3},                     {kJ, 0, 0, -0.7, 0.9, 1e-5},
      {kJ, 0, 0, 1e-38, 2e-38, 0},                       {kJ, 0, 0, 0.3, 0.3, 0.05},
  };
  std::mt19937 rng(18);
  std::uniform_real_distribution<double> unit(0, 1);
  for (const auto& c : cases) {
    double nextRe, nextIm;
    const double bound = StepBound(c.Kind, c.Wr, c.Wi, c.R, c.Re, c.Im, nextRe, nextIm);
    const double angleOfW = std::atan2(c.Wi, c.Wr);
    std::vector<TOrbitPoint> points{{float(c.Wr), float(c.Wi)}};
    for (int k = 0; k < 2000; ++k) {
      const double angle = k < 2 ? angleOfW + k * M_PI : 2 * M_PI * unit(rng);
      const double reach = c.R * (k < 1000 ? 1 - 1e-6 : unit(rng));
      points.push_back({float(c.Wr + reach * std::cos(angle)), float(c.Wi + reach * std::sin(angle))});
    }
    for (const TOrbitPoint z : points) {
      if (std::hypot((long double)z.zr - c.Wr, (long double)z.zi - c.Wi) > c.R) continue;
      const TOrbitPoint next = LiteralStep(c.Kind, z, c.Re, c.Im);
      const long double apart = std::hypot(next.zr - (long double)nextRe, next.zi - (long double)nextIm);
      ASSERT_LE(apart, bound) << "centre " << c.Wr << " " << c.Wi << " radius " << c.R << " z " << z.zr << " "
                              << z.zi;
    }
  }
}

// Orbits that leave the box, some after lingering near a cycle for long:
// no proof may trap them at any step. The box is the default one unless a
// row moves an edge.
struct TLeaving {
  const char* Why;
  TOrbitKind Kind;
  float Re, Im;  // sample; for Julia, the start
  TOrbitPoint Start;
  int Edge = -1;  // box Cremin, Cremax, Cimmin, Cimmax set to EdgeAt
  float EdgeAt = 0;
};

const TLeaving kLeaving[] = {
    // Just outside the set near its parabolic points: the orbits creep past
    // a cycle that is barely repelling for thousands of steps.
    {"seahorse valley", kM, -0.750006557f, 0.00310393237f, {0, 0}},
    {"seahorse valley", kM, -0.750000596f, 0.00177409768f, {0, 0}},
    {"seahorse valley", kM, -0.75f, 0.0007f, {0, 0}},
    {"cusp", kM, 0.2501f, 0, {0, 0}},
    {"cusp", kM, 0.250025f, 0, {0, 0}},
    {"root of the 1/3 bulb", kM, -0.1267f, 0.649519f, {0, 0}},
    {"root of the 1/2 bulb of the 1/2 bulb", kM, -1.25f, -0.0002f, {0, 0}},
    {"root of the period-3 island", kM, -1.74945f, -0.0002f, {0, 0}},
    // Attracting fixed points zeta between the floats a and b, a nearer:
    // the orbit from a rounds onto b, an edge of the box, at once. Only the
    // rounding of the rule lets it leave the smallest disc about zeta that
    // holds a.
    {"rounded onto the edge", kM, -0.739999056f, 0, {-0.494986951f, 0}, 0, -0.494986981f},
    {"rounded onto the edge", kM, -0.739998281f, 0, {-0.494986564f, 0}, 0, -0.494986594f},
    // Julia's fixed point 0 repels; orbits near it leave in the end.
    {"Julia near 0", kJ, 1e-30f, -2e-30f, {1e-30f, -2e-30f}},
    {"Julia", kJ, 0.1f, 0.1f, {0.1f, 0.1f}},
};

TEST(InteriorProof, NeverTrapsAnOrbitThatLeaves) {
  for (const TLeaving& row : kLeaving) {
    TComplexRect box = kBox;
    if (row.Edge >= 0) (&box.Cremin)[row.Edge] = row.EdgeAt;
    TOrbitPoint z = row.Start;
    for (int n = 0; n < 200000 && Within(z, box); ++n) {
      ASSERT_NE(ProveTrapped(row.Kind, z, row.Re, row.Im, box), TProof::Trapped) << row.Why << " " << n;
      z = LiteralStep(row.Kind, z, row.Re, row.Im);
    }
    EXPECT_FALSE(Within(z, box)) << row.Why << ": the orbit must leave";
  }
}

// Eight neighbouring samples in a line across the edge of the set, some
// inside and some outside, proven together: while any of them is yet to
// leave, they are not trapped.
TEST(InteriorProof, NeverTrapsNeighboursOfAnOrbitThatLeaves) {
  const struct {
    float FirstRe, FirstIm, LastRe, LastIm;
  } lines[] = {
      {0.275474429f, -0.0059021418f, 0.276472688f, -0.0103845932f},
      {-0.719250441f, 0.236723691f, -0.701087713f, 0.237536609f},
      {0.261020809f, -0.00205531111f, 0.261636406f, -0.00271681952f},
      {-0.7507f, 0.0008f, -0.75f, 0.0008f},
  };
  for (const auto& line : lines) {
    std::vector<float> re, im;
    for (int k = 0; k < 8; ++k) {
      re.push_back(float(line.FirstRe + (double(line.LastRe) - line.FirstRe) * k / 7));
      im.push_back(float(line.FirstIm + (double(line.LastIm) - line.FirstIm) * k / 7));
    }
    std::vector<TOrbitPoint> z(8, TOrbitPoint{0, 0});
    bool allInside = true;
    for (int n = 1; allInside && n < 100000; ++n) {
      for (int k = 0; k < 8; ++k) {
        z[k] = LiteralStep(kM, z[k], re[k], im[k]);
        allInside = allInside && Within(z[k], kBox);
      }
      if (allInside) {
        ASSERT_NE(ProveTrapped(kM, z, re, im, kBox), TProof::Trapped) << line.FirstRe << " " << n;
      }
    }
    EXPECT_FALSE(allInside) << line.FirstRe << ": one orbit must leave";
  }
}

// Orbits settled on attracting cycles inside the box are proven, asked every
// step, long before their float orbits repeat; the neighbours of a sample
// together too.
TEST(InteriorProof, ProvesSettledOrbits) {
  const struct {
    float Re, Im;
    int Within;     // steps
    bool Together;  // eight neighbours 1e-5 apart too
  } cases[] = {
      {-0.2f, 0.3f, 40, true},     {0.2f, 0.1f, 60, true},          {-1.0f, 0.05f, 60, true},
      {-0.12f, 0.75f, 80, true},   {-1.7549f, 0, 60, true},         {-0.11f, 0.88f, 100, false},
      {0.245f, 0, 600, false},     {-0.745f, 0.001f, 1000, false},  {-0.1249f, 0.65f, 2000, false},
  };
  for (const auto& c : cases) {
    TOrbitPoint z{0, 0};
    int n = 1;
    for (; n <= c.Within; ++n) {
      z = LiteralStep(kM, z, c.Re, c.Im);
      if (ProveTrapped(kM, z, c.Re, c.Im, kBox) == TProof::Trapped) break;
    }
    EXPECT_LE(n, c.Within) << c.Re << " " << c.Im;
    if (!c.Together) continue;
    std::vector<float> re, im(8, c.Im);
    std::vector<TOrbitPoint> points(8, TOrbitPoint{0, 0});
    for (int k = 0; k < 8; ++k) re.push_back(c.Re + 1e-5f * float(k));
    for (int step = 0; step < n + 20; ++step)
      for (int k = 0; k < 8; ++k) points[k] = LiteralStep(kM, points[k], re[k], im[k]);
    EXPECT_EQ(ProveTrapped(kM, points, re, im, kBox), TProof::Trapped) << c.Re << " " << c.Im;
  }
}

}  // namespace
}  // namespace wirolot
