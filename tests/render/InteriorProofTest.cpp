// Proofs that an orbit never leaves the box, against orbits stepped by the
// rule written out here: the bound they rest on must hold for every float it
// covers, no proof or trap disc may catch an orbit that leaves, and settled
// orbits must be caught in the end.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "InteriorProof.h"
#include "StraightReference.h"

namespace wirolot {
namespace {

// One step of either command: extended intermediates, single storage.
TOrbitPoint LiteralStep(TOrbitKind kind, TOrbitPoint z, float re, float im) {
  using Ext = testing::TStraightExtended;
  const Ext x = z.zr, y = z.zi, p = (x * x - y * y) + 2.04f, q = (2 * x) * y + -0.2f;
  if (kind == TOrbitKind::Julia) return {float(p * x - q * y), float(p * y + q * x)};
  return {float((x * x - y * y) + re), float((2 * x) * y + im)};
}

constexpr TComplexRect kBox{-3, 3, -2, 2};
constexpr TOrbitKind kM = TOrbitKind::Mandelbrot, kJ = TOrbitKind::Julia;

// Every float within r of w steps to within the bound of the double step of
// w: points just inside the rim, the two facing w first, where the disc
// spreads most.
TEST(InteriorProof, StepBoundCoversEveryFloat) {
  const struct { TOrbitKind Kind; float Re, Im; double Wr, Wi, R; } cases[] = {  // sample, disc
      {kM, -0.3f, 0.4f, -0.1234567, 0.3456789, 0}, {kM, -0.75f, 0.1f, -0.5, 0.05, 0.01}, {kM, 0.25f, 0, 0.4999, 1e-9, 0.02},
      {kM, 2.5f, -1.5f, 1.7, -1.9, 1e-4},          {kM, 1e-40f, -3e-39f, 2e-40, 1e-39, 0}, {kJ, 0, 0, -0.7, 0.9, 1e-5},
      {kJ, 0, 0, 1e-38, 2e-38, 0},                 {kJ, 0, 0, 0.3, 0.3, 0.05}};
  for (const auto& c : cases) {
    double nextRe, nextIm;
    const double bound = StepBound(c.Kind, c.Wr, c.Wi, c.R, c.Re, c.Im, nextRe, nextIm);
    for (int k = 0; k < 1000; ++k) {
      const double angle = k < 2 ? std::atan2(c.Wi, c.Wr) + k * M_PI : 2 * M_PI * k / 997, reach = c.R * (1 - 1e-6);
      const TOrbitPoint z{float(c.Wr + reach * std::cos(angle)), float(c.Wi + reach * std::sin(angle))};
      if (std::hypot(z.zr - c.Wr, z.zi - c.Wi) > c.R) continue;
      const TOrbitPoint next = LiteralStep(c.Kind, z, c.Re, c.Im);
      ASSERT_LE(std::hypot(next.zr - nextRe, next.zi - nextIm), bound) << c.Wr << " " << c.Wi << " " << k;
    }
  }
}

// Orbits stepped from their start, a proof asked at every point. Those that
// stay (Within > 0) must be caught, by a proof or a trap disc found on the
// way or in closed form, within that many steps; the others must leave the
// box, after lingering near a barely repelling cycle (seahorse valley, the
// cusp, roots of bulbs, Julia's fixed point 0), rounding onto an edge moved
// to EdgeAt, starting near an attracting fixed point that an edge cuts close
// or just beyond the reach of its disc, or stepping from the rim of a disc
// that would not close (near the cusp) past an edge just beyond it; and no
// proof or trap disc may catch them on the way. Floats on the rim of every
// disc found must stay in the box. Edges are numbered Cremin ... Cimmax; Re,
// Im is the sample.
const struct TOrbitCase { TOrbitKind Kind; float Re, Im; TOrbitPoint Start; int Within, Edge = -1; float EdgeAt = 0; }
kOrbits[] = {
    {kM, -0.750006557f, 0.00310393237f, {0, 0}, 0}, {kM, -0.750000596f, 0.00177409768f, {0, 0}, 0},
    {kM, -0.75f, 0.0007f, {0, 0}, 0},   {kM, 0.2501f, 0, {0, 0}, 0},           {kM, 0.250025f, 0, {0, 0}, 0},
    {kM, -1.25f, -0.0002f, {0, 0}, 0},  {kM, -0.1267f, 0.649519f, {0, 0}, 0},  {kM, -1.74945f, -0.0002f, {0, 0}, 0},
    {kM, -0.739999056f, 0, {-0.494986951f, 0}, 0, 0, -0.494986981f},
    {kM, -0.739998281f, 0, {-0.494986564f, 0}, 0, 0, -0.494986594f},
    {kM, -0.2f, 0.3f, {-0.204858005f, 0.213075995f}, 0, 3, 0.213311002f},
    {kM, -0.2f, 0.3f, {-0.213857993f, 0.212761f}, 0, 3, 0.216410995f},
    {kM, 0.250017464f, 1.32754997e-06f, {0.500095427f, 0.00417653378f}, 0, 1, 0.500095487f},
    {kJ, 0, 0, {1e-30f, -2e-30f}, 0},   {kJ, 0, 0, {0.1f, 0.1f}, 0},           {kM, -0.2f, 0.3f, {0, 0}, 40},
    {kM, -1.0f, 0.05f, {0, 0}, 60},     {kM, 0.2499f, 0, {0, 0}, 20000},       {kM, -0.749f, 0, {0, 0}, 20000},
    {kM, -1.249f, 0, {0, 0}, 20000},    {kM, -0.745f, 0.001f, {0, 0}, 1000},   {kM, -0.12f, 0.75f, {0, 0}, 80},
    {kM, -1.7549f, 0, {0, 0}, 60},      {kM, -0.1249f, 0.65f, {0, 0}, 2000},   {kM, 0, 0, {1.01f, 0}, 0},
};

TEST(InteriorProof, CatchesOnlyOrbitsThatStay) {
  for (const TOrbitCase& row : kOrbits) {
    TComplexRect box = kBox;
    if (row.Edge >= 0) (&box.Cremin)[row.Edge] = row.EdgeAt;
    std::vector<TTrapDisc> traps(1, row.Kind == kM ? ClosedFormTrap(row.Re, row.Im, box) : TTrapDisc{});
    TOrbitPoint z = row.Start;
    int n = 0;
    bool caught = false;
    for (; !caught && n < 100000 && Inside(z, box); ++n, z = LiteralStep(row.Kind, z, row.Re, row.Im)) {
      for (const TTrapDisc& trap : traps) caught = caught || Holds(trap, z);
      TTrapDisc trap;
      caught = caught || ProveTrapped(row.Kind, z, row.Re, row.Im, box, trap) == TProof::Trapped;
      ASSERT_FALSE(caught && !row.Within) << row.Re << " " << row.Im << " step " << n;
      // The chain of StepBound discs from a disc found (sqrt(Reach), widened by
      // the proof's margin) comes back into it within rounding.
      double wr = trap.Re, wi = trap.Im, r = std::sqrt(trap.Reach) * (1 + 0x1p-40), out = 1;
      for (int p = 0; p < 64 && out > 0 && trap.Reach >= 0; ++p) {
        r = StepBound(row.Kind, wr, wi, r, row.Re, row.Im, wr, wi);
        out = std::abs(wr - trap.Re) + std::abs(wi - trap.Im) + r - std::sqrt(trap.Reach) * (1 + 0x1p-45);
      }
      ASSERT_TRUE(trap.Reach < 0 || out <= 0) << row.Re << " " << row.Im << " step " << n;
      if (trap.Reach >= 0 && traps.size() < 64) traps.push_back(trap);
    }
    // Caught in time, or left the box.
    EXPECT_TRUE(row.Within ? caught && n <= row.Within : !Inside(z, box)) << row.Re << " " << row.Im << " " << n;
    for (const TTrapDisc& trap : traps)
      for (int k = 0; k < 16 && trap.Reach >= 0; ++k) {
        const double angle = M_PI * k / 8, r = std::sqrt(trap.Reach);
        z = {float(trap.Re + r * std::cos(angle)), float(trap.Im + r * std::sin(angle))};
        const bool held = Holds(trap, z);
        for (int step = 0; held && step < 2000; ++step, z = LiteralStep(row.Kind, z, row.Re, row.Im))
          ASSERT_TRUE(Inside(z, box)) << row.Re << " " << row.Im << " rim " << k << " step " << step;
      }
  }
}

}  // namespace
}  // namespace wirolot
