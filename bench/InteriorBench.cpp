// The fast engine with and without its proofs that an orbit never leaves the
// box, side by side on whole passes, alternating so that both meet the same
// load.
// Usage: wirolot-interior-bench [repeats [part of a view's name]].
// Prints the median wall times and their ratio, the ratio of the median
// processor times (steadier on a shared machine), whether the counts agree,
// and for
// the orbits that run to their limit: their share of the samples, the share of
// them that a proof ended, and their mean steps without and with the proofs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Engine.h"
#include "RenderPass.h"
#include "FastEngineFigures.h"
#include "Walk.h"

namespace wirolot {
namespace {

struct TView {
  const char* Name;
  TOrbitKind Kind;
  TComplexRect Region;
  float Csample;
  int Width, Height;
};

const TComplexRect kBox{-3, 3, -2, 2};
const TView kViews[] = {
    {"set c1000", TOrbitKind::Mandelbrot, {-2, 1, -1.2f, 1.2f}, 1000, 4000, 3000},
    {"set c1000", TOrbitKind::Mandelbrot, {-2, 1, -1.2f, 1.2f}, 1000, 8000, 6000},
    {"heavy c100000", TOrbitKind::Mandelbrot, {-0.76f, -0.74f, -0.01f, 0.01f}, 100000, 400, 300},
    // Outside the set only: orbits that linger near the cusp's ghost cycle
    // for 140 to 310 steps, orbits of 20 to 60 steps, and short ones.
    {"outside, cusp c1000", TOrbitKind::Mandelbrot, {0.2501f, 0.2505f, -1e-6f, 1e-6f}, 1000, 2000, 1500},
    {"outside, valley c1000", TOrbitKind::Mandelbrot, {-0.7501f, -0.7499f, 0.1f, 0.11f}, 1000, 4000, 3000},
    {"outside, antenna c1000", TOrbitKind::Mandelbrot, {-2, -1.8f, 0.02f, 0.2f}, 1000, 4000, 3000},
    {"Julia defaults", TOrbitKind::Julia, {-3, 3, -2, 2}, 15, 4000, 3000},
    {"Julia c1000", TOrbitKind::Julia, {-3, 3, -2, 2}, 1000, 4000, 3000},
};

struct TRun {
  double Seconds, CpuSeconds;
  std::uint64_t Digest;
  TOrbitTally Interior;
  std::uint64_t Samples;
};

// Keeps no pixels, only a digest of the rows painted.
class TDigestSurface final : public TPixelSurface {
 public:
  using TPixelSurface::TPixelSurface;
  std::uint64_t Digest = 0;

 protected:
  void PlotSpan(int, int, std::span<const TColor> colors) override {
    for (TColor c : colors) Digest = Digest * 1000003 + c;
  }
};

struct TNullSink final : IProgressSink {
  void SetPosition(int) override {}
};

TRun RunView(const TView& view, bool prove) {
  const std::int32_t limit = view.Kind == TOrbitKind::Mandelbrot ? TMandelbrotOrbit::StepLimit(view.Csample)
                                                                  : TJuliaOrbit::StepLimit(view.Csample);
  const TWalk walk = PlanWalk(view.Region, view.Width, view.Height);
  TDigestSurface surface(view.Width, view.Height);
  TNullSink sink;
  const TOrbitTally before = FastEngineOrbitTally();
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  PaintRows(surface, {view.Region, kBox, view.Csample}, sink, {}, [&](const TRenderParams& p, TRowPipeline& rows) {
    CountOrbitsFastProving(prove, view.Kind, p.Box, limit, rows);
  });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const TOrbitTally after = FastEngineOrbitTally();
  return {seconds,
          cpuSeconds,
          surface.Digest,
          {after.Orbits - before.Orbits, after.Proven - before.Proven, after.Steps - before.Steps},
          walk.Re.size() * walk.VisibleRows};
}

double Median(const std::vector<TRun>& runs, double TRun::*seconds) {
  std::vector<double> values;
  for (const TRun& run : runs) values.push_back(run.*seconds);
  std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
  return values[values.size() / 2];
}

double Mean(std::uint64_t sum, std::uint64_t count) { return count ? double(sum) / double(count) : 0.0; }

}  // namespace
}  // namespace wirolot

int main(int argc, char** argv) {
  using namespace wirolot;
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string only = argc > 2 ? argv[2] : "";  // views whose name holds this
  std::printf("median of %d alternating runs each; box -3 3 -2 2\n", repeats);
  std::printf("%-22s %-10s %8s %8s %7s %7s %5s %8s %7s %9s %8s\n", "view", "size", "without", "with", "speedup",
              "cpu", "same", "interior", "proven", "steps w/o", "steps w/");
  for (const TView& view : kViews) {
    if (std::string(view.Name).find(only) == std::string::npos) continue;
    std::vector<TRun> without, with;
    for (int i = 0; i < repeats; ++i) {
      without.push_back(RunView(view, false));
      with.push_back(RunView(view, true));
    }
    bool same = true;
    for (const auto* runs : {&without, &with})
      for (const TRun& run : *runs) same = same && run.Digest == without.front().Digest;
    const TOrbitTally& w = without.front().Interior;
    const TOrbitTally& p = with.front().Interior;
    const double a = Median(without, &TRun::Seconds), b = Median(with, &TRun::Seconds);
    const double cpu = Median(without, &TRun::CpuSeconds) / Median(with, &TRun::CpuSeconds);
    const std::string size = std::to_string(view.Width) + "x" + std::to_string(view.Height);
    std::printf("%-22s %-10s %7.3fs %7.3fs %6.2fx %6.2fx %5s %7.1f%% %6.1f%% %9.1f %8.1f\n", view.Name, size.c_str(), a,
                b, a / b, cpu, same ? "yes" : "NO", 100 * Mean(p.Orbits, without.front().Samples),
                100 * Mean(p.Proven, p.Orbits), Mean(w.Steps, w.Orbits), Mean(p.Steps, p.Orbits));
  }
  return 0;
}
