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
#include <string>
#include <vector>

#include "Convert.h"
#include "Engine.h"
#include "FastEngineFigures.h"
#include "hwy/targets.h"
#include "Fractals.h"
#include "RenderPass.h"

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

// The scalar kernels take only the rows of the pass whose index is a multiple
// of `stride`; the others get a count of 0, which adds no steps.
template <class Orbit, bool kExtended>
void CountScalar(const TRenderParams& params, TRowPipeline& rows, std::size_t stride) {
  const std::int32_t limit = Orbit::StepLimit(params.Csample);
#pragma omp parallel
  for (TRowPipeline::TSegment s; rows.Claim(64, s);) {
    std::int32_t* counts = rows.Counts(s.Row);
    const float im = rows.Im(s.Row);
    for (std::size_t i = s.Begin; i < s.End; ++i) {
      const float re = rows.Re()[i];
      if (s.Row % stride) {
        counts[i] = 0;
      } else if (kExtended) {
        counts[i] = OrbitSteps<Orbit>(re, im, params.Box, params.Csample);
      } else {
        TOrbitPoint z = Orbit::Start(re, im);
        std::int32_t n = 0;
        do {
          z = DoubleStep<Orbit>(z, re, im);
          ++n;
        } while (n < limit && Inside(z, params.Box));
        counts[i] = n;
      }
    }
    rows.Counted(s.Row, s.End - s.Begin);
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
TOrbitCounter Counter(TKernel kernel, std::size_t stride) {
  switch (kernel) {
    case TKernel::Reference:
      return [stride](const TRenderParams& p, TRowPipeline& rows) { CountScalar<Orbit, true>(p, rows, stride); };
    case TKernel::ReferenceSoft:
      return [stride](const TRenderParams& p, TRowPipeline& rows) {
        CountScalar<TSoftOrbit<Orbit>, true>(p, rows, stride);
      };
    case TKernel::ScalarDouble:
      return [stride](const TRenderParams& p, TRowPipeline& rows) { CountScalar<Orbit, false>(p, rows, stride); };
    case TKernel::UncheckedSimd:
      return [](const TRenderParams& p, TRowPipeline& rows) {
        CountOrbitsUnchecked(Orbit::kKind, p.Box, Orbit::StepLimit(p.Csample), rows);
      };
    case TKernel::Fast:
      break;
  }
  return [](const TRenderParams& p, TRowPipeline& rows) {
    CountOrbitsFast(Orbit::kKind, p.Box, Orbit::StepLimit(p.Csample), rows);
  };
}

// A surface that keeps no pixels but the sum of the step counts painted: the
// colour of n is n * 4112, which does not wrap for the limits used here.
class TStepSum final : public TPixelSurface {
 public:
  using TPixelSurface::TPixelSurface;
  double Steps = 0;

 protected:
  void PlotSpan(int, int, std::span<const TColor> colors) override {
    for (TColor c : colors) Steps += c / 4112;
  }
};

struct TNullSink final : IProgressSink {
  void SetPosition(int) override {}
};

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

// Passes over `params` on a surface of width x height with the kernel; steps
// per second and, for the fast engine, the share of lane steps it had to
// recompute exactly. The steps are counted in a first, untimed pass.
template <class Orbit>
void Run(benchmark::State& state, TKernel kernel, const TRenderParams& params, int width, int height,
         std::size_t stride) {
  const TOrbitCounter count = Counter<Orbit>(kernel, stride);
  TStepSum surface(width, height);
  TNullSink sink;
  PaintRows(surface, params, sink, {}, count);
  const double steps = surface.Steps;
  const std::uint64_t fallbacks = FastEngineFallbackSteps();
  for (auto _ : state) PaintRows(surface, params, sink, {}, count);
  state.counters["steps/s"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate);
  if (kernel == TKernel::Fast)
    state.counters["recomputed"] =
        double(FastEngineFallbackSteps() - fallbacks) / (steps * double(state.iterations()));
}

bool IsScalar(TKernel kernel) { return kernel != TKernel::UncheckedSimd && kernel != TKernel::Fast; }

// Width + 1 and height + 1 so that every one of width x height samples lands.
template <class Orbit>
void BM_Grid(benchmark::State& state, const TGrid& grid, TKernel kernel) {
  Run<Orbit>(state, kernel, grid.Params, grid.Width + 1, grid.Height + 1,
             IsScalar(kernel) ? std::size_t(grid.ScalarRowStride) : 1);
}

// A whole picture of the defaults.
template <class Orbit>
void BM_Picture(benchmark::State& state, TKernel kernel) {
  Run<Orbit>(state, kernel, ConvertTexts(kDefaultTexts), 4000, 3000, 1);
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
                 ->Iterations(IsScalar(kernel) ? 1 : 3));
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
  for (const auto& [name, steps] : gStepsPerSecond) {
    const std::string suffix = "/fast";
    if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix)) continue;
    const std::string workload = name.substr(0, name.size() - suffix.size());
    // A ratio to a kernel the filter left out is not shown.
    const auto ratio = [&](const std::string& to, const char* from) {
      const auto a = gStepsPerSecond.find(workload + "/" + to), b = gStepsPerSecond.find(workload + "/" + from);
      return a == gStepsPerSecond.end() || b == gStepsPerSecond.end() ? std::string("-")
                                                                       : std::to_string(a->second / b->second);
    };
    std::printf("%-36s %12s %16s %16s\n", workload.c_str(), ratio("fast", "reference").c_str(),
                ratio("fast", "unchecked_simd").c_str(), ratio("reference_soft", "reference").c_str());
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
