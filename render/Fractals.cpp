#include "Fractals.h"

#include "RenderPass.h"

namespace wirolot {

namespace {
template <class Orbit>
void Draw(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine) {
  RenderPass(surface, texts, sink,
             [engine](const TRenderParams& params, std::span<const float> re, std::span<const float> im,
                      std::int32_t* counts) { CountOrbits<Orbit>(engine, params, re, im, counts); });
}
}  // namespace

void DrawMandelbrot(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine) {
  Draw<TMandelbrotOrbit>(surface, texts, sink, engine);
}

void DrawJulia(IPictureSurface& surface, const TParamTexts& texts, IProgressSink& sink, TEngine engine) {
  Draw<TJuliaOrbit>(surface, texts, sink, engine);
}

}  // namespace wirolot
