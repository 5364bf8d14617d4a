#include "RenderPass.h"

#include "RowPipeline.h"
#include "Walk.h"

namespace wirolot {

void ClearPicture(IPictureSurface& surface) { surface.FillRect({0, 0, surface.Width(), surface.Height()}, 0); }

TPassEnd PaintRows(IPictureSurface& surface, const TRenderParams& params, IProgressSink& sink, std::stop_token stop,
                   const TOrbitCounter& countOrbits) {
  const TWalk walk = PlanWalk(params.Region, surface.Width(), surface.Height());
  TRowPipeline rows(walk, surface, sink, stop);
  countOrbits(params, rows);
  return rows.Finish();
}

}  // namespace wirolot
