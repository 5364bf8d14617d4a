// Orbit engines side by side: the extended-precision reference (with the
// x87's long double where there is one, and with the software type), a plain
// scalar double loop, the fast engine without its exactness check, and the
// fast engine; on sample grids and on whole pictures. Reports orbit steps per
// second (the sum of the step counts over the time taken, so steps an engine
// skips on an orbit known to repeat count as done) and, at the end, how the
// fast engine and the software type compare.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "Convert.h"
#include "Engine.h"
#include "hwy/targets.h"
#include "Fractals.h"
#include "RenderPass.h"
#include "Walk.h"

namespace wirolot {
namespace {

// Inexact: every step in double precision, one sample at a time.
template <class Orbit>
TOrbitPoint DoubleStep(TOrbitPoint z, float re, float im) {
  const double zr = z.zr, zi = z.zi;
  if constexpr (Orbit::kKind == TOrbitKind::Mandelbrot) {
    return {float((zr * zr - zi * zi) + re), float((zr + zr) * zi + im)};
  } else {
    const double p = (zr * zr - zi * zi) + TJuliaOrbit::kCre, q = (zr + zr) * zi + TJuliaOrbit::kCim;
    return {float(p * zr - q * zi), float(p * zi + q * zr)};
  }
}

template <class Orbit>
void CountOrbitsScalarDouble(const TRenderParams& params, std::span<const float> re, std::span<const float> im,
                             std::int32_t* counts) {
  const std::int32_t limit = Orbit::StepLimit(params.Csample);
  for (std::size_t j = 0; j < im.size(); ++j)
    for (std::size_t i = 0; i < re.size(); ++i) {
      TOrbitPoint z = Orbit::Start(re[i], im[j]);
      std::int32_t n = 0;
      do {
        z = DoubleStep<Orbit>(z, re[i], im[j]);
        ++n;
      } while (n < limit && Inside(z, params.Box));
      counts[j * re.size() + i] = n;
    }
}

// The orbit with the software extended type, where the reference may have the x87's.
template <class Orbit>
struct TSoftOrbit : Orbit {
  static TOrbitPoint Step(TOrbitPoint z, float re, float im) { return Orbit::template Step<TSoftExtended>(z, re, im); }
};

enum class TKernel { Reference, ReferenceSoft, ScalarDouble, UncheckedSimd, Fast };
const char* const kKernelNames[] = {"reference", "reference_soft", "scalar_double", "unchecked_simd", "fast"};
constexpr int kKernels = 5;

template <class Orbit>
TOrbitCounter Counter(TKernel kernel) {
  switch (kernel) {
    case TKernel::Reference:
      return CountOrbitsReference<Orbit>;
    case TKernel::ReferenceSoft:
      return CountOrbitsReference<TSoftOrbit<Orbit>>;
    case TKernel::ScalarDouble:
      return CountOrbitsScalarDouble<Orbit>;
    case TKernel::UncheckedSimd:
      return [](const TRenderParams& p, std::span<const float> re, std::span<const float> im, std::int32_t* counts) {
        CountOrbitsUnchecked(Orbit::kKind, p.Box, Orbit::StepLimit(p.Csample), re, im, counts);
      };
    case TKernel::Fast:
      break;
  }
  return [](const TRenderParams& p, std::span<const float> re, std::span<const float> im, std::int32_t* counts) {
    CountOrbitsFast(Orbit::kKind, p.Box, Orbit::StepLimit(p.Csample), re, im, counts);
  };
}

// A grid of samples walked as a pass walks it.
struct TGrid {
  std::string Name;
  TRenderParams Params;
  int Width, Height;
  // The slow scalar kernels take only every this many rows.
  int ScalarRowStride;
};

const TComplexRect kDefaultView{-3, 3, -2, 2};
const TGrid kGrids[] = {
    {"default", {kDefaultView, kDefaultView, 15}, 487, 409, 1},
    {"interior_c1000", {{-1.5f, 0.5f, -1.0f, 1.0f}, kDefaultView, 1000}, 320, 240, 8},
    {"interior_c100000", {{-1.5f, 0.5f, -1.0f, 1.0f}, kDefaultView, 100000}, 160, 120, 40},
};
// The Julia map has no interior beyond its repelling fixed point 0; its
// longest orbits (up to about 140 steps) start closest to 0.
const TGrid kJuliaGrids[] = {
    {"default", {kDefaultView, kDefaultView, 15}, 487, 409, 1},
    {"near_zero_c1000", {{-1e-12f, 1e-12f, -1e-12f, 1e-12f}, kDefaultView, 1000}, 320, 240, 4},
    {"near_zero_c100000", {{-1e-35f, 1e-35f, -1e-35f, 1e-35f}, kDefaultView, 100000}, 320, 240, 4},
};

std::map<std::string, double> gStepsPerSecond;

// Steps per second, and for the fast engine the share of lane steps it had to
// recompute exactly, given the steps of one iteration and the recomputed
// steps counted before the first.
void Report(benchmark::State& state, TKernel kernel, double steps, std::uint64_t fallbacksBefore) {
  state.counters["steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate);
  if (kernel == TKernel::Fast)
    state.counters["recomputed"] =
        double(FastEngineFallbackSteps() - fallbacksBefore) / (steps * double(state.iterations()));
}

template <class Orbit>
void BM_Grid(benchmark::State& state, const TGrid& grid, TKernel kernel) {
  // Width + 1 and height + 1 so that the walk keeps width x height samples.
  const TWalk walk = PlanWalk(grid.Params.Region, grid.Width + 1, grid.Height + 1);
  const bool scalar = kernel != TKernel::UncheckedSimd && kernel != TKernel::Fast;
  std::vector<float> im;
  for (std::size_t j = 0; j < walk.VisibleRows; j += scalar ? grid.ScalarRowStride : 1) im.push_back(walk.Rows[j].Im);
  std::vector<std::int32_t> counts(walk.Re.size() * im.size());
  const TOrbitCounter count = Counter<Orbit>(kernel);
  const std::uint64_t fallbacks = FastEngineFallbackSteps();
  for (auto _ : state) {
    count(grid.Params, walk.Re, im, counts.data());
    benchmark::DoNotOptimize(counts.data());
  }
  Report(state, kernel, double(std::accumulate(counts.begin(), counts.end(), std::int64_t(0))), fallbacks);
}

// A whole picture of the defaults, painted on an in-memory surface. The steps
// are counted in a first, untimed pass.
template <class Orbit>
void BM_Picture(benchmark::State& state, TKernel kernel) {
  TBitmapSurface surface(4000, 3000);
  struct : IProgressSink {
    void SetPosition(int) override {}
  } sink;
  const TOrbitCounter count = Counter<Orbit>(kernel);
  std::int64_t steps = 0;
  const TRenderParams params = ConvertTexts(kDefaultTexts);
  PaintRows(surface, params, sink, {},
            [&](const TRenderParams& p, std::span<const float> re, std::span<const float> im, std::int32_t* counts) {
              count(p, re, im, counts);
              steps = std::accumulate(counts, counts + re.size() * im.size(), steps);
            });
  const std::uint64_t fallbacks = FastEngineFallbackSteps();
  for (auto _ : state) PaintRows(surface, params, sink, {}, count);
  Report(state, kernel, double(steps), fallbacks);
}

// Shared cores make single runs noisy: each figure is the median of three.
void Repeated(benchmark::internal::Benchmark* b) { b->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true); }

template <class Orbit>
void Register(const char* command, std::span<const TGrid> grids) {
  for (int k = 0; k < kKernels; ++k) {
    const TKernel kernel = TKernel(k);
    for (const TGrid& grid : grids) {
      const std::string name = std::string(command) + "/" + grid.Name + "/" + kKernelNames[k];
      Repeated(benchmark::RegisterBenchmark(name.c_str(), BM_Grid<Orbit>, grid, kernel)->MinTime(0.2));
    }
    const std::string name = std::string(command) + "/picture_4000x3000/" + kKernelNames[k];
    Repeated(benchmark::RegisterBenchmark(name.c_str(), BM_Picture<Orbit>, kernel)
                 ->Iterations(kernel == TKernel::UncheckedSimd || kernel == TKernel::Fast ? 3 : 1));
  }
}

// Console output as usual, and each run's steps per second kept for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (auto c = run.counters.find("steps/s"); c != run.counters.end() && run.aggregate_name == "median")
        gStepsPerSecond[run.run_name.function_name] = c->second;
    ConsoleReporter::ReportRuns(runs);
  }
};

void PrintRatios() {
  const std::vector<std::int64_t> targets = hwy::SupportedAndGeneratedTargets();
  std::printf("\ninstruction set %s\n", targets.empty() ? "?" : hwy::TargetName(targets.front()));
  std::printf("%-36s %12s %16s %16s\n", "workload", "fast/ref", "fast/unchecked", "ref soft/ref");
  for (const auto& [name, fast] : gStepsPerSecond) {
    const std::string suffix = "/fast";
    if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix)) continue;
    const std::string workload = name.substr(0, name.size() - suffix.size());
    const double ref = gStepsPerSecond[workload + "/reference"];
    const double unchecked = gStepsPerSecond[workload + "/unchecked_simd"];
    const double soft = gStepsPerSecond[workload + "/reference_soft"];
    std::printf("%-36s %11.1fx %15.2fx %15.2fx\n", workload.c_str(), fast / ref, fast / unchecked, soft / ref);
  }
}

}  // namespace
}  // namespace wirolot

int main(int argc, char** argv) {
  using namespace wirolot;
  Register<TMandelbrotOrbit>("mandelbrot", kGrids);
  Register<TJuliaOrbit>("julia", kJuliaGrids);
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  PrintRatios();
}
