// The render pass both commands share; they differ only in their orbit rules.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>

#include "Surface.h"
#include "Types.h"

namespace wirolot {

// How a pass ended: every row painted, or stopped on request with the rows
// painted so far, a prefix of the picture.
enum class TPassEnd { Complete, Stopped };

// Fills counts[j * re.size() + i] with the step count of sample (re[i], im[j]).
using TOrbitCounter = std::function<void(const TRenderParams&, std::span<const float> re,
                                         std::span<const float> im, std::int32_t* counts)>;

// The first step of every pass: the whole surface black.
void ClearPicture(IPictureSurface& surface);

// The rest of a pass, after the texts are converted: walks the region and
// paints one pixel per sample, reporting each row's progress before its pixels.
TPassEnd PaintRows(IPictureSurface& surface, const TRenderParams& params, IProgressSink& sink, std::stop_token stop,
                   const TOrbitCounter& countOrbits);

}  // namespace wirolot
