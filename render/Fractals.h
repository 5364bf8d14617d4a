// The two commands.
#pragma once

#include "Engine.h"
#include "Surface.h"
#include "Types.h"

namespace wirolot {

// z <- z^2 + c over the sampled c, from z = 0.
void DrawMandelbrot(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink,
                    TEngine engine = TEngine::Fast);

// z <- z (z^2 + c) with c = 2.04 - 0.2i, from z = the sample.
void DrawJulia(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink,
               TEngine engine = TEngine::Fast);

}  // namespace wirolot
