// The fast engine with and without its proofs that an orbit never leaves the
// box, side by side on whole pictures (a pass's rows, eight at a time, as the
// render pass hands them over), alternating so that both meet the same load.
// Prints the median times and their ratio, whether the counts agree, and for
// the orbits that run to their limit: their share of the samples, the share of
// them that a proof ended, and their mean steps without and with the proofs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Engine.h"
#include "FastEngineBench.h"
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
  double Seconds;
  std::uint64_t Digest;
  TInteriorTally Interior;
  std::uint64_t Samples;
};

TRun RunView(const TView& view, bool prove) {
  const TWalk walk = PlanWalk(view.Region, view.Width, view.Height);
  const std::int32_t limit = view.Kind == TOrbitKind::Mandelbrot ? TMandelbrotOrbit::StepLimit(view.Csample)
                                                                  : TJuliaOrbit::StepLimit(view.Csample);
  constexpr std::size_t kBandRows = 8;
  std::vector<float> im(kBandRows);
  std::vector<std::int32_t> counts(kBandRows * walk.Re.size());
  const TInteriorTally before = FastEngineInteriorTally();
  std::uint64_t digest = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t band = 0; band < walk.VisibleRows; band += kBandRows) {
    const std::size_t rows = std::min(kBandRows, walk.VisibleRows - band);
    for (std::size_t j = 0; j < rows; ++j) im[j] = walk.Rows[band + j].Im;
    CountOrbitsFastProving(prove, view.Kind, kBox, limit, walk.Re, {im.data(), rows}, counts.data());
    for (std::size_t k = 0; k < rows * walk.Re.size(); ++k) digest = digest * 1000003 + std::uint32_t(counts[k]);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const TInteriorTally after = FastEngineInteriorTally();
  return {seconds,
          digest,
          {after.Orbits - before.Orbits, after.Proven - before.Proven, after.Steps - before.Steps},
          walk.Re.size() * walk.VisibleRows};
}

double MedianSeconds(std::vector<TRun> runs) {
  std::sort(runs.begin(), runs.end(), [](const TRun& a, const TRun& b) { return a.Seconds < b.Seconds; });
  return runs[runs.size() / 2].Seconds;
}

double Mean(std::uint64_t sum, std::uint64_t count) { return count ? double(sum) / double(count) : 0.0; }

}  // namespace
}  // namespace wirolot

int main(int argc, char** argv) {
  using namespace wirolot;
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::printf("median of %d alternating runs each; box -3 3 -2 2\n", repeats);
  std::printf("%-20s %-10s %9s %9s %7s %6s %9s %8s %10s %10s\n", "view", "size", "without", "with", "speedup",
              "same", "interior", "proven", "steps w/o", "steps w/");
  for (const TView& view : kViews) {
    std::vector<TRun> without, with;
    for (int i = 0; i < repeats; ++i) {
      without.push_back(RunView(view, false));
      with.push_back(RunView(view, true));
    }
    bool same = true;
    for (const auto* runs : {&without, &with})
      for (const TRun& run : *runs) same = same && run.Digest == without.front().Digest;
    const TInteriorTally& w = without.front().Interior;
    const TInteriorTally& p = with.front().Interior;
    const double a = MedianSeconds(without), b = MedianSeconds(with);
    const std::string size = std::to_string(view.Width) + "x" + std::to_string(view.Height);
    std::printf("%-20s %-10s %8.3fs %8.3fs %6.2fx %6s %8.1f%% %7.1f%% %10.1f %10.1f\n", view.Name, size.c_str(), a, b,
                a / b, same ? "yes" : "NO", 100 * Mean(p.Orbits, without.front().Samples), 100 * Mean(p.Proven, p.Orbits),
                Mean(w.Steps, w.Orbits), Mean(p.Steps, p.Orbits));
  }
  return 0;
}
