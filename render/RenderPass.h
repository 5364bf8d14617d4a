// The render pass both commands share; they differ only in their orbit rules.
#pragma once

#include <functional>
#include <stop_token>

#include "Surface.h"
#include "Types.h"

namespace wirolot {

class TRowPipeline;

// Writes the step count of every sample the pipeline hands out, and returns
// once nothing is left or the pipeline is stopping.
using TOrbitCounter = std::function<void(const TRenderParams&, TRowPipeline&)>;

// The first step of every pass: the whole surface black.
void ClearPicture(IPictureSurface& surface);

// The rest of a pass, after the texts are converted: walks the region and
// paints one pixel per sample, rows top to bottom, reporting each row's
// progress before its pixels. Rows are painted from the computing threads,
// one call at a time, while later rows are still being computed.
TPassEnd PaintRows(IPictureSurface& surface, const TRenderParams& params, IProgressSink& sink, std::stop_token stop,
                   const TOrbitCounter& countOrbits);

}  // namespace wirolot
