// The two commands, and the road every picture takes.
#pragma once

#include <stop_token>

#include "Colouring.h"
#include "Engine.h"
#include "RenderPass.h"
#include "Surface.h"
#include "Types.h"

namespace wirolot {

// z <- z^2 + c over the sampled c, from z = 0.
TPassEnd DrawMandelbrot(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink,
                        TEngine engine = TEngine::Fast, std::stop_token stop = {});

// z <- z (z^2 + c) with c = 2.04 - 0.2i, from z = the sample.
TPassEnd DrawJulia(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink,
                   TEngine engine = TEngine::Fast, std::stop_token stop = {});

// Either command's pass after its first two steps, the surface cleared
// (ClearPicture) and the texts converted: every row painted, top to bottom.
// A colouring other than the default paints the surface in its colours,
// each pixel from K x K samples, and hands it complete rows only.
TPassEnd DrawRows(TOrbitKind command, const TColouring& colouring, IPictureSurface& surface,
                  const TRenderParams& params, IProgressSink& sink, TEngine engine = TEngine::Fast,
                  std::stop_token stop = {});

}  // namespace wirolot
