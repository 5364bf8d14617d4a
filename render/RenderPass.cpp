#include "RenderPass.h"

#include <algorithm>
#include <vector>

#include "Orbits.h"
#include "Walk.h"

namespace wirolot {

namespace {
// Rows computed together between two progress reports.
constexpr std::size_t kBandRows = 8;
}  // namespace

void ClearPicture(IPictureSurface& surface) { surface.FillRect({0, 0, surface.Width(), surface.Height()}, 0); }

TPassEnd PaintRows(IPictureSurface& surface, const TRenderParams& params, IProgressSink& sink, std::stop_token stop,
                   const TOrbitCounter& countOrbits) {
  const int width = surface.Width(), height = surface.Height();
  const TWalk walk = PlanWalk(params.Region, width, height);

  std::vector<float> bandIm;
  std::vector<std::int32_t> counts;
  std::vector<TColor> colors(walk.Re.size());
  for (std::size_t band = 0; band < walk.VisibleRows; band += kBandRows) {
    if (stop.stop_requested()) return TPassEnd::Stopped;
    const std::size_t rows = std::min(kBandRows, walk.VisibleRows - band);
    bandIm.resize(rows);
    for (std::size_t j = 0; j < rows; ++j) bandIm[j] = walk.Rows[band + j].Im;
    counts.resize(rows * walk.Re.size());
    countOrbits(params, walk.Re, bandIm, counts.data());

    for (std::size_t j = 0; j < rows; ++j) {
      sink.SetPosition(walk.Rows[band + j].Progress);
      const auto row = counts.begin() + std::ptrdiff_t(j * walk.Re.size());
      std::transform(row, row + std::ptrdiff_t(walk.Re.size()), colors.begin(), ColorOf);
      surface.PlotRow(1, int(band + j) + 1, colors);
    }
  }
  for (std::size_t j = walk.VisibleRows; j < walk.Rows.size(); ++j) sink.SetPosition(walk.Rows[j].Progress);
  return TPassEnd::Complete;
}

}  // namespace wirolot
