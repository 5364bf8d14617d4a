// The render pass both commands share; they differ only in their orbit rules.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "Surface.h"
#include "Types.h"

namespace wirolot {

// Fills counts[j * re.size() + i] with the step count of sample (re[i], im[j]).
using TOrbitCounter = std::function<void(const TRenderParams&, std::span<const float> re,
                                         std::span<const float> im, std::int32_t* counts)>;

// Clears the surface, converts the texts (a bad one raises EConvertError),
// walks the region and paints one pixel per sample, reporting each row's
// progress before its pixels.
void RenderPass(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink,
                const TOrbitCounter& countOrbits);

}  // namespace wirolot
