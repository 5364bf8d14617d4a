#include "Engine.h"

namespace wirolot {

namespace {
// Samples claimed at a time.
constexpr std::size_t kSegment = 64;

template <class Orbit>
void CountReference(const TRenderParams& params, TRowPipeline& rows) {
  const std::stop_token stop = rows.StopToken();
#pragma omp parallel if (rows.Samples() > kSegment)
  for (TRowPipeline::TSegment s; rows.Claim(kSegment, s);) {
    std::int32_t* counts = rows.Counts(s.Row);
    for (std::size_t i = s.Begin; i < s.End; ++i)
      counts[i] = OrbitSteps<Orbit>(rows.Re()[i], rows.Im(s.Row), params.Box, params.Csample, stop);
    rows.Counted(s.Row, s.End - s.Begin);
  }
}
}  // namespace

void CountOrbitsReference(TOrbitKind kind, const TRenderParams& params, TRowPipeline& rows) {
  if (kind == TOrbitKind::Mandelbrot)
    CountReference<TMandelbrotOrbit>(params, rows);
  else
    CountReference<TJuliaOrbit>(params, rows);
}

}  // namespace wirolot
